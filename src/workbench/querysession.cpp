#include "workbench/querysession.h"

#include <filesystem>

#include "engine/FileProgCommands.h"

namespace orn {

namespace fs = std::filesystem;

TQuerySession::TQuerySession(TProgramView& view, const std::string& startDirectory)
    : view_(view), program_(&view) {
    std::error_code ec;
    fs::path start =
        startDirectory.empty() ? fs::current_path(ec) : fs::absolute(startDirectory, ec);
    sqlDirectory_ = programDirectory_ = start.lexically_normal().string();
    program_.EditWidth = 150;
    program_.EditHeight = 20;
    RegisterCommands();
}

// The command order is the order of the help listing ("Program commands"): the runner's DEBUG
// and SETVALUE (registered by the runner itself), then
//   SQL, SAVE, EXEC, FORMAT, SAVEAS, COPY, INDEX, CHANGE, READ, SEPARATOR   (SQL command set)
//   DECIMAL                                                                  (runner)
//   UPDATEMACROS, EXIT                                                       (SQL command set)
//   CHDIR, MOVEFILE, COPYFILE, DELETEFILE, IFEXISTS, MKDIR                   (file commands)
//   SHOWMESSAGE, IFGOTO, GOTO                                                (runner)
// The SQL command set joins at the two places marked below.
void TQuerySession::RegisterCommands() {
    // SQL command set, first part: SQL ... SEPARATOR.
    program_.AddDecimalCommand();
    // SQL command set, second part: UPDATEMACROS, EXIT.
    RegisterFileCommands(program_, [this](const std::string& directory, std::string& result) {
        ChangeDirectories(directory, result);
    });
    program_.AddFlowCommands();
}

void TQuerySession::ChangeDirectories(const std::string& directory, std::string& result) {
    result.clear();
    std::error_code ec;
    fs::path target = fs::path(directory);
    if (target.is_relative()) {
        target = fs::path(sqlDirectory_) / target;
    }
    if (directory.empty() || !fs::is_directory(target, ec)) {
        result = "Could not change directory to " + directory;
        return;
    }
    fs::path resolved = fs::canonical(target, ec);
    if (ec) {
        result = "Could not change directory to " + directory;
        return;
    }
    fs::current_path(resolved, ec);
    sqlDirectory_ = programDirectory_ = resolved.string();
}

std::string TQuerySession::OpenProgram(const std::string& fileName) {
    std::error_code ec;
    fs::path full = fs::absolute(fileName, ec);
    return program_.LoadProgram(ec ? fileName : full.lexically_normal().string());
}

RunEnd TQuerySession::RunProgram() {
    std::error_code ec;
    fs::current_path(sqlDirectory_, ec);
    return program_.Run();
}

}  // namespace orn
