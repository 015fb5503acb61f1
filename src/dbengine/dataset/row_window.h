#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dbengine/dataset/cell.h"
#include "dbengine/vtab/parameter_binding.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {

// A forward-only SQL result seen as numbered rows through a bounded window: rows are fetched as
// they are asked for, at most `capacity` are kept, and going back past the window runs the
// statement again. The row count is found by a separate count query, only when asked.
// Between calls the window holds no lock on its tables: other processes may commit, and rows
// fetched later come from the state then current.
class RowWindow {
  public:
    static constexpr std::size_t kFetchAhead = 512;  // rows fetched past the one asked for

    // `skip` (may be empty) hides rows, e.g. rows the caller already shows elsewhere.
    RowWindow(SqlSession& session, std::string sql, std::unique_ptr<SqlStatement> stmt,
              std::size_t capacity, std::function<bool(const Row&)> skip = {});

    // The row at 0-based `index`, or nullptr past the end. It stays in place until it leaves
    // the window, which changes evictions().
    Row* row(std::int64_t index);
    std::uint64_t evictions() const { return evictions_; }
    // Number of rows (after skipping). `countSql` overrides the default count query.
    std::int64_t count();
    void setCountSql(std::string sql) { countSql_ = std::move(sql); }
    // The values the statement's parameters are bound to; the count query takes them too.
    void setParameters(BoundValues values) { bound_ = std::move(values); }
    // Known end without counting: the statement ran out.
    std::optional<std::int64_t> knownCount() const;
    std::size_t cachedRows() const { return rows_.size(); }
    // Fetches up to the last row (the count is then known); the window keeps the last rows.
    void readToEnd();
    // Lets go of the tables' read locks (rows fetched later come from the state then current).
    void pause() { stmt_->pause(); }

  private:
    bool fetchOne();  // appends the next visible row; false at the end
    void restart();

    SqlSession& session_;
    std::string sql_;
    std::string countSql_;
    std::unique_ptr<SqlStatement> stmt_;
    std::size_t capacity_;
    std::function<bool(const Row&)> skip_;
    std::deque<Row> rows_;
    Row spare_;               // storage of the row that last left the window
    std::int64_t first_ = 0;  // index of rows_.front()
    bool exhausted_ = false;
    std::optional<std::int64_t> count_;
    std::uint64_t evictions_ = 0;
    BoundValues bound_;
};

}  // namespace orn::db
