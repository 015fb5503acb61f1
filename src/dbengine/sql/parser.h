#pragma once

#include <string_view>

#include "dbengine/sql/ast.h"

namespace orn::sql {

// Parses one statement of the dialect (a trailing ';' is allowed). Statements that do not start
// with SELECT, INSERT, UPDATE, DELETE, CREATE [UNIQUE] INDEX/TABLE, DROP INDEX/TABLE or ALTER
// TABLE come back as Kind::Other with their text unchanged. Throws SqlError on a syntax error,
// naming the offending token and its line and column.
Statement parseStatement(std::string_view text);

}  // namespace orn::sql
