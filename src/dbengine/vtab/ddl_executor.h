#pragma once

#include "dbengine/sql/ddl.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {

// Carries out a table-definition statement on the table files: CREATE TABLE makes a Paradox or
// dBASE file, DROP TABLE removes it with its companion files, ALTER TABLE and DROP INDEX PRIMARY
// rebuild the file with the new layout. Secondary indexes cannot be built: CREATE INDEX and DROP
// INDEX of a named index fail with a message saying so, and no file is touched.
void executeDdl(SqlSession& session, const sql::DdlStatement& ddl);

}  // namespace orn::db
