#include "dbengine/dataset/row_window.h"

#include <algorithm>

namespace orn::db {

RowWindow::RowWindow(SqlSession& session, std::string sql, std::unique_ptr<SqlStatement> stmt,
                     std::size_t capacity, std::function<bool(const Row&)> skip)
    : session_(session),
      sql_(std::move(sql)),
      stmt_(std::move(stmt)),
      capacity_(capacity < 2 ? 2 : capacity),
      skip_(std::move(skip)) {}

bool RowWindow::fetchOne() {
    sqlite3_stmt* s = stmt_->handle();
    const int columns = sqlite3_column_count(s);
    while (!exhausted_) {
        if (!stmt_->step()) {
            exhausted_ = true;
            if (!count_) {
                count_ = first_ + static_cast<std::int64_t>(rows_.size());
            }
            return false;
        }
        spare_.clear();
        spare_.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            spare_.push_back(cellOf(s, c));
        }
        if (skip_ && skip_(spare_)) {
            continue;
        }
        rows_.push_back(std::move(spare_));
        spare_ = Row();
        if (rows_.size() > capacity_) {
            spare_ = std::move(rows_.front());  // its storage takes the next row
            rows_.pop_front();
            ++evictions_;
            ++first_;
        }
        return true;
    }
    return false;
}

void RowWindow::restart() {
    stmt_->reset();
    rows_.clear();
    ++evictions_;
    first_ = 0;
    exhausted_ = false;
}

Row* RowWindow::row(std::int64_t index) {
    if (index < 0) {
        return nullptr;
    }
    if (index < first_) {
        restart();
        // keep half a window before the wanted row, for the way back
        const auto keepFrom = index - static_cast<std::int64_t>(capacity_ / 2);
        while (first_ + static_cast<std::int64_t>(rows_.size()) <= index && fetchOne()) {
            while (first_ < keepFrom && !rows_.empty()) {
                rows_.pop_front();
                ++evictions_;
                ++first_;
            }
        }
    }
    if (first_ + static_cast<std::int64_t>(rows_.size()) > index) {
        stmt_->pause();  // holds nothing unless the way back fetched rows
        return &rows_[static_cast<std::size_t>(index - first_)];
    }
    while (first_ + static_cast<std::int64_t>(rows_.size()) <= index) {
        if (!fetchOne()) {
            stmt_->pause();
            return nullptr;
        }
    }
    // A window may stay open for as long as a person looks at it: it locks nothing meanwhile.
    // Rows further on are fetched ahead, as many as were walked already (up to a limit), so
    // that walking the window does not lock for every row and the first row comes alone.
    const auto ahead = std::min<std::int64_t>(
        index, static_cast<std::int64_t>(std::min<std::size_t>(kFetchAhead, capacity_ / 4)));
    while (first_ + static_cast<std::int64_t>(rows_.size()) <= index + ahead && fetchOne()) {
    }
    stmt_->pause();
    return &rows_[static_cast<std::size_t>(index - first_)];
}

void RowWindow::readToEnd() {
    while (fetchOne()) {
    }
    stmt_->pause();
}

std::optional<std::int64_t> RowWindow::knownCount() const {
    if (exhausted_) {
        return first_ + static_cast<std::int64_t>(rows_.size());
    }
    return count_;
}

std::int64_t RowWindow::count() {
    if (auto known = knownCount()) {
        return *known;
    }
    auto stmt =
        session_.prepare(countSql_.empty() ? "SELECT count(*) FROM (" + sql_ + ")" : countSql_);
    bindValues(stmt->handle(), bound_);
    count_ = stmt->step() ? sqlite3_column_int64(stmt->handle(), 0) : 0;
    return *count_;
}

}  // namespace orn::db
