#include "dbengine/vtab/statement_gateway.h"

namespace orn::db {

PreparedStatement prepareDialect(SqlSession& session, const std::string& text) {
    PreparedStatement out;
    out.sqliteSql = text;
    out.statement = session.prepare(text);
    return out;
}

}  // namespace orn::db
