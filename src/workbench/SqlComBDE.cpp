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

bool SaveResultAsTable(db::Query& source, const std::string& name, TDialogs& dialogs) {
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
        db::saveAnswerAsTable(answer, table, &source);
        return true;
    } catch (const std::exception& e) {
        ReportError(std::string(e.what()).substr(0, kEngineTextLimit), dialogs);
    }
    return false;
}

void ExecStatementFile(db::Query& query, const std::string& fileName) {
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
    }
}

void ExecStatement(const std::string& text) {
    db::Query query;
    if (text.compare(0, kFilePrefix.size(), kFilePrefix) == 0) {
        ExecStatementFile(query, text.substr(kFilePrefix.size(), kFileNameLimit));
        return;
    }
    query.setSql(text);
    query.execute();
}

bool GuardedExecStatement(const std::string& text, TDialogs& dialogs) {
    return Guarded("EXEC " + text, dialogs, [&] { ExecStatement(text); });
}

bool GuardedAddPrimaryIndex(const std::string& table, const std::string& columns,
                            TDialogs& dialogs) {
    return Guarded("INDEX " + table + " " + columns, dialogs,
                   [&] { db::AddPrimaryIndex(table, columns); });
}

bool GuardedChangeField(const std::string& table, const std::string& column,
                        const std::string& type, const std::string& size, TDialogs& dialogs) {
    return Guarded("CHANGE " + table + " " + column + " " + type + " " + size, dialogs,
                   [&] { db::ChangeField(table, column, type, size); });
}

}  // namespace orn
