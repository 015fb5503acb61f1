#include "dbengine/vtab/ddl_executor.h"

#include <system_error>

#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/vtab/table_files.h"
#include "dbengine/vtab/table_rebuild.h"

namespace orn::db {
namespace fs = std::filesystem;
namespace {

std::size_t fieldIndex(const std::vector<Field>& fields, const std::string& name) {
    const std::string wanted = lowerAscii(name);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (lowerAscii(fields[i].name) == wanted) {
            return i;
        }
    }
    throw EngineError("Field '" + name + "' not found");
}

// The oldest dBASE level that holds every field: binary and OLE memos and F numbers need
// dBASE IV, everything else dBASE III is enough for.
int lowestDbaseVersion(const std::vector<Field>& fields) {
    for (const auto& f : fields) {
        if (f.type == FieldType::Blob || f.type == FieldType::Graphic || f.type == FieldType::Ole ||
            (f.type == FieldType::Number && f.letter == 'F')) {
            return 4;
        }
    }
    return 0;
}

void createTable(const sql::CreateTableDdl& ddl) {
    std::error_code ec;
    if (fs::exists(ddl.file, ec)) {
        throw EngineError("Table " + ddl.file.string() + " already exists.");
    }
    const fs::path dir = ddl.file.parent_path();
    if (!dir.empty() && !fs::is_directory(dir, ec)) {
        throw EngineError("Cannot create table " + ddl.file.filename().string() +
                          ": the directory " + dir.string() + " does not exist.");
    }
    TableCreate layout;
    layout.fields = ddl.fields;
    layout.keyFields = ddl.keyFields;
    layout.blockSize = ddl.blockSize;
    layout.version = ddl.format == TableFormat::DBase ? lowestDbaseVersion(ddl.fields) : 0;
    Table::create(ddl.file, ddl.format, layout);
}

void dropTable(SqlSession& session, const fs::path& file) {
    session.detachFile(file);
    Table::drop(file);
}

// Fields and key of a table file as it is now.
TableCreate currentLayout(const fs::path& file) {
    auto table = Table::open(file, OpenMode::ReadOnly);
    TableCreate layout;
    layout.fields = table->fields();
    layout.keyFields = table->keyFieldCount();
    layout.version = table->version();
    return layout;
}

void alterTable(SqlSession& session, const sql::AlterTableDdl& ddl) {
    session.detachFile(ddl.file);
    TableCreate layout = currentLayout(ddl.file);
    std::vector<int> sources(layout.fields.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        sources[i] = static_cast<int>(i);
    }
    for (const auto& action : ddl.actions) {
        if (action.add) {
            for (const auto& f : layout.fields) {
                if (lowerAscii(f.name) == lowerAscii(action.field.name)) {
                    throw EngineError("Field '" + f.name + "' already exists");
                }
            }
            layout.fields.push_back(action.field);
            sources.push_back(-1);
            continue;
        }
        const auto at = fieldIndex(layout.fields, action.field.name);
        if (static_cast<int>(at) < layout.keyFields) {
            throw EngineError("Field '" + layout.fields[at].name +
                              "' is part of the primary key and cannot be dropped");
        }
        layout.fields.erase(layout.fields.begin() + static_cast<std::ptrdiff_t>(at));
        sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(at));
    }
    if (layout.fields.empty()) {
        throw EngineError("A table must keep at least one field");
    }
    layout.blockSize = ddl.blockSize;  // 0: the table's own
    for (const auto& notice : rebuildTable(ddl.file, layout, sources)) {
        session.addNotice(notice);
    }
}

void dropPrimaryIndex(SqlSession& session, const fs::path& file) {
    session.detachFile(file);
    TableCreate layout = currentLayout(file);
    if (layout.keyFields == 0) {
        throw EngineError("Table " + file.filename().string() + " has no primary index");
    }
    std::vector<int> sources(layout.fields.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        sources[i] = static_cast<int>(i);
    }
    layout.keyFields = 0;
    for (const auto& notice : rebuildTable(file, layout, sources)) {
        session.addNotice(notice);
    }
}

}  // namespace

void executeDdl(SqlSession& session, const sql::DdlStatement& ddl) {
    if (const auto* create = std::get_if<sql::CreateTableDdl>(&ddl)) {
        createTable(*create);
    } else if (const auto* drop = std::get_if<sql::DropTableDdl>(&ddl)) {
        dropTable(session, drop->file);
    } else if (const auto* alter = std::get_if<sql::AlterTableDdl>(&ddl)) {
        alterTable(session, *alter);
    } else if (const auto* index = std::get_if<sql::CreateIndexDdl>(&ddl)) {
        session.detachFile(index->file);
        createSecondaryIndex(index->file, index->name, index->fields, index->unique,
                             index->descending, index->caseInsensitive);
    } else if (const auto* dropIndex = std::get_if<sql::DropIndexDdl>(&ddl)) {
        session.detachFile(dropIndex->file);
        if (dropIndex->primary) {
            dropPrimaryIndex(session, dropIndex->file);
        } else {
            dropSecondaryIndex(dropIndex->file, dropIndex->name);
        }
    }
}

}  // namespace orn::db
