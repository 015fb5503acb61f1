#include "dbengine/dataset/query.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "dbengine/dataset/field_text.h"
#include "dbengine/dataset/live_result.h"
#include "dbengine/dataset/row_window.h"
#include "dbengine/sql/parameter_names.h"
#include "dbengine/storage/table.h"
#include "dbengine/vtab/sql_session.h"
#include "dbengine/vtab/sql_value.h"
#include "dbengine/vtab/statement_gateway.h"
#include "dbengine/vtab/table_files.h"

namespace orn::db {
namespace {

std::string quotedName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + '"';
}

int cellType(const Cell& c) {
    switch (c.index()) {
        case 1:
            return SQLITE_INTEGER;
        case 2:
            return SQLITE_FLOAT;
        case 3:
            return SQLITE_TEXT;
        case 4:
            return SQLITE_BLOB;
        default:
            return 0;
    }
}

const Cell kNull{};

// The declared type (in the virtual tables' words) of a result column whose type the statement
// tells: its field's, else the expression's. Numbers are integers or not by `valueType`; empty
// when the values must decide.
std::string typeHint(const sql::ResultColumn& column, const std::function<int()>& valueType) {
    if (column.field) {
        return declaredType(*column.field);
    }
    switch (column.type) {
        case sql::ValueType::Text:
            return "CHAR";
        case sql::ValueType::Number:
            return valueType() == SQLITE_INTEGER ? "INTEGER" : "FLOAT";
        case sql::ValueType::Boolean:
            return "BOOLEAN";
        case sql::ValueType::Date:
            return "DATE";
        case sql::ValueType::Time:
            return "TIME";
        case sql::ValueType::Timestamp:
            return "TIMESTAMP";
        case sql::ValueType::Blob:
            return "BLOB";
        case sql::ValueType::Unknown:
            break;
    }
    return "";
}

}  // namespace

Query::Query() = default;
Query::Query(std::filesystem::path databaseDir, bool live)
    : dir_(std::move(databaseDir)), live_(live) {}
Query::~Query() = default;

void Query::setSql(const std::string& text) {
    sql_.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            if (i < text.size() || start < i) {
                sql_.push_back(text.substr(start, i - start));
            }
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
}

std::string Query::sqlText() const {
    std::string out;
    for (std::size_t i = 0; i < sql_.size(); ++i) {
        out += (i ? "\n" : "") + sql_[i];
    }
    return out;
}

namespace {
// A hold on a session's reads for the length of a scope, or until let go.
class ScopedReadHold {
  public:
    explicit ScopedReadHold(SqlSession& session) : session_(&session) { session.holdReads(); }
    ~ScopedReadHold() { letGo(); }
    void letGo() {
        if (session_ != nullptr)
            std::exchange(session_, nullptr)->releaseReads();
    }
    ScopedReadHold(const ScopedReadHold&) = delete;
    ScopedReadHold& operator=(const ScopedReadHold&) = delete;

  private:
    SqlSession* session_;
};
}  // namespace

