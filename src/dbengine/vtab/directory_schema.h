#pragma once

#include <optional>
#include <string>

#include "dbengine/sql/schema.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {

// The translator's view of a session's directory. Finding a table attaches it to the session, so
// only the tables a statement names are ever opened. Tables in the directory are known to SQL by
// their file name in lower case ("customer.db"), others by their full path.
class DirectorySchema : public sql::SqlSchema {
  public:
    explicit DirectorySchema(SqlSession& session) : session_(session) {}

    std::optional<sql::SqlTable> findTable(const std::string& reference) override;
    sql::SqlTableTarget newTable(const std::string& reference) override;

  private:
    SqlSession& session_;
};

// A table name as a user writes it after FROM ("cust.db", [my table], :WORK:cust, orders) ->
// the name to look up, aliases and DOS drives mapped (see table_locations.h); a text that is not a
// single table name there comes back unchanged.
std::string tableNameAsInFrom(const std::string& name);

}  // namespace orn::db
