#include "dbengine/dataset/cell.h"

namespace orn::db {

Cell cellOf(sqlite3_stmt* stmt, int column) {
    // One look-up of the column, then the value's own accessors. A text is read as bytes: the
    // text accessor would first copy it to add a terminator.
    sqlite3_value* v = sqlite3_column_value(stmt, column);
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            return static_cast<std::int64_t>(sqlite3_value_int64(v));
        case SQLITE_FLOAT:
            return sqlite3_value_double(v);
        case SQLITE_TEXT: {
            const auto* p = static_cast<const char*>(sqlite3_value_blob(v));
            const auto n = static_cast<std::size_t>(sqlite3_value_bytes(v));
            return p ? std::string(p, n) : std::string();
        }
        case SQLITE_BLOB: {
            const auto* p = static_cast<const std::uint8_t*>(sqlite3_value_blob(v));
            return std::vector<std::uint8_t>(p, p + sqlite3_value_bytes(v));
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
