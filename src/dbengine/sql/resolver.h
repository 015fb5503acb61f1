#pragma once

#include <string_view>

#include "dbengine/sql/ast.h"
#include "dbengine/sql/translator.h"

namespace orn::sql {

// Name resolution and typed rewrites of a parsed DML statement or query: finds every table in
// `schema` (recording it in out.tables), gives each column its field's own spelling and type,
// maps qualifiers to the correlation names to emit, converts string literals that meet DATE,
// TIME, TIMESTAMP and BOOLEAN values, completes short INSERT column lists and numbers the
// parameters (out.parameters). Annotates the tree for the emitter.
void resolveStatement(Statement& st, std::string_view text, SqlSchema& schema, Translation& out);

// Looks a table up through `schema`, recording it in out.tables once; returns its index there.
// Throws SqlError when the schema knows no such table.
std::size_t lookupTable(const TableRef& ref, std::string_view text, SqlSchema& schema,
                        Translation& out);

ValueType valueTypeOf(db::FieldType type);

}  // namespace orn::sql
