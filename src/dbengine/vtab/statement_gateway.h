#pragma once

#include <memory>
#include <string>

#include "dbengine/vtab/sql_session.h"

namespace orn::db {

// Runs one statement in the users' dialect on a session: table-definition statements are carried
// out on the table files; everything else is translated to SQLite SQL and compiled. Returns the
// compiled statement, or nullptr when the statement was carried out already (DDL).
struct PreparedStatement {
    std::unique_ptr<SqlStatement> statement;  // nullptr: nothing left to run
    std::string sqliteSql;                    // the SQL that was compiled
};
PreparedStatement prepareDialect(SqlSession& session, const std::string& text);

}  // namespace orn::db
