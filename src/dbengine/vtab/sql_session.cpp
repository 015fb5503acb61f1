#include "dbengine/vtab/sql_session.h"

#include <algorithm>
#include <cstring>

#include "dbengine/sql/dialect_functions.h"
#include "dbengine/storage/table.h"
#include "dbengine/vtab/table_files.h"
#include "dbengine/vtab/table_module.h"

namespace orn::db {
namespace fs = std::filesystem;
namespace {

std::string sqlQuoted(const std::string& s, char q) {
    std::string out(1, q);
    for (char c : s) {
        out += c;
        if (c == q) {
            out += q;
        }
    }
    return out + q;
}

constexpr const char* kNoSuchTable = "no such table: ";

}  // namespace

SqlSession::SqlSession(fs::path directory) : directory_(std::move(directory)) {
    // A session is used by one thread at a time: no connection mutex around every call.
    if (sqlite3_open_v2(":memory:", &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw EngineError("Cannot start the SQL engine: " + msg);
    }
    // A double-quoted word is always an identifier; strings are single-quoted.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_extended_result_codes(db_, 1);
    registerTableModule(db_, this);
    // LIKE with the dialect's case rule, UPPER/LOWER with national letters, the CAST helpers
    try {
        sql::registerDialectFunctions(db_);
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

SqlSession::~SqlSession() {
    sqlite3_close_v2(db_);
}

fs::path SqlSession::directory() const {
    return effectiveDirectory(directory_);
}

const std::string& SqlSession::attach(const std::string& name) {
    const std::string key = lowerAscii(name);
    if (auto it = spelled_.find(key); it != spelled_.end()) {
        return it->second;
    }
    attachFile(name, requireTableFile(directory_, name));
    return spelled_[key];
}

void SqlSession::tableOpened(const fs::path& file, Table& table) {
    layouts_[file] = {table.format(), table.fields(), table.keyFieldCount()};
    holds_->tables.insert(&table);
}

void SqlSession::tableClosed(Table& table) {
    holds_->tables.erase(&table);
}

void SqlSession::ReadHolds::release() {
    if (count > 0 && --count > 0) {
        return;
    }
    for (Table* t : tables) {
        t->endRead();
    }
}

// Whatever way a scope is left: the reads of the session's tables end unless a hold is taken.
class SqlSession::LetGoAtExit {
  public:
    explicit LetGoAtExit(SqlSession& session) : session_(session) {}
    ~LetGoAtExit() { session_.letGoUnlessHeld(); }
    LetGoAtExit(const LetGoAtExit&) = delete;
    LetGoAtExit& operator=(const LetGoAtExit&) = delete;

  private:
    SqlSession& session_;
};

void SqlSession::letGoUnlessHeld() {
    if (holds_->count == 0) {
        holds_->release();
    }
}

void SqlSession::tableDamaged(const fs::path& file, const std::string& damage) {
    const std::string warning = damagedWarning(file, damage);
    if (std::find(damageWarnings_.begin(), damageWarnings_.end(), warning) ==
        damageWarnings_.end()) {
        damageWarnings_.push_back(warning);
    }
}

const SqlSession::TableLayout* SqlSession::layoutOf(const fs::path& file) const {
    const auto it = layouts_.find(file);
    return it == layouts_.end() ? nullptr : &it->second;
}

bool SqlSession::usesFile(const fs::path& file) const {
    for (const auto& [bound, layout] : layouts_) {
        std::error_code ec;
        if (bound == file || fs::equivalent(bound, file, ec))
            return true;
    }
    return false;
}

void SqlSession::attachFile(const std::string& name, const fs::path& file) {
    const std::string key = lowerAscii(name);
    if (spelled_.count(key)) {
        return;
    }
    const LetGoAtExit letGo(*this);  // the open read the table
    const std::string sql = "CREATE VIRTUAL TABLE temp." + sqlQuoted(name, '"') + " USING " +
                            kTableModuleName + "(" + sqlQuoted(file.string(), '\'') + ")";
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string msg = err ? err : sqlite3_errmsg(db_);
        sqlite3_free(err);
        throw EngineError(msg);
    }
    attached_[key] = file;
    spelled_[key] = name;
}

void SqlSession::detachFile(const fs::path& file) {
    std::error_code ec;
    for (auto it = attached_.begin(); it != attached_.end();) {
        if (it->second == file || fs::equivalent(it->second, file, ec)) {
            const std::string sql = "DROP TABLE temp." + sqlQuoted(spelled_[it->first], '"');
            sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
            spelled_.erase(it->first);
            layouts_.erase(it->second);
            it = attached_.erase(it);
        } else {
            ++it;
        }
    }
}

void SqlSession::detachAll() {
    for (const auto& [key, name] : spelled_) {
        const std::string sql = "DROP TABLE temp." + sqlQuoted(name, '"');
        sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }
    attached_.clear();
    spelled_.clear();
    layouts_.clear();
}

std::unique_ptr<SqlStatement> SqlSession::prepare(const std::string& sql) {
    const LetGoAtExit letGo(*this);
    // Each round attaches one more table; a statement cannot name more tables than it has bytes.
    for (std::size_t round = 0; round <= sql.size(); ++round) {
        sqlite3_stmt* stmt = nullptr;
        const int rc =
            sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
        if (rc == SQLITE_OK) {
            return std::make_unique<SqlStatement>(stmt, holds_);
        }
        const std::string msg = sqlite3_errmsg(db_);
        if (msg.rfind(kNoSuchTable, 0) != 0) {
            raise(rc);
        }
        std::string name = msg.substr(std::strlen(kNoSuchTable));
        if (name.rfind("main.", 0) == 0 || name.rfind("temp.", 0) == 0) {
            name = name.substr(5);
        }
        if (spelled_.count(lowerAscii(name))) {
            raise(rc);  // attached, yet unknown: do not loop
        }
        attach(name);
    }
    throw EngineError("Too many tables in one statement");
}

void SqlSession::execute(const std::string& sql) {
    auto stmt = prepare(sql);
    while (stmt->step()) {
    }
}

void SqlSession::raise(int) const {
    raiseMessage(sqlite3_errmsg(db_));
}

void raiseMessage(const std::string& msg) {
    if (msg == KeyViolation().what()) {
        throw KeyViolation();
    }
    throw EngineError(msg);
}

bool SqlStatement::step() {
    if (!holding_) {
        if (auto holds = holds_.lock()) {
            holds->hold();
            holding_ = true;
        }
    }
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        pause();
        return false;
    }
    const std::string msg = sqlite3_errmsg(sqlite3_db_handle(stmt_));
    sqlite3_reset(stmt_);
    pause();
    raiseMessage(msg);
}

void SqlStatement::reset() {
    sqlite3_reset(stmt_);
    pause();
}

void SqlStatement::pause() {
    if (!holding_) {
        return;
    }
    holding_ = false;
    if (auto holds = holds_.lock()) {
        holds->release();
    }
}

}  // namespace orn::db
