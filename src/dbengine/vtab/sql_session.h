#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dbengine/storage/field.h"
#include "dbengine/storage/table.h"
#include "dbengine/vtab/table_module.h"

namespace orn::db {

class SqlStatement;

// One SQLite connection over a directory of table files. Tables become virtual tables only when a
// statement names them, under the name the statement used; closing the session closes them all.
class SqlSession : private TableModuleObserver {
  public:
    // An empty directory means the process working directory at the time a name is resolved.
    explicit SqlSession(std::filesystem::path directory = {});
    ~SqlSession();
    SqlSession(const SqlSession&) = delete;
    SqlSession& operator=(const SqlSession&) = delete;

    sqlite3* handle() const { return db_; }
    std::filesystem::path directory() const;

    // Makes the table file that `name` resolves to (see findTableFile) available under the SQL
    // name `name` and returns that name. Throws EngineError when no such file exists.
    const std::string& attach(const std::string& name);
    // Makes `file` available under `sqlName` (no-op when that name is bound already).
    void attachFile(const std::string& sqlName, const std::filesystem::path& file);
    // Layout of a file this session has attached: its fields and format.
    struct TableLayout {
        TableFormat format = TableFormat::Paradox;
        std::vector<Field> fields;
        int keyFields = 0;
    };
    const TableLayout* layoutOf(const std::filesystem::path& file) const;
    // True when some SQL name of the session is bound to `file` (under any spelling of its path).
    bool usesFile(const std::filesystem::path& file) const;
    // The directory as given (empty = working directory at the time of use).
    const std::filesystem::path& givenDirectory() const { return directory_; }
    // Forgets every SQL name bound to this file (before the file is dropped or rebuilt).
    void detachFile(const std::filesystem::path& file);
    void detachAll();

    // Compiles SQLite SQL, attaching each table the text names on first use. Errors are thrown as
    // EngineError with SQLite's message ("Key violation." stays exactly that).
    std::unique_ptr<SqlStatement> prepare(const std::string& sql);
    // Runs statements that return no rows.
    void execute(const std::string& sql);

    // Throws the connection's last error as EngineError (KeyViolation for key violations).
    [[noreturn]] void raise(int rc) const;

    // Reads of the session's tables keep their read locks while any hold is taken: a statement
    // holds from its first step to its end (or pause), callers that walk a result to its end
    // (exports) hold around the walk. When the last hold goes, the locks go: other processes
    // may commit, and the next read notices what they changed.
    struct ReadHolds {
        int count = 0;
        std::set<Table*> tables;
        void hold() { ++count; }
        void release();
    };
    void holdReads() { holds_->hold(); }
    void releaseReads() { holds_->release(); }

    // One warning per attached table found damaged so far ("Warning: ... is damaged (...)"),
    // in the order they were found.
    const std::vector<std::string>& damageWarnings() const { return damageWarnings_; }

  private:
    void tableOpened(const std::filesystem::path& file, Table& table) override;
    void tableClosed(Table& table) override;
    // Opening a table reads it: nothing stays locked unless a hold is taken.
    void letGoUnlessHeld();
    class LetGoAtExit;
    void tableDamaged(const std::filesystem::path& file, const std::string& damage) override;

    sqlite3* db_ = nullptr;
    std::map<std::filesystem::path, TableLayout> layouts_;
    std::filesystem::path directory_;
    std::map<std::string, std::filesystem::path> attached_;  // SQL name (lower case) -> file
    std::map<std::string, std::string> spelled_;             // lower case -> name as attached
    std::shared_ptr<ReadHolds> holds_ = std::make_shared<ReadHolds>();
    std::vector<std::string> damageWarnings_;
};

// Throws an SQL error text: KeyViolation for "Key violation.", EngineError otherwise.
[[noreturn]] void raiseMessage(const std::string& message);

// A compiled statement; rows are read with the SQLite column API through handle().
// A statement of a session holds the session's reads (SqlSession::holdReads) from its first
// step to its last row, an error, reset() or pause().
class SqlStatement {
  public:
    explicit SqlStatement(sqlite3_stmt* stmt, std::weak_ptr<SqlSession::ReadHolds> holds = {})
        : stmt_(stmt), holds_(std::move(holds)) {}
    ~SqlStatement() {
        sqlite3_finalize(stmt_);
        pause();
    }
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    sqlite3_stmt* handle() const { return stmt_; }
    // Next row: true while there is one. Errors are thrown like SqlSession::raise.
    bool step();
    void reset();
    // Between rows: lets other processes commit. Later rows come from the state then current.
    void pause();

  private:
    sqlite3_stmt* stmt_;
    std::weak_ptr<SqlSession::ReadHolds> holds_;
    bool holding_ = false;
};

}  // namespace orn::db
