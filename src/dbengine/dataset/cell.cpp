#include "dbengine/dataset/cell.h"

namespace orn::db {

Cell cellOf(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_INTEGER:
            return static_cast<std::int64_t>(sqlite3_column_int64(stmt, column));
        case SQLITE_FLOAT:
            return sqlite3_column_double(stmt, column);
        case SQLITE_TEXT: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
        }
        case SQLITE_BLOB: {
            const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, column));
            return std::vector<std::uint8_t>(p, p + sqlite3_column_bytes(stmt, column));
        }
        default:
            return std::monostate{};
    }
}

void bindCell(sqlite3_stmt* stmt, int index, const Cell& cell) {
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        sqlite3_bind_int64(stmt, index, *i);
    } else if (const auto* d = std::get_if<double>(&cell)) {
        sqlite3_bind_double(stmt, index, *d);
    } else if (const auto* s = std::get_if<std::string>(&cell)) {
        sqlite3_bind_text(stmt, index, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    } else if (const auto* b = std::get_if<std::vector<std::uint8_t>>(&cell)) {
        sqlite3_bind_blob(stmt, index, b->data(), static_cast<int>(b->size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_null(stmt, index);
    }
}

}  // namespace orn::db
