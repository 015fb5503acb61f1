#include "dbengine/vtab/statement_gateway.h"

#include "dbengine/sql/translator.h"
#include "dbengine/vtab/ddl_executor.h"
#include "dbengine/vtab/directory_schema.h"

namespace orn::db {

PreparedStatement prepareDialect(SqlSession& session, const std::string& text) {
    PreparedStatement out;
    DirectorySchema schema(session);
    const sql::Translation translation = sql::translateSql(text, schema);
    if (translation.ddl) {
        executeDdl(session, *translation.ddl);
        return out;
    }
    for (const auto& table : translation.tables) {
        session.attachFile(table.sqlName, table.file);
    }
    out.sqliteSql = translation.sql;
    out.statement = session.prepare(out.sqliteSql);
    return out;
}

}  // namespace orn::db
