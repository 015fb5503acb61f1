#pragma once

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "dbengine/storage/field.h"
#include "dbengine/storage/table.h"

namespace orn::sql {

// DDL statements are not run by SQLite: the translator describes them and the file layer
// carries them out.

struct CreateTableDdl {
    std::filesystem::path file;
    db::TableFormat format = db::TableFormat::Paradox;
    std::vector<db::Field> fields;  // the first `keyFields` form the primary key
    int keyFields = 0;
    int blockSize = 0;  // Paradox: bytes per block; 0: the default
};

struct DropTableDdl {
    std::filesystem::path file;
    db::TableFormat format = db::TableFormat::Paradox;
};

struct CreateIndexDdl {
    std::filesystem::path file;
    db::TableFormat format = db::TableFormat::Paradox;
    std::string name;
    bool unique = false;
    std::vector<std::string> fields;  // the fields' own spelling
    std::vector<bool> descending;     // per field
    bool caseInsensitive = false;
};

struct DropIndexDdl {
    std::filesystem::path file;
    db::TableFormat format = db::TableFormat::Paradox;
    std::string name;      // empty when `primary`
    bool primary = false;  // DROP INDEX "t.db".PRIMARY
};

struct AlterTableDdl {
    struct Action {
        bool add = true;
        db::Field field;  // ADD: the new field; DROP: only the name (the field's own spelling)
    };
    std::filesystem::path file;
    db::TableFormat format = db::TableFormat::Paradox;
    std::vector<Action> actions;  // in statement order
    int blockSize = 0;            // Paradox: the new bytes per block; 0 keeps the table's
};

using DdlStatement =
    std::variant<CreateTableDdl, DropTableDdl, CreateIndexDdl, DropIndexDdl, AlterTableDdl>;

// The field a column type of CREATE TABLE / ALTER TABLE ADD gives in the table's format:
// SMALLINT, INTEGER, DECIMAL(x,y), NUMERIC(x,y), FLOAT(x,y), CHAR(n)/CHARACTER(n)/VARCHAR(n),
// DATE, TIME, TIMESTAMP, BOOLEAN, MONEY, AUTOINC, BYTES(n), BLOB(n,s). Throws SqlError naming
// the type when the format has no such field.
db::Field fieldForSqlType(const std::string& name, const std::string& typeWord, int size, int scale,
                          db::TableFormat format);

}  // namespace orn::sql
