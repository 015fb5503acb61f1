#include "dbengine/vtab/statement_gateway.h"

#if __has_include("dbengine/sql/translator.h")
#include "dbengine/sql/translator.h"
#include "dbengine/vtab/ddl_executor.h"
#include "dbengine/vtab/directory_schema.h"
#define ORN_HAVE_TRANSLATOR 1
#endif

namespace orn::db {

PreparedStatement prepareDialect(SqlSession& session, const std::string& text) {
    PreparedStatement out;
#ifdef ORN_HAVE_TRANSLATOR
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
#else
    out.sqliteSql = text;
#endif
    out.statement = session.prepare(out.sqliteSql);
    return out;
}

}  // namespace orn::db