void Query::open() {
    close();
    auto session = std::make_unique<SqlSession>(dir_);
    // What preparing reads (the tables' headers) stays locked into the first rows: one read lock
    // per table instead of two. Not for a statement that writes: it must take the write lock
    // before it holds any read lock, or it could wait for a writer that waits for its readers.
    ScopedReadHold held(*session);
    auto prepared = prepareDialect(*session, sqlText(), params_);
    sqlite3_stmt* handle = prepared.statement ? prepared.statement->handle() : nullptr;
    if (!handle || !sqlite3_stmt_readonly(handle)) {
        held.letGo();
    }
    if (!handle || sqlite3_column_count(handle) == 0) {
        if (prepared.statement) {
            while (prepared.statement->step()) {
            }
        }
        session_ = std::move(session);
        state_ = DatasetState::Browse;
        notify(DatasetEvent::Opened);
        return;
    }
    std::string sql = prepared.sqliteSql;
    std::string table;
    singleTable_ = isSingleTableSelect(sql);
    if (live_ && singleTable_) {
        const int n = sqlite3_column_count(handle);
        for (int c = 0; c < n; ++c) {
            const char* t = sqlite3_column_table_name(handle, c);
            const char* o = sqlite3_column_origin_name(handle, c);
            if (!t || !o || (c > 0 && table != t)) {
                table.clear();
                break;
            }
            table = t;
        }
    }
    if (!table.empty()) {
        sql = selectWithRowid(sql);
        prepared.statement = session->prepare(sql);
        handle = prepared.statement->handle();
        bindValues(handle, prepared.bound);
        liveSql_ = sql;
    }
    liveTable_ = table;
    session_ = std::move(session);
    std::function<bool(const Row&)> skip;
    if (!liveTable_.empty()) {
        skip = [this](const Row& r) {
            const auto* id = std::get_if<std::int64_t>(&r.back());
            return id && insertedIds_.count(*id) > 0;
        };
    }
    window_ = std::make_unique<RowWindow>(*session_, sql, std::move(prepared.statement),
                                          kWindowRows, std::move(skip));
    window_->setParameters(std::move(prepared.bound));
    const Row* first = window_->row(0);
    const int n = sqlite3_column_count(handle) - static_cast<int>(identityColumns());
    const bool typed = prepared.columns.size() == static_cast<std::size_t>(n);
    for (int c = 0; c < n; ++c) {
        const auto at = static_cast<std::size_t>(c);
        const std::string hint =
            typed ? typeHint(prepared.columns[at], [&] { return firstValueType(at); }) : "";
        const int type = hint.empty() ? firstValueType(at) : 0;
        fields_.push_back(std::make_unique<DatasetField>(*this, fields_.size(),
                                                         columnInfo(handle, c, type, hint)));
    }
    state_ = DatasetState::Browse;
    current_ = 0;
    bof_ = true;
    eof_ = first == nullptr;
    notify(DatasetEvent::Opened);
}

// The SQLite type of a column's first value that is not NULL among the leading rows (0: none).
int Query::firstValueType(std::size_t column) {
    constexpr std::int64_t kLook = 100;
    for (std::int64_t i = 0; i < kLook; ++i) {
        const Row* row = window_ ? window_->row(i) : nullptr;
        if (!row) {
            break;
        }
        if (const int type = cellType((*row)[column])) {
            return type;
        }
    }
    return 0;
}

bool Query::usesFile(const std::filesystem::path& file) const {
    return session_ && session_->usesFile(file);
}

void Query::close() {
    const bool wasActive = active();
    fields_.clear();
    statements_.clear();
    currentRow_ = {};
    window_.reset();
    session_.reset();
    readsHeld_ = nullptr;
    liveTable_.clear();
    liveSql_.clear();
    singleTable_ = false;
    inserted_.clear();
    insertedIds_.clear();
    buffer_.clear();
    state_ = DatasetState::Inactive;
    current_ = 0;
    eof_ = bof_ = true;
    if (wasActive) {
        notify(DatasetEvent::Closed);
    }
}

void Query::execute() {
    SqlSession session(dir_);
    auto prepared = prepareDialect(session, sqlText(), params_);
    if (prepared.statement) {
        while (prepared.statement->step()) {
        }
    }
}

std::vector<std::string> Query::paramNames() const {
    return sql::parameterNames(sqlText());
}

void Query::requireActive() const {
    if (!active()) {
        throw EngineError("Cannot perform this operation on a closed dataset");
    }
}

DatasetField& Query::field(std::size_t index) {
    if (index >= fields_.size()) {
        throw EngineError("Field index out of range");
    }
    return *fields_[index];
}

DatasetField* Query::findField(const std::string& name) {
    const std::string wanted = lowerAscii(name);
    for (auto& f : fields_) {
        if (lowerAscii(f->name()) == wanted) {
            return f.get();
        }
    }
    return nullptr;
}

