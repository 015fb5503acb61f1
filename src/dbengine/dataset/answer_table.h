#pragma once

#include <string>
#include <vector>

#include "dbengine/dataset/query.h"

namespace orn::db {

// Makes the answer set of an open query that is not live a permanent table named `tableName`
// in the query's database directory (a name without extension gets ".db"; ".dbf" makes a dBASE
// table, anything else Paradox), replacing a table of that name. The new table is complete
// before it takes the old one's place, so a failure leaves the old table. Field kinds follow the
// result's columns; text columns get the width of their longest value. The query's current
// record is kept.
// A table that is replaced must not be in use elsewhere, as for DROP: while another process has
// it open the save fails with "Cannot open <file> exclusively: the table is in use by another
// process.", and a read-only table is refused. The answer (and `shown`, the query a window shows,
// when it reads the table) is closed when it holds the replaced table open itself.
// Secondary indexes of a replaced Paradox table are rebuilt where the answer keeps their fields
// and key (same names, types and sizes); the notices of the others are returned.
std::vector<std::string> saveAnswerAsTable(Query& query, const std::string& tableName,
                                           Query* shown = nullptr);

}  // namespace orn::db
