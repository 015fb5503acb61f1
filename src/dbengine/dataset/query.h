#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "dbengine/dataset/cell.h"
#include "dbengine/dataset/dataset_field.h"
#include "dbengine/dataset/dataset_observer.h"
#include "dbengine/dataset/inserted_rows.h"
#include "dbengine/vtab/sql_params.h"

namespace orn::db {

class SqlSession;
class SqlStatement;
class RowWindow;

enum class DatasetState { Inactive, Browse, Edit, Insert };

// An SQL query over a directory of table files and, once open, its result set.
//
// The result is read through a bounded row window, so a query over a million records shows its
// first row at once and walking it keeps memory flat. A live query whose result comes from one
// table (plain columns, no grouping, joins or DISTINCT) can be edited: every posted change goes
// to the table file by the record's identity there, so an edit lands on the record the user had
// in front of them even after other records were inserted. Every failure is thrown as EngineError
// (KeyViolation for "Key violation.").
class Query {
  public:
    static constexpr std::size_t kWindowRows = 2000;

    Query();
    explicit Query(std::filesystem::path databaseDir, bool live = false);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // SQL text, kept as lines; setSql splits at line ends.
    void setSql(const std::string& text);
    void setSqlLines(std::vector<std::string> lines) { sql_ = std::move(lines); }
    const std::vector<std::string>& sqlLines() const { return sql_; }
    std::string sqlText() const;
    // Empty: table names are resolved against the process working directory.
    void setDatabaseDir(std::filesystem::path dir) { dir_ = std::move(dir); }
    const std::filesystem::path& databaseDir() const { return dir_; }
    void setLive(bool live) { live_ = live; }
    bool live() const { return live_; }
    // Open, live, and the result can be written back.
    bool canModify() const { return !liveTable_.empty(); }
    // The table (as named in the statement) that edits go to; empty when not modifiable.
    const std::string& liveTable() const { return liveTable_; }
    // The open result comes from a plain one-table SELECT (no grouping, join, compound or
    // DISTINCT): a column with an origin holds that table column's values as stored.
    bool singleTableSelect() const { return singleTable_; }
    // True while the open query's statements may hold the table file `file` open.
    bool usesFile(const std::filesystem::path& file) const;

    // Values for the :name parameters of the text. They stay when the text changes and across
    // close and open; a parameter the text uses without a value fails open() and execute().
    SqlParams& params() { return params_; }
    const SqlParams& params() const { return params_; }
    // The parameter names the current text uses, each once, in the order they first appear.
    std::vector<std::string> paramNames() const;

    // Runs the text. A statement that yields no rows is carried out and leaves an open, empty,
    // field-less result.
    void open();
    void close();
    bool active() const { return state_ != DatasetState::Inactive; }
    // Runs a statement that yields no result set (the query's result, if open, stays as is).
    void execute();

    std::size_t fieldCount() const { return fields_.size(); }
    DatasetField& field(std::size_t index);
    DatasetField& fieldByName(const std::string& name);  // "Field '%s' not found"
    DatasetField* findField(const std::string& name);    // case-insensitive

    // Navigation. Record numbers are 1-based; an empty result has record number 0.
    std::int64_t recordCount();
    std::int64_t recNo() const;
    void setRecNo(std::int64_t recNo);
    void first();
    void next();
    void prior();
    void last();
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    bool isEmpty();

    // Editing. Moving or inserting while a record is being edited posts it first.
    DatasetState state() const { return state_; }
    void edit();
    void insert();  // a new record before the current one
    void append();  // a new record after the last one
    void post();
    void cancel();
    // Deletes the current record from the table (a record being inserted is cancelled, an edit
    // dropped), then reads the result again and stays at the same record number.
    void deleteRecord();
    // Runs the statement again, keeping the display formats and the record number.
    void refresh();

    void addObserver(DatasetObserver* observer);
    void removeObserver(DatasetObserver* observer);
    void disableControls();  // nests; see DatasetObserver
    void enableControls();
    bool controlsDisabled() const { return disabled_ > 0; }

    // The value at 0-based record `index` without moving to it, for views that draw many
    // records at once; nullptr past the end. The record being edited or inserted is not
    // overlaid: a view asks the fields for that one. The reference lasts until the next call.
    const Cell* cellAt(std::int64_t index, std::size_t field) const;

    // Rows held in memory right now (for tests of the window bound).
    std::size_t cachedRows() const;

    // Empty, or the warning about the first table this result was read from that turned out to
    // be damaged (its unreadable memos show as NULL); it is known once those rows were read.
    std::string damageWarning() const;
    // What the statements run since the last call did on their own that the user should hear of
    // (a secondary index removed because it could not be kept up to date), one sentence each.
    std::vector<std::string> takeNotices();

  private:
    friend class DatasetField;
    const Cell& currentCell(std::size_t field) const;
    void assign(std::size_t field, Cell value);

    const Row* rowAt(std::int64_t index) const;
    const Row* currentRow() const;
    Row* mutableRowAt(std::int64_t index);
    void moveTo(std::int64_t index);
    void checkBrowseMode();
    void requireActive() const;
    void startInsert(std::int64_t position);
    void postEdit();
    void postInsert();
    Row rereadRow(std::int64_t rowid);
    SqlStatement& editStatement(const std::string& sql);
    void notify(DatasetEvent event);
    void keepNotices(SqlSession* session);
    // open() with a new session, which becomes session_ once the statement has run.
    void openIn(std::unique_ptr<SqlSession>& session);
    int firstValueType(std::size_t column);
    // live results carry the record identity after the user's columns
    std::size_t identityColumns() const { return liveTable_.empty() ? 0 : 1; }

    std::vector<std::string> sql_;
    std::filesystem::path dir_;
    bool live_ = false;
    SqlParams params_;

    std::unique_ptr<SqlSession> session_;
    std::vector<std::string> notices_;  // of sessions that are gone
    std::unique_ptr<RowWindow> window_;
    // Statements of the edit path, compiled once per open result: compiling one makes the table
    // module look at the table's size, which after a change means reading the whole file.
    std::map<std::string, std::unique_ptr<SqlStatement>> statements_;
    std::vector<std::unique_ptr<DatasetField>> fields_;
    std::string liveTable_;
    std::string liveSql_;  // live results: the SELECT with the record identity in front
    bool singleTable_ = false;

    // Records inserted through this result: shown where they were inserted, hidden in the window.
    InsertedRows inserted_;
    std::unordered_set<std::int64_t> insertedIds_;
    struct CurrentRow {
        const Row* row = nullptr;
        std::int64_t index = 0;
        std::size_t inserted = 0;
        std::uint64_t evictions = 0;
    };  // emptied whenever the window is replaced
    mutable CurrentRow currentRow_;

    DatasetState state_ = DatasetState::Inactive;
    std::int64_t current_ = 0;  // 0-based
    bool eof_ = true;
    bool bof_ = true;
    Row buffer_;  // the record being edited or inserted (field values only)
    std::int64_t insertPos_ = 0;

    std::vector<DatasetObserver*> observers_;
    int disabled_ = 0;
    SqlSession* readsHeld_ = nullptr;  // the session whose reads the disabled controls hold
    bool pending_ = false;
};

}  // namespace orn::db
