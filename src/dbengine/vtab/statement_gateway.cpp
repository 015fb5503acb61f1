#include "dbengine/vtab/statement_gateway.h"

#include "dbengine/sql/translator.h"
#include "dbengine/vtab/ddl_executor.h"
#include "dbengine/vtab/directory_schema.h"

namespace orn::db {

PreparedStatement prepareDialect(SqlSession& session, const std::string& text,
                                 const SqlParams& params) {
    PreparedStatement out;
    DirectorySchema schema(session);
    const sql::Translation translation = sql::translateSql(text, schema);
    if (translation.ddl) {
        executeDdl(session, *translation.ddl);
        return out;
    }
    const bool passedOn = translation.kind == sql::StatementKind::Other;
    if (!passedOn) {
        out.bound = boundValues(translation.parameters, params);
    }
    for (const auto& table : translation.tables) {
        session.attachFile(table.sqlName, table.file);
    }
    out.sqliteSql = translation.sql;
    out.columns = translation.columns;
    out.statement = session.prepare(out.sqliteSql);
    if (passedOn) {
        // SQLite reads :name in text it runs as written; such a name must not run as NULL either
        out.bound = boundValues(compiledParameters(out.statement->handle()), params);
    }
    bindValues(out.statement->handle(), out.bound);
    return out;
}

}  // namespace orn::db
