#pragma once

// pxlib as an independent reader of the Paradox files we write.

#include <filesystem>
#include <string>
#include <vector>

#include "dbengine/storage/table.h"
#include "dbengine/storage/value.h"

namespace orn::db::test {

struct PxlibTable {
    int numRecords = 0;
    std::vector<char> types;      // pxlib's type codes
    std::vector<Record> records;  // blob fields read as blank
};

// Every record of a table in table order, and one record as "value|value|..." for comparing.
std::vector<Record> recordsOf(Table& t);
std::string rowText(const Record& r);

// Reads a table with pxlib (without its .mb). Alpha text is converted to UTF-8 from `codePage`
// here rather than by pxlib. Throws std::runtime_error when pxlib cannot open the file.
PxlibTable readWithPxlib(const std::filesystem::path& file, const std::string& codePage);

// Checks with gtest that the leaf level of a keyed table's .px lists its data blocks in chain
// order with their first keys and record counts.
void expectIndexMatchesBlocks(const std::filesystem::path& db, const std::filesystem::path& px);

// expectIndexMatchesBlocks, and that the index is a sound tree however full its blocks: each
// upper entry holds its block's first key and the sum of its counts, every block of the file is
// reached once, the header counts the entries, blocks and levels, and the chain of all blocks
// links them in both directions.
void expectSoundIndex(const std::filesystem::path& db, const std::filesystem::path& px);

}  // namespace orn::db::test
