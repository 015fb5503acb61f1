#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "dbengine/sql/dialect_functions.h"
#include "dbengine/sql/sql_error.h"
#include "dbengine/sql/translator.h"

namespace orn::sql::test {

inline std::string lowerAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

inline db::Field field(const std::string& name, db::FieldType type, int size = 0) {
    db::Field f;
    f.name = name;
    f.type = type;
    f.size = size;
    return f;
}

// Tables of one directory, "/data", registered under their lower-case base names. A reference
// may carry an alias prefix (":ALIAS:"), a path and any letter case; without an extension .db
// is tried before .dbf.
class FakeSchema : public SqlSchema {
  public:
    void add(const std::string& fileName, std::vector<db::Field> fields) {
        SqlTable t;
        const std::string lower = lowerAscii(fileName);
        t.sqlName = lower.substr(0, lower.rfind('.'));
        t.file = "/data/" + fileName;
        t.format = lower.ends_with(".dbf") ? db::TableFormat::DBase : db::TableFormat::Paradox;
        t.fields = std::move(fields);
        tables_[lower] = std::move(t);
    }

    std::optional<SqlTable> findTable(const std::string& reference) override {
        ++lookups;
        std::string name = lowerAscii(reference);
        if (name.starts_with(':'))
            name = name.substr(name.find(':', 1) + 1);
        const auto slash = name.find_last_of("/\\");
        if (slash != std::string::npos)
            name = name.substr(slash + 1);
        for (const std::string& candidate : {name, name + ".db", name + ".dbf"}) {
            auto it = tables_.find(candidate);
            if (it != tables_.end())
                return it->second;
        }
        return std::nullopt;
    }

    SqlTableTarget newTable(const std::string& reference) override {
        std::string name = reference;
        if (name.find('.') == std::string::npos)
            name += ".db";
        const bool dbf = lowerAscii(name).ends_with(".dbf");
        const std::filesystem::path file = name.starts_with('/')
                                               ? std::filesystem::path(name)
                                               : std::filesystem::path("/data/" + name);
        return {file, dbf ? db::TableFormat::DBase : db::TableFormat::Paradox};
    }

    int lookups = 0;

  private:
    std::map<std::string, SqlTable> tables_;
};

// The sample tables the tests query. Each exists in the fake schema and, with the same columns
// and rows, as an ordinary table in the in-memory SQLite database (dates as ISO text,
// booleans as 1/0, text right-trimmed) - the form the virtual tables hand out.
FakeSchema sampleSchema();

using Rows = std::vector<std::vector<std::string>>;

class SqliteDb {
  public:
    SqliteDb();
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    void exec(const std::string& sql);
    // Runs `sql` (with parameters bound as text, in order) and returns every row, NULL as
    // "NULL". Fails the test with SQLite's message on an error.
    Rows query(const std::string& sql, const std::vector<std::string>& params = {});
    // The message SQLite gives when preparing `sql`, empty if it prepares.
    std::string prepareError(const std::string& sql);
    sqlite3* handle() { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

// Creates and fills the sample tables.
void loadSampleData(SqliteDb& db);

// Translates `text` against the sample schema and runs the result on a database with the
// sample data.
struct Fixture : public ::testing::Test {
    FakeSchema schema = sampleSchema();
    SqliteDb db;
    Fixture() { loadSampleData(db); }
    Translation translate(const std::string& text) { return translateSql(text, schema); }
    Rows run(const std::string& text, const std::vector<std::string>& params = {}) {
        return db.query(translate(text).sql, params);
    }
    std::string sqlOf(const std::string& text) { return translate(text).sql; }
};

// The first column of each row.
inline std::vector<std::string> column0(const Rows& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r.at(0));
    return out;
}

}  // namespace orn::sql::test
