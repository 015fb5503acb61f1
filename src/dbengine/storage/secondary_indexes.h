#pragma once

// What operations on a whole table do with a Paradox table's secondary indexes: a rebuild
// carries the ones it leaves valid into the new table.

#include <filesystem>
#include <string>
#include <vector>

#include "dbengine/storage/table.h"

namespace orn::db {

// Secondary indexes through a rebuild. A Paradox table's secondary indexes whose fields and key
// the replacement `fresh` of `old` keeps (new field i continues old field fieldSources[i], -1
// for a new one) with their types and sizes are placed beside `fresh` before its records are
// committed: the commit fills them and the swap puts them in the old ones' place. The others go
// with the old files; one notice each says which and why ("Removed the secondary index ...").
std::vector<std::string> carrySecondaryIndexes(Table& old, Table& fresh,
                                               const std::vector<int>& fieldSources);
// After `fresh`, the replacement of `table`, committed: its notices, naming `table`'s files.
std::vector<std::string> replacementNotices(Table& fresh, const std::filesystem::path& table);

}  // namespace orn::db
