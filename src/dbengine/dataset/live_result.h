#pragma once

#include <string>

namespace orn::db {

// Whether compiled SQLite SQL is a plain one-table SELECT whose rows map one to one onto records:
// no DISTINCT, grouping, compound, join, comma join or subquery in FROM at the top level.
bool isSingleTableSelect(const std::string& sql);

// The same SELECT with the record identity as an extra last column.
std::string selectWithRowid(const std::string& sql);

}  // namespace orn::db
