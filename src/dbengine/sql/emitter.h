#pragma once

#include <string>

#include "dbengine/sql/ast.h"

namespace orn::sql {

// SQLite text for a resolved DML statement or query (see resolver.h): every identifier in
// double quotes, every string in single quotes, the dialect's forms rewritten.
std::string emitStatement(const Statement& st);

}  // namespace orn::sql
