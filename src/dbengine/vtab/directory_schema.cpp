#include "dbengine/vtab/directory_schema.h"

#include "dbengine/sql/parser.h"
#include "dbengine/vtab/table_files.h"
#include "dbengine/vtab/table_locations.h"

namespace orn::db {
namespace fs = std::filesystem;

std::string tableNameAsInFrom(const std::string& name) {
    try {
        const sql::Statement st = sql::parseStatement("SELECT * from " + name);
        if (st.kind == sql::Statement::Kind::Select && st.select && st.select->cores.size() == 1) {
            const sql::SelectCore& core = st.select->cores.front();
            if (core.from.size() == 1 && core.from.front()->kind == sql::Source::Kind::Table &&
                core.from.front()->alias.empty() && !core.where) {
                return mappedTableReference(core.from.front()->table.reference);
            }
        }
    } catch (const std::exception&) {
        // Not a table name SQL would take: looked up as written.
    }
    return name;
}

std::optional<sql::SqlTable> DirectorySchema::findTable(const std::string& reference) {
    const fs::path file =
        requireTableFile(session_.givenDirectory(), mappedTableReference(reference));
    std::error_code ec;
    const bool inDirectory = fs::equivalent(file.parent_path(), session_.directory(), ec);
    sql::SqlTable table;
    table.sqlName = inDirectory ? lowerAscii(file.filename().string()) : file.string();
    table.file = file;
    session_.attachFile(table.sqlName, file);
    const auto* layout = session_.layoutOf(file);
    if (!layout) {
        throw EngineError("Cannot open table " + file.string());
    }
    table.format = layout->format;
    table.fields = layout->fields;
    return table;
}

sql::SqlTableTarget DirectorySchema::newTable(const std::string& reference) {
    sql::SqlTableTarget target;
    target.file =
        newTableFile(session_.givenDirectory(), mappedTableReference(reference), target.format);
    return target;
}

}  // namespace orn::db
