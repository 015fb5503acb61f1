#pragma once

// Trees over the data blocks of a keyed file: the primary index (.px) of a keyed table, built
// from the table's data blocks, and the tree file (.Ynn/.YGn) of a secondary index, which has the
// same layout over the index's data file.

#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/storage/paradox_header.h"

namespace orn::db {
class TableFiles;
}

namespace orn::db::paradox {

struct DataBlockSummary {
    std::uint16_t block = 0;  // .db block number
    std::uint16_t records = 0;
    std::string firstKey;  // the key bytes of the block's first record
};

// The whole .px file for the data blocks in chain order: level 1 holds one entry per data block,
// each higher level one entry per block of the level below, until one root block remains.
// `dbHeader` is the .db file's header as written (its counters and table name are echoed).
std::vector<std::uint8_t> buildPrimaryIndex(const Header& db,
                                            const std::vector<std::uint8_t>& dbHeader,
                                            const std::vector<DataBlockSummary>& blocks);

// The layout a tree file's header states, checked for sense; `usable` is false when the file
// is not a tree over keys of `keySize` bytes.
struct TreeLayout {
    bool usable = false;
    std::uint16_t headerSize = 0;
    int blockSize = 0;
    std::uint16_t root = 0;
    int levels = 0;
    std::uint16_t blocks = 0;  // blocks the file holds
    std::size_t keySize = 0;
    std::size_t entrySize() const { return keySize + 6; }
};
TreeLayout readTreeLayout(const TableFiles& files, std::size_t tree, std::size_t keySize);

// The lowest level of tree file `tree` (layout `t`): the data blocks it names in key order, each
// with its first key and record count. False when the tree does not read as one (an entry names
// block 0 or a block twice, a level is empty, the keys are out of order), `out` then undefined.
bool readTreeLeaves(const TableFiles& files, std::size_t tree, const TreeLayout& t,
                    std::vector<DataBlockSummary>& out);

// The data block where keys from `low` (a whole key or a prefix of one) begin, found by walking
// down tree file `tree` from its root: the block whose first key is the last one below `low`
// (at most `low` for a whole key). 0 when the tree cannot tell (damaged or empty).
std::uint16_t treeStartBlock(const TableFiles& files, std::size_t tree, const TreeLayout& t,
                             const std::string& low);

}  // namespace orn::db::paradox
