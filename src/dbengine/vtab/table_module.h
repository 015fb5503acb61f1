#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>

namespace orn::db {

// Name of the SQLite module that serves table files. Its single argument is the file's path as a
// single-quoted SQL string: CREATE VIRTUAL TABLE temp."x.db" USING orn_table('/dir/x.db').
inline constexpr const char* kTableModuleName = "orn_table";

// Registers the module on a connection. Reads go through the storage engine's cursors (key ranges
// for primary-key constraints), writes through its insert/update/remove so that it owns locking,
// key order, autoincrement and memo files. One SQL statement is one storage transaction: it
// begins, and takes the table's write lock, when the statement starts (before its first read).
void registerTableModule(sqlite3* db);

class Table;
// Told about every table file the module opens on a connection (registerTableModule with it).
class TableModuleObserver {
  public:
    virtual ~TableModuleObserver() = default;
    virtual void tableOpened(const std::filesystem::path& file, Table& table) = 0;
    virtual void tableClosed(Table& table) = 0;
    // Told once per open table when reading it found damage (see Table::damage).
    virtual void tableDamaged(const std::filesystem::path& file, const std::string& damage) {}
    // Told after a write ended, of each thing the table did on its own that a user should hear
    // of (see Table::takeNotices).
    virtual void tableNotice(const std::filesystem::path& file, const std::string& notice) {}
};
void registerTableModule(sqlite3* db, TableModuleObserver* observer);

}  // namespace orn::db
