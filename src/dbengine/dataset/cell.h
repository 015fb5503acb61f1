#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace orn::db {

// One value of a result row, as SQL produced it.
using Cell =
    std::variant<std::monostate, std::int64_t, double, std::string, std::vector<std::uint8_t>>;
using Row = std::vector<Cell>;

Cell cellOf(sqlite3_stmt* stmt, int column);
void bindCell(sqlite3_stmt* stmt, int index, const Cell& cell);  // index is 1-based

}  // namespace orn::db
