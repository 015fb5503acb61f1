#pragma once

#include <filesystem>
#include <memory>

#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/table.h"

namespace orn::db::paradox {

// The header of a new table with this layout; throws EngineError naming the field at fault.
Header layoutHeader(const TableCreate& layout, const std::string& label);

// Writes the files of a new, empty table (.db, .px when keyed, .mb when it has blob fields),
// replacing companions left by an earlier table of that name, and opens it.
std::unique_ptr<Table> createTable(const std::filesystem::path& file, const TableCreate& layout);

// Writes header-only files for `h` under the given names (used by create and restructure).
void writeEmptyTableFiles(const Header& h, const std::filesystem::path& db,
                          const std::filesystem::path& px, const std::filesystem::path& mb,
                          const std::string& tableName);

}  // namespace orn::db::paradox
