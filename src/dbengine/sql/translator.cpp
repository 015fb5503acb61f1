#include "dbengine/sql/translator.h"

#include <algorithm>

#include "dbengine/sql/emitter.h"
#include "dbengine/sql/parser.h"
#include "dbengine/sql/resolver.h"
#include "dbengine/sql/sql_error.h"
#include "dbengine/sql/unicode_case.h"

namespace orn::sql {

std::string quoteIdentifier(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 2);
    out += '"';
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string quoteString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    for (char c : text) {
        if (c == '\'')
            out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

namespace {

const db::Field* findField(const SqlTable& t, std::string_view name) {
    for (const db::Field& f : t.fields)
        if (equalsNoCase(f.name, name))
            return &f;
    return nullptr;
}

[[noreturn]] void fieldNotFound(std::string_view name) {
    throw SqlError("Field '" + std::string(name) + "' not found");
}

class DdlBuilder {
  public:
    DdlBuilder(std::string_view text, SqlSchema& schema, Translation& out)
        : text_(text), schema_(schema), out_(out) {}

    DdlStatement build(const Statement& st) {
        switch (st.kind) {
            case Statement::Kind::CreateTable:
                return createTable(st);
            case Statement::Kind::DropTable: {
                const SqlTable& t = existing(st);
                return DropTableDdl{t.file, t.format};
            }
            case Statement::Kind::CreateIndex:
                return createIndex(st);
            case Statement::Kind::DropIndex: {
                const SqlTable& t = existing(st);
                DropIndexDdl d{t.file, t.format, st.indexName, false};
                if (equalsNoCase(st.indexName, "PRIMARY")) {
                    d.primary = true;
                    d.name.clear();
                }
                return d;
            }
            default:
                return alterTable(st);
        }
    }

  private:
    const SqlTable& existing(const Statement& st) {
        return out_.tables[lookupTable(st.table, text_, schema_, out_)];
    }

    CreateTableDdl createTable(const Statement& st) {
        const SqlTableTarget target = schema_.newTable(st.table.reference);
        CreateTableDdl d;
        d.file = target.file;
        d.format = target.format;
        std::vector<std::string> keys;
        for (const ColumnDef& c : st.columnDefs) {
            for (const db::Field& f : d.fields)
                if (equalsNoCase(f.name, c.name))
                    throw SqlError("Duplicate field name '" + c.name + "'", c.pos, c.name);
            d.fields.push_back(fieldForSqlType(c.name, c.typeWord, c.size, c.scale, d.format));
            if (c.primaryKey)
                keys.push_back(c.name);
        }
        keys.insert(keys.end(), st.primaryKey.begin(), st.primaryKey.end());
        d.blockSize = blockSize(st, d.format);
        if (keys.empty())
            return d;
        if (d.format != db::TableFormat::Paradox)
            throw SqlError("dBASE tables have no primary key; use CREATE INDEX instead");
        for (std::size_t k = 0; k < keys.size(); ++k) {
            bool known = false;
            for (const db::Field& f : d.fields)
                known = known || equalsNoCase(f.name, keys[k]);
            if (!known)
                fieldNotFound(keys[k]);
            if (k >= d.fields.size() || !equalsNoCase(d.fields[k].name, keys[k]))
                throw SqlError(
                    "The primary key fields must be the first fields of the table, in key order");
        }
        d.keyFields = static_cast<int>(keys.size());
        return d;
    }

    CreateIndexDdl createIndex(const Statement& st) {
        const SqlTable& t = existing(st);
        CreateIndexDdl d{t.file, t.format,      st.indexName,      st.unique,
                         {},     st.descending, st.caseInsensitive};
        for (const std::string& c : st.columns) {
            const db::Field* f = findField(t, c);
            if (!f)
                fieldNotFound(c);
            d.fields.push_back(f->name);
        }
        return d;
    }

    // BLOCK SIZE n of CREATE and ALTER TABLE; 0 when absent.
    static int blockSize(const Statement& st, db::TableFormat format) {
        if (st.blockSize < 0)
            return 0;
        if (format != db::TableFormat::Paradox)
            throw SqlError("dBASE tables have no BLOCK SIZE");
        if (!db::isParadoxBlockSize(st.blockSize))
            throw SqlError("BLOCK SIZE must be 1024, 2048, 4096, 16384 or 32768, not " +
                           std::to_string(st.blockSize));
        return st.blockSize;
    }

    AlterTableDdl alterTable(const Statement& st) {
        const SqlTable& t = existing(st);
        AlterTableDdl d{t.file, t.format, {}};
        d.blockSize = blockSize(st, t.format);
        std::vector<std::string> names;
        for (const db::Field& f : t.fields)
            names.push_back(f.name);
        // Actions apply in order: a field added earlier in the statement may be dropped later.
        const auto current = [&](std::string_view n) {
            return std::find_if(names.begin(), names.end(),
                                [&](const std::string& x) { return equalsNoCase(x, n); });
        };
        for (const Statement::AlterAction& a : st.alterActions) {
            AlterTableDdl::Action action;
            action.add = a.add;
            const auto it = current(a.column.name);
            if (a.add) {
                if (it != names.end())
                    throw SqlError("Duplicate field name '" + a.column.name + "'", a.column.pos,
                                   a.column.name);
                action.field = fieldForSqlType(a.column.name, a.column.typeWord, a.column.size,
                                               a.column.scale, t.format);
                names.push_back(a.column.name);
            } else {
                if (it == names.end())
                    fieldNotFound(a.column.name);
                action.field.name = *it;
                names.erase(it);
            }
            d.actions.push_back(std::move(action));
        }
        return d;
    }

    std::string_view text_;
    SqlSchema& schema_;
    Translation& out_;
};

StatementKind kindOf(Statement::Kind k) {
    switch (k) {
        case Statement::Kind::Select:
            return StatementKind::Select;
        case Statement::Kind::Insert:
            return StatementKind::Insert;
        case Statement::Kind::Update:
            return StatementKind::Update;
        case Statement::Kind::Delete:
            return StatementKind::Delete;
        case Statement::Kind::CreateTable:
            return StatementKind::CreateTable;
        case Statement::Kind::DropTable:
            return StatementKind::DropTable;
        case Statement::Kind::CreateIndex:
            return StatementKind::CreateIndex;
        case Statement::Kind::DropIndex:
            return StatementKind::DropIndex;
        case Statement::Kind::AlterTable:
            return StatementKind::AlterTable;
        case Statement::Kind::Other:
            return StatementKind::Other;
    }
    return StatementKind::Other;
}

}  // namespace

Translation translateSql(std::string_view text, SqlSchema& schema) {
    Statement st = parseStatement(text);
    Translation out;
    out.kind = kindOf(st.kind);
    switch (st.kind) {
        case Statement::Kind::Other:
            out.sql = st.text;
            break;
        case Statement::Kind::Select:
        case Statement::Kind::Insert:
        case Statement::Kind::Update:
        case Statement::Kind::Delete:
            resolveStatement(st, text, schema, out);
            out.sql = emitStatement(st);
            break;
        default:
            out.ddl = DdlBuilder(text, schema, out).build(st);
            break;
    }
    return out;
}

}  // namespace orn::sql
