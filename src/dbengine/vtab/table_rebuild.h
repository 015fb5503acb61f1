#pragma once

#include <filesystem>
#include <vector>

#include "dbengine/storage/table.h"

namespace orn::db {

// Rewrites a table file with a new layout. New field i takes its values from old field
// sources[i] (-1: stays blank), converted to the new type; a value with no counterpart in the new
// type fails the rebuild with a message naming the field, the record and the value. The new table is written under a temporary name beside the old one and
// only then takes its place, so a failure (a key violation under a new key, a full disk) leaves
// the old table as it was. The table must not be open anywhere else.
void rebuildTable(const std::filesystem::path& file, const TableCreate& layout,
                  const std::vector<int>& sources);

// A name for a new table beside `file`, in the same format, that no other table uses.
std::filesystem::path temporaryTableBeside(const std::filesystem::path& file);
// Puts the finished table `replacement` (and its companions) in the place of `file` and its
// companions; `file` need not exist. Files of other tables with the same stem are left alone.
void replaceTable(const std::filesystem::path& file, const std::filesystem::path& replacement,
                  TableFormat format);

}  // namespace orn::db