DatasetField& Query::fieldByName(const std::string& name) {
    if (auto* f = findField(name)) {
        return *f;
    }
    throw EngineError("Field '" + name + "' not found");
}

const Row* Query::rowAt(std::int64_t index) const {
    return const_cast<Query*>(this)->mutableRowAt(index);
}

Row* Query::mutableRowAt(std::int64_t index) {
    if (!window_ || index < 0) {
        return nullptr;
    }
    std::int64_t base = 0;
    if (Row* row = inserted_.find(index, base)) {
        return row;
    }
    return window_->row(base);
}

// Reading a record field by field asks for the same row once per field; the row is looked up
// again only when the position, the overlay or the window's rows have changed since.
const Row* Query::currentRow() const {
    if (!window_) {
        return nullptr;
    }
    CurrentRow& c = currentRow_;
    if (!c.row || c.index != current_ || c.inserted != inserted_.size() ||
        c.evictions != window_->evictions()) {
        c.row = rowAt(current_);
        c.index = current_;
        c.inserted = inserted_.size();
        c.evictions = window_->evictions();
    }
    return c.row;
}

std::int64_t Query::recordCount() {
    requireActive();
    if (!window_) {
        return 0;
    }
    // Counted once. Records inserted here are left out of the count (the window hides them too)
    // and added from the overlay, so later inserts keep the count exact without counting again.
    if (!liveSql_.empty() && !insertedIds_.empty() && !window_->knownCount()) {
        std::string ids;
        for (auto id : insertedIds_) {
            if (!ids.empty()) {
                ids += ',';
            }
            ids += std::to_string(id);
        }
        window_->setCountSql("SELECT count(*) FROM (" + liveSql_ + ") WHERE rowid NOT IN (" + ids +
                             ")");
    }
    return window_->count() + static_cast<std::int64_t>(inserted_.size()) +
           (state_ == DatasetState::Insert ? 1 : 0);
}

bool Query::isEmpty() {
    requireActive();
    return state_ != DatasetState::Insert && rowAt(0) == nullptr;
}

std::int64_t Query::recNo() const {
    if (state_ == DatasetState::Insert) {
        return insertPos_ + 1;
    }
    if (!window_ || rowAt(current_) == nullptr) {
        return 0;
    }
    return current_ + 1;
}

void Query::checkBrowseMode() {
    requireActive();
    if (state_ == DatasetState::Edit || state_ == DatasetState::Insert) {
        post();
    }
}

void Query::moveTo(std::int64_t index) {
    checkBrowseMode();
    if (index < 0) {
        index = 0;
    }
    bof_ = index == 0;
    eof_ = false;
    if (rowAt(index) == nullptr) {
        // past the end: stay on the last record
        eof_ = true;
        const auto n = recordCount();
        index = n > 0 ? n - 1 : 0;
        bof_ = index == 0;
    }
    current_ = index;
    notify(DatasetEvent::Scrolled);
}

void Query::setRecNo(std::int64_t recNo) {
    requireActive();
    moveTo(recNo - 1);
    if (rowAt(current_)) {
        eof_ = false;
    }
}

void Query::first() {
    moveTo(0);
    eof_ = rowAt(0) == nullptr;
}

void Query::next() {
    checkBrowseMode();
    if (rowAt(current_ + 1) == nullptr) {
        eof_ = true;
        return;
    }
    ++current_;
    bof_ = false;
    eof_ = false;
    notify(DatasetEvent::Scrolled);
}

void Query::prior() {
    checkBrowseMode();
    if (current_ == 0) {
        bof_ = true;
        return;
    }
    --current_;
    eof_ = false;
    notify(DatasetEvent::Scrolled);
}

void Query::last() {
    checkBrowseMode();
    // The walk to the last record counts the records on its way; a count query first would read
    // the whole result twice.
    if (window_) {
        window_->readToEnd();
    }
    const auto n = recordCount();
    moveTo(n > 0 ? n - 1 : 0);
    eof_ = true;
}

