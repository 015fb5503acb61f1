#pragma once

#include <memory>
#include <string>

#include "dbengine/sql/translator.h"
#include "dbengine/vtab/parameter_binding.h"
#include "dbengine/vtab/sql_params.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {

// Runs one statement in the users' dialect on a session: table-definition statements are carried
// out on the table files; everything else is translated to SQLite SQL, compiled and bound to the
// values of its :name parameters. Returns the compiled statement, or nullptr when the statement
// was carried out already (DDL). A parameter without a value fails before anything runs.
struct PreparedStatement {
    std::unique_ptr<SqlStatement> statement;  // nullptr: nothing left to run
    std::string sqliteSql;                    // the SQL that was compiled
    BoundValues bound;  // what ?1..?n were bound to; SQL built around sqliteSql takes them too
    // A query's result columns as the statement types them (empty when it does not tell).
    std::vector<sql::ResultColumn> columns;
};
PreparedStatement prepareDialect(SqlSession& session, const std::string& text,
                                 const SqlParams& params = {});

}  // namespace orn::db
