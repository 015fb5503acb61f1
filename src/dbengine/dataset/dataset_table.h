#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dbengine/storage/field.h"
#include "dbengine/storage/table.h"

namespace orn::db {

// What the engine tells about an open table.
struct CursorProperties {
    std::string tableType;  // "PARADOX" or "DBASE"
    int fieldCount = 0;
    int keyFieldCount = 0;
    std::uint64_t recordCount = 0;
    int version = 0;
};

// A field found by name: its position from 0 and its name as the table spells it.
struct TableFieldRef {
    int fieldNo = 0;
    std::string fullName;
};

// A table file opened by name, for maintenance (indexes, restructuring). Exclusive opening is a
// real lock: it fails while any other process or object has the table open.
// Every operation reports failure by throwing EngineError (KeyViolation for "Key violation.");
// its what() is the whole message for the user, of any length: there are no result codes.
class DatasetTable {
  public:
    DatasetTable() = default;
    // The name is resolved like a table name in SQL (quotes as after FROM; bare name: .db, else
    // .dbf; any letter case) against `databaseDir`, or the working directory when that is empty.
    explicit DatasetTable(std::string tableName, std::filesystem::path databaseDir = {});

    void setTableName(std::string name) { name_ = std::move(name); }
    const std::string& tableName() const { return name_; }
    void setDatabaseDir(std::filesystem::path dir) { dir_ = std::move(dir); }
    void setExclusive(bool exclusive) { exclusive_ = exclusive; }
    bool exclusive() const { return exclusive_; }

    void open();
    void close();
    bool active() const { return table_ != nullptr; }
    // Open exclusively right now (not only asked for).
    bool openExclusive() const { return active() && openedExclusive_; }
    const std::filesystem::path& file() const { return file_; }

    const std::vector<Field>& fields() const;
    TableFieldRef fieldByName(const std::string& name) const;  // "Field '%s' not found"
    // fields: names separated by ';' or ','. A primary index makes those fields the table's key;
    // on Paradox tables they must be its first fields. Needs the table open exclusively.
    // Only primary indexes of Paradox tables can be made: anything else throws. Returns the
    // notices of secondary indexes the new key leaves behind.
    std::vector<std::string> addIndex(const std::string& indexName, const std::string& fields,
                                      bool primary);
    CursorProperties cursorProperties() const;
    Table& cursor() const;  // the engine table behind it; throws when closed

  private:
    void requireOpen() const;

    std::string name_;
    std::filesystem::path dir_;
    std::filesystem::path file_;
    bool exclusive_ = false;
    bool openedExclusive_ = false;
    std::unique_ptr<Table> table_;
};

}  // namespace orn::db