const Cell& Query::currentCell(std::size_t field) const {
    if (state_ == DatasetState::Edit || state_ == DatasetState::Insert) {
        return buffer_[field];
    }
    const Row* row = currentRow();
    return row ? (*row)[field] : kNull;
}

void Query::assign(std::size_t field, Cell value) {
    if (state_ != DatasetState::Edit && state_ != DatasetState::Insert) {
        throw EngineError("Dataset not in edit or insert mode");
    }
    buffer_[field] = std::move(value);
    notify(DatasetEvent::RecordChanged);
}

void Query::edit() {
    requireActive();
    if (state_ == DatasetState::Edit || state_ == DatasetState::Insert) {
        return;
    }
    if (!canModify()) {
        throw EngineError("Cannot modify a read-only dataset");
    }
    const Row* row = rowAt(current_);
    if (!row) {
        startInsert(0);
        return;
    }
    buffer_.assign(row->begin(), row->end() - static_cast<std::ptrdiff_t>(identityColumns()));
    state_ = DatasetState::Edit;
    notify(DatasetEvent::RecordChanged);
}

void Query::startInsert(std::int64_t position) {
    if (!canModify()) {
        throw EngineError("Cannot modify a read-only dataset");
    }
    buffer_.assign(fields_.size(), Cell{});
    insertPos_ = position;
    state_ = DatasetState::Insert;
    notify(DatasetEvent::RecordChanged);
}

void Query::insert() {
    checkBrowseMode();
    startInsert(rowAt(current_) ? current_ : 0);
}

void Query::append() {
    checkBrowseMode();
    startInsert(rowAt(0) ? recordCount() : 0);
}

void Query::cancel() {
    requireActive();
    if (state_ == DatasetState::Edit || state_ == DatasetState::Insert) {
        buffer_.clear();
        state_ = DatasetState::Browse;
        notify(DatasetEvent::RecordChanged);
    }
}

void Query::post() {
    requireActive();
    if (state_ == DatasetState::Edit) {
        postEdit();
    } else if (state_ == DatasetState::Insert) {
        postInsert();
    } else {
        return;
    }
    buffer_.clear();
    state_ = DatasetState::Browse;
    eof_ = false;
    notify(DatasetEvent::RecordChanged);
}

Row Query::rereadRow(std::int64_t rowid) {
    std::string sql = "SELECT ";
    for (const auto& f : fields_) {
        sql += quotedName(f->info().origin) + ", ";
    }
    sql += "rowid FROM " + quotedName(liveTable_) + " WHERE rowid = ?";
    SqlStatement& stmt = editStatement(sql);
    sqlite3_bind_int64(stmt.handle(), 1, rowid);
    if (!stmt.step()) {
        throw EngineError("Record not found");
    }
    Row row;
    for (int c = 0; c < sqlite3_column_count(stmt.handle()); ++c) {
        row.push_back(cellOf(stmt.handle(), c));
    }
    stmt.reset();
    return row;
}

SqlStatement& Query::editStatement(const std::string& sql) {
    auto& slot = statements_[sql];
    if (!slot) {
        slot = session_->prepare(sql);
    }
    slot->reset();
    sqlite3_clear_bindings(slot->handle());
    return *slot;
}

void Query::postEdit() {
    Row* row = mutableRowAt(current_);
    if (!row) {
        throw EngineError("Record not found");
    }
    const auto rowid = std::get<std::int64_t>(row->back());
    std::string sql;
    std::vector<const Cell*> values;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i]->readOnly() || buffer_[i] == (*row)[i]) {
            continue;
        }
        sql += (sql.empty() ? "" : ", ") + quotedName(fields_[i]->info().origin) + " = ?";
        values.push_back(&buffer_[i]);
    }
    if (!values.empty()) {
        SqlStatement& stmt =
            editStatement("UPDATE " + quotedName(liveTable_) + " SET " + sql + " WHERE rowid = ?");
        int index = 1;
        for (const Cell* v : values) {
            bindCell(stmt.handle(), index++, *v);
        }
        sqlite3_bind_int64(stmt.handle(), index, rowid);
        stmt.step();
        stmt.reset();
    }
    *row = rereadRow(rowid);
}

