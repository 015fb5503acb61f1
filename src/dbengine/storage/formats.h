#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "dbengine/storage/table.h"

// The entry points of each table file format. Table::open/create/drop (table.cpp) choose the
// format and call these; nothing else should. A table comes back still reading (Table::endRead).
namespace orn::db {

namespace dbase {
// True when the first bytes of a file (up to 128, fewer for a short file) look like a dBASE table.
bool looksLikeTable(const std::uint8_t* head, std::size_t len, std::uint64_t fileSize);
std::unique_ptr<Table> openTable(const std::filesystem::path& file, OpenMode mode);
std::unique_ptr<Table> createTable(const std::filesystem::path& file, const TableCreate& layout);
// The existing files that belong to the table besides itself (memo and index files).
std::vector<std::filesystem::path> companionFiles(const std::filesystem::path& file);
}  // namespace dbase

namespace paradox {
bool looksLikeTable(const std::uint8_t* head, std::size_t len, std::uint64_t fileSize);
std::unique_ptr<Table> openTable(const std::filesystem::path& file, OpenMode mode);
std::unique_ptr<Table> createTable(const std::filesystem::path& file, const TableCreate& layout);
std::vector<std::filesystem::path> companionFiles(const std::filesystem::path& file);
}  // namespace paradox

}  // namespace orn::db
