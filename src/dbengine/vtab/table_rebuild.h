#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "dbengine/storage/table.h"

namespace orn::db {

// Rewrites a table file with a new layout. New field i takes its values from old field
// sources[i] (-1: stays blank), converted to the new type; a value with no counterpart in the new
// type fails the rebuild with a message naming the field, the record and the value. The new table
// is written under a temporary name beside the old one and then swapped in all or nothing (a
// crash during the swap is finished on the next open), so a failure (a key violation under a new
// key, a full disk) leaves the old table as it was. The table keeps its code page unless `layout`
// names another. It must not be open anywhere else; it stays locked until the swap is done.
// Secondary indexes that the new layout leaves valid are rebuilt; the notices of the others are
// returned (see carrySecondaryIndexes).
std::vector<std::string> rebuildTable(const std::filesystem::path& file, TableCreate layout,
                                      const std::vector<int>& sources);

}  // namespace orn::db