void Query::postInsert() {
    std::string columns, marks;
    std::vector<const Cell*> values;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i]->readOnly() || std::holds_alternative<std::monostate>(buffer_[i])) {
            continue;
        }
        columns += (columns.empty() ? "" : ", ") + quotedName(fields_[i]->info().origin);
        marks += marks.empty() ? "?" : ", ?";
        values.push_back(&buffer_[i]);
    }
    const std::string sql =
        "INSERT INTO " + quotedName(liveTable_) +
        (values.empty() ? " DEFAULT VALUES" : " (" + columns + ") VALUES (" + marks + ")");
    SqlStatement& stmt = editStatement(sql);
    int index = 1;
    for (const Cell* v : values) {
        bindCell(stmt.handle(), index++, *v);
    }
    stmt.step();
    stmt.reset();
    const auto rowid = sqlite3_last_insert_rowid(session_->handle());
    inserted_.insert(insertPos_, rereadRow(rowid));
    insertedIds_.insert(rowid);
    current_ = insertPos_;
}

void Query::addObserver(DatasetObserver* observer) {
    observers_.push_back(observer);
}

void Query::removeObserver(DatasetObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

// Code that walks the result with the controls off (an export, a copy) reads it in one go: the
// session's tables stay locked for reading until the controls come back, so that every row comes
// from one committed state.
void Query::disableControls() {
    if (disabled_++ == 0 && session_) {
        session_->holdReads();
        readsHeld_ = session_.get();
    }
}

void Query::enableControls() {
    if (disabled_ == 1 && readsHeld_ != nullptr) {
        if (readsHeld_ == session_.get()) {
            session_->releaseReads();
        }
        readsHeld_ = nullptr;
    }
    if (disabled_ > 0 && --disabled_ == 0 && pending_) {
        pending_ = false;
        notify(DatasetEvent::DataChanged);
    }
}

void Query::notify(DatasetEvent event) {
    if (disabled_ > 0) {
        pending_ = true;
        return;
    }
    const auto observers = observers_;  // an observer may remove itself
    for (auto* o : observers) {
        o->datasetEvent(*this, event);
    }
}

void Query::deleteRecord() {
    requireActive();
    if (state_ == DatasetState::Insert) {
        cancel();
        return;
    }
    if (!canModify()) {
        throw EngineError("Cannot modify a read-only dataset");
    }
    const Row* row = rowAt(current_);
    if (!row) {
        return;
    }
    const auto rowid = std::get<std::int64_t>(row->back());
    buffer_.clear();
    state_ = DatasetState::Browse;
    SqlStatement& stmt =
        editStatement("DELETE FROM " + quotedName(liveTable_) + " WHERE rowid = ?");
    sqlite3_bind_int64(stmt.handle(), 1, rowid);
    stmt.step();
    stmt.reset();
    refresh();
}

void Query::refresh() {
    requireActive();
    checkBrowseMode();
    std::vector<std::string> formats;
    for (const auto& f : fields_) {
        formats.push_back(f->displayFormat());
    }
    const std::int64_t position = current_;
    disableControls();
    try {
        close();
        open();
        for (std::size_t i = 0; i < fields_.size() && i < formats.size(); ++i) {
            fields_[i]->setDisplayFormat(formats[i]);
        }
        moveTo(position);
    } catch (...) {
        enableControls();
        throw;
    }
    enableControls();
}

const Cell* Query::cellAt(std::int64_t index, std::size_t field) const {
    const Row* row = rowAt(index);
    if (!row || field >= fields_.size() || field >= row->size()) {
        return nullptr;
    }
    return &(*row)[field];
}

std::string Query::damageWarning() const {
    if (!session_ || session_->damageWarnings().empty()) {
        return {};
    }
    return session_->damageWarnings().front();
}

std::size_t Query::cachedRows() const {
    return window_ ? window_->cachedRows() : 0;
}

}  // namespace orn::db
