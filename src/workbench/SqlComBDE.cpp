#include "workbench/SqlComBDE.h"

#include <filesystem>
#include <fstream>
#include <functional>

#include "dbengine/dataset/answer_table.h"
#include "dbengine/dataset/query.h"
#include "dbengine/dataset/table_restructure.h"
#include "text/zstring.h"
#include "workbench/reporterror.h"

namespace orn {

namespace {

constexpr std::size_t kEngineTextLimit = 127;
constexpr std::size_t kFileNameLimit = 200;
constexpr std::string_view kFilePrefix = "file:";

bool EndsWithNoCase(const std::string& text, std::string_view tail) {
    if (text.size() < tail.size()) {
        return false;
    }
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const char a = text[text.size() - tail.size() + i];
        if (std::tolower(static_cast<unsigned char>(a)) != tail[i]) {
            return false;
        }
    }
    return true;
}

bool Guarded(const std::string& text, TDialogs& dialogs, const std::function<void()>& operation) {
    try {
        operation();
        return true;
    } catch (const std::exception& e) {
        ReportError(text + "\r\n" + e.what(), dialogs);
    } catch (...) {
        ReportError(text + "\r\nUnknown error", dialogs);
    }
    return false;
}

}  // namespace

void TellNotices(const std::vector<std::string>& notices, TProgramView* view) {
    for (const auto& notice : notices) {
        if (view) {
            view->Warn(notice);
        }
    }
}

void TellNotices(db::Query& query, TProgramView* view) {
    TellNotices(query.takeNotices(), view);
}

bool SaveResultAsTable(db::Query& source, const std::string& name, TDialogs& dialogs,
                       TProgramView* view) {
    // Without a name the table would be the hidden file ".db".
    const std::string base = std::filesystem::path(name).filename().string();
    if (base.empty() || SameText(base, ".db") || SameText(base, ".dbf")) {
        ReportError("SAVE needs the name of the table to write (such as result or result.dbf)",
                    dialogs);
        return false;
    }
    db::Query answer(source.databaseDir(), false);
    answer.setSqlLines(source.sqlLines());
    answer.open();
    const std::string table = EndsWithNoCase(name, ".dbf") ? name : name + ".db";
    try {
        TellNotices(db::saveAnswerAsTable(answer, table, &source), view);
        return true;
    } catch (const std::exception& e) {
        ReportError(std::string(e.what()).substr(0, kEngineTextLimit), dialogs);
    }
    return false;
}

void ExecStatementFile(db::Query& query, const std::string& fileName, TProgramView* view) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        throw std::runtime_error("Can not open file " + fileName);
    }
    std::string line;
    bool checked = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!checked || line.find('\0') != std::string::npos) {
            checked = true;
            if (line.find('\0') != std::string::npos) {
                throw std::runtime_error(fileName + " is not a text file");
            }
        }
        if (line.empty()) {
            break;
        }
        query.setSql(line);
        try {
            query.execute();
        } catch (const std::exception&) {
            // A failing line does not stop the file.
        }
        TellNotices(query, view);
    }
}

void ExecStatement(const std::string& text, TProgramView* view) {
    db::Query query;
    if (text.compare(0, kFilePrefix.size(), kFilePrefix) == 0) {
        ExecStatementFile(query, text.substr(kFilePrefix.size(), kFileNameLimit), view);
        return;
    }
    query.setSql(text);
    try {
        query.execute();
    } catch (...) {
        TellNotices(query, view);
        throw;
    }
    TellNotices(query, view);
}

bool GuardedExecStatement(const std::string& text, TProgramView& view) {
    return Guarded("EXEC " + text, view, [&] { ExecStatement(text, &view); });
}

bool GuardedAddPrimaryIndex(const std::string& table, const std::string& columns,
                            TProgramView& view) {
    return Guarded("INDEX " + table + " " + columns, view,
                   [&] { TellNotices(db::AddPrimaryIndex(table, columns), &view); });
}

bool GuardedChangeField(const std::string& table, const std::string& column,
                        const std::string& type, const std::string& size, TProgramView& view) {
    return Guarded("CHANGE " + table + " " + column + " " + type + " " + size, view,
                   [&] { TellNotices(db::ChangeField(table, column, type, size), &view); });
}

}  // namespace orn
