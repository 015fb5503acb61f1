#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbengine/sql/ast.h"
#include "dbengine/sql/ddl.h"
#include "dbengine/sql/schema.h"

namespace orn::sql {

enum class StatementKind {
    Select,
    Insert,
    Update,
    Delete,
    CreateTable,
    DropTable,
    CreateIndex,
    DropIndex,
    AlterTable,
    Other,  // not a statement of the dialect: `sql` is the text unchanged
};

struct TranslatedParameter {
    std::string name;  // without ':'; empty for '?'
    // The type of the column the parameter meets, when known: dates, times and timestamps are
    // bound in the text forms of literals.h, booleans as 1/0.
    ValueType type = ValueType::Unknown;
};

// What a result column of a query holds, as far as the statement tells: the field of a plain
// column (or of MIN/MAX of one), else the type of the expression; Unknown leaves it to the values.
struct ResultColumn {
    ValueType type = ValueType::Unknown;
    std::optional<db::Field> field;
};

struct Translation {
    StatementKind kind = StatementKind::Other;
    // SQLite text for every kind but DDL: identifiers double-quoted, strings single-quoted;
    // to be prepared with double-quoted string literals switched off (SQLITE_DBCONFIG_DQS_DML
    // and _DDL = 0) on a connection with registerDialectFunctions().
    std::string sql;
    // The tables the statement names, each once, in the order they first appear. Each must be
    // available under its sqlName before `sql` runs.
    std::vector<SqlTable> tables;
    // parameters[i] is bound to ?(i+1); a name used twice is one parameter.
    std::vector<TranslatedParameter> parameters;
    std::optional<DdlStatement> ddl;  // set for the DDL kinds instead of `sql`
    // Select: one per result column, in order (empty when a star could not be expanded).
    std::vector<ResultColumn> columns;
};

// Translates one statement of the dialect. Throws SqlError for syntax errors (naming the token
// and its position), unknown tables and literals that do not fit their columns; whatever
// `schema` throws passes through.
Translation translateSql(std::string_view text, SqlSchema& schema);

// Double-quotes an identifier / single-quotes a string for SQLite.
std::string quoteIdentifier(std::string_view name);
std::string quoteString(std::string_view text);

}  // namespace orn::sql
