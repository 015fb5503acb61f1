#pragma once

// What operations on a whole table do with a Paradox table's secondary indexes: CREATE INDEX
// and DROP INDEX make and remove them, a rebuild carries the ones it leaves valid into the new
// table.

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

// CREATE INDEX: makes the secondary index `name` of a keyed Paradox table over the named fields,
// filled from the records as they are, under the table's exclusive lock. An index over one field
// and named after it is the one-field kind, NAME.Xnn/NAME.Ynn with nn the field's place in hex,
// in which Alpha values compare with regard to letter case; any other is the first free pair of
// NAME.XGn/NAME.YGn files. The new files are written under names of their own and renamed into
// place, so a crash leaves the index whole or absent (or one file of the two, which the next
// write removes). ORN makes only what it can keep exact afterwards: ascending indexes kept up to
// date, with Alpha values (also in the key the index repeats) only in the one-field kind under
// the "ascii" order. Everything else is refused with an EngineError saying why, and no file is
// touched: a dBASE table, UNIQUE, DESC, CASEINSENSITIVE, memo and blob fields, a field named
// twice, the table's first key field leading, a name another index of the table has.
void createSecondaryIndex(const std::filesystem::path& table, const std::string& name,
                          const std::vector<std::string>& fields, bool unique,
                          const std::vector<bool>& descending, bool caseInsensitive = false);

// DROP INDEX: removes both files of the secondary index of a Paradox table whose header names it
// `name` (letter case aside), under the table's exclusive lock. Fails with an EngineError when
// the table has none of that name or is a dBASE table.
void dropSecondaryIndex(const std::filesystem::path& table, const std::string& name);

}  // namespace orn::db
