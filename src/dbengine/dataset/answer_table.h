#pragma once

#include <string>

#include "dbengine/dataset/query.h"

namespace orn::db {

// Makes the answer set of an open query that is not live a permanent table named `tableName`
// in the query's database directory (a name without extension gets ".db"; ".dbf" makes a dBASE
// table, anything else Paradox), replacing a table of that name. The new table is complete
// before it takes the old one's place, so a failure leaves the old table. Field kinds follow the
// result's columns; text columns get the width of their longest value. The query's current
// record is kept.
void saveAnswerAsTable(Query& query, const std::string& tableName);

}  // namespace orn::db
