#pragma once

#include "dbengine/sql/ddl.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {

// Carries out a table-definition statement on the table files: CREATE TABLE makes a Paradox or
// dBASE file, DROP TABLE removes it with its companion files, ALTER TABLE and DROP INDEX PRIMARY
// rebuild the file with the new layout. CREATE INDEX and DROP INDEX of a named index make and
// remove a Paradox table's secondary index files (see secondary_indexes.h for what is refused).
void executeDdl(SqlSession& session, const sql::DdlStatement& ddl);

}  // namespace orn::db
