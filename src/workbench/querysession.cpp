#include "workbench/querysession.h"

#include <ctime>
#include <filesystem>

#include "engine/FileProgCommands.h"
#include "text/zstring.h"
#include "workbench/SqlComBDE.h"
#include "workbench/separator.h"
#include "workbench/separatorsetting.h"
#include "workbench/tablelocationsetting.h"

namespace orn {

namespace fs = std::filesystem;

namespace {

std::string UpperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string TwoDigits(int value) {
    return std::string(1, static_cast<char>('0' + value / 10 % 10)) +
           static_cast<char>('0' + value % 10);
}

}  // namespace

TQuerySession::TQuerySession(TProgramView& view, const std::string& startDirectory)
    : view_(view), program_(&view), query_({}, true) {
    std::error_code ec;
    fs::path start =
        startDirectory.empty() ? fs::current_path(ec) : fs::absolute(startDirectory, ec);
    sqlDirectory_ = programDirectory_ = start.lexically_normal().string();
    program_.EditWidth = 150;
    program_.EditHeight = 20;
    if (auto stored = LoadSeparatorText()) {
        separatorText_ = *stored;
    }
    storedSeparatorText_ = separatorText_;
    LoadTableLocations();
    LoadTableDefaults();
    RegisterCommands();
}

// The order of registration is the order of the help listing ("Program commands"): the runner's
// DEBUG and SETVALUE (registered by the runner itself), then
//   SQL, SAVE, EXEC, FORMAT, SAVEAS, COPY, INDEX, CHANGE, READ, SEPARATOR   (SQL command set)
//   DECIMAL                                                                  (runner)
//   UPDATEMACROS, EXIT                                                       (SQL command set)
//   CHDIR, MOVEFILE, COPYFILE, DELETEFILE, IFEXISTS, MKDIR                   (file commands)
//   SHOWMESSAGE, IFGOTO, GOTO                                                (runner)
void TQuerySession::RegisterCommands() {
    RegisterSqlCommands();
    program_.AddDecimalCommand();
    RegisterClosingCommands();
    RegisterFileCommands(program_, [this](const std::string& directory, std::string& result) {
        ChangeDirectories(directory, result);
    });
    program_.AddFlowCommands();
}

bool TQuerySession::SetDirectory(std::string& which, const std::string& directory) {
    if (directory.empty()) {
        return false;
    }
    std::error_code ec;
    fs::path target(directory);
    if (target.is_relative()) {
        target = fs::path(which) / target;
    }
    if (!fs::is_directory(target, ec)) {
        return false;
    }
    fs::path resolved = fs::canonical(target, ec);
    if (ec) {
        return false;
    }
    fs::current_path(resolved, ec);
    if (ec) {
        return false;
    }
    which = resolved.string();
    if (OnDirectoriesChanged && (&which == &sqlDirectory_ || &which == &programDirectory_)) {
        OnDirectoriesChanged();
    }
    return true;
}

bool TQuerySession::SetSqlDirectory(const std::string& directory) {
    return SetDirectory(sqlDirectory_, directory);
}

bool TQuerySession::SetProgramDirectory(const std::string& directory) {
    return SetDirectory(programDirectory_, directory);
}

void TQuerySession::SetSeparatorText(const std::string& text) {
    separatorText_ = text;
    if (separatorText_ != storedSeparatorText_) {
        SaveSeparatorText(separatorText_);
        storedSeparatorText_ = separatorText_;
    }
}

std::string TQuerySession::GetSeparator() const {
    return SeparatorFromText(separatorText_);
}

void TQuerySession::SetClipboard(TClipboard* clipboard) {
    clipboard_ = clipboard ? clipboard : &memoryClipboard_;
}

void TQuerySession::ChangeDirectories(const std::string& directory, std::string& result) {
    result.clear();
    std::string sql = sqlDirectory_;
    if (!SetDirectory(sql, directory)) {
        result = "Could not change directory to " + directory;
        return;
    }
    sqlDirectory_ = programDirectory_ = sql;
    if (OnDirectoriesChanged) {
        OnDirectoriesChanged();
    }
}

void TQuerySession::RunSql(const std::string& text) {
    query_.close();
    query_.setDatabaseDir(sqlDirectory_);
    query_.setSql(text);
    try {
        query_.open();
    } catch (...) {
        TellNotices(query_, &view_);
        throw;
    }
    TellNotices(query_, &view_);
}

void TQuerySession::SelectTable(const std::string& fileName) {
    std::string name = fs::path(fileName).filename().string();
    currentTable_ = name.substr(0, name.find('.'));
    caption_ = "Query [" + currentTable_ + "]";
    CondText = "select * from " + currentTable_;
}

void TQuerySession::UpdateMacros() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    program_.SetMacroValue(
        "[currentdate]",
        TwoDigits(local.tm_year % 100) + TwoDigits(local.tm_mon + 1) + TwoDigits(local.tm_mday));
    program_.SetMacroValue("[currenttime]", TwoDigits(local.tm_hour) + TwoDigits(local.tm_min));
    program_.SetMacroValue("[currentsecond]", TwoDigits(local.tm_sec));
}

std::string TQuerySession::OpenFileByExtension(const std::string& fileName) {
    const std::string extension = UpperCase(fs::path(fileName).extension().string());
    if (extension == ".ORN") {
        return LoadProgramFile(fileName);
    }
    if (extension == ".DB" || extension == ".DBF") {
        return OpenTableFile(fileName);
    }
    SetSqlDirectory(fileName);
    return "Unknow extension";
}

std::string TQuerySession::OpenTableFile(const std::string& fileName) {
    const fs::path path(fileName);
    if (path.has_parent_path()) {
        SetSqlDirectory(path.parent_path().string());
    }
    SelectTable(fileName);
    std::error_code ec;
    fs::path full = path.is_absolute() ? path : fs::path(sqlDirectory_) / path.filename();
    CondText = "select * from \"" + full.lexically_normal().string() + "\"";
    RunCurrentSql();
    return {};
}

std::string TQuerySession::OpenProgram(const std::string& fileName) {
    std::error_code ec;
    fs::path full = fs::absolute(fileName, ec);
    const std::string name = ec ? fileName : full.lexically_normal().string();
    std::string message = program_.LoadProgram(name);
    if (message.empty()) {
        programFileName_ = name;
    }
    return message;
}

std::string TQuerySession::LoadProgramFile(const std::string& fileName) {
    std::string message = OpenProgram(fileName);
    if (message.empty() && RunAutomatically) {
        RunProgram();
    }
    return message;
}

RunEnd TQuerySession::RunProgram() {
    try {
        std::error_code ec;
        fs::current_path(sqlDirectory_, ec);
        UpdateMacros();
        return program_.Run();
    } catch (...) {
        // The runner has handled what it could; nothing more is shown.
    }
    return RunEnd::Failed;
}

}  // namespace orn
