#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dbengine/storage/field.h"
#include "dbengine/storage/table.h"

namespace orn::sql {

// A table file a statement names, as the translator needs to know it.
struct SqlTable {
    // The name the emitted SQLite text uses for the table. Whoever executes the text registers a
    // virtual table under this name before running it.
    std::string sqlName;
    std::filesystem::path file;
    db::TableFormat format = db::TableFormat::Paradox;
    std::vector<db::Field> fields;  // in file order, names as stored
};

// Where CREATE TABLE puts a new table.
struct SqlTableTarget {
    std::filesystem::path file;
    db::TableFormat format = db::TableFormat::Paradox;
};

// The tables of a database directory, as the translator sees them. `reference` is a table name
// exactly as the statement wrote it, without its quotes: "customer", "Customer.DB",
// "c:\sample\parts.dbf", "/data/x.db", ":DBDEMOS:customer.db". Resolving it (default extension,
// letter case, paths, aliases) is the implementation's business.
class SqlSchema {
  public:
    virtual ~SqlSchema() = default;

    // The table the reference names, or nullopt when there is none. May instead throw
    // db::EngineError with a message of its own (e.g. naming the directory searched).
    virtual std::optional<SqlTable> findTable(const std::string& reference) = 0;
    // Where CREATE TABLE would create the table (".dbf" means dBASE, anything else Paradox).
    virtual SqlTableTarget newTable(const std::string& reference) = 0;
};

}  // namespace orn::sql
