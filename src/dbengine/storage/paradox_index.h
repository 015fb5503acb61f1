#pragma once

// Trees over the data blocks of a keyed file: the primary index (.px) of a keyed table, built
// from the table's data blocks, and the tree file (.Ynn/.YGn) of a secondary index, which has the
// same layout over the index's data file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// Records in a block of `size` bytes of which `got` were read, with `recordSize` bytes per
// record; -1 when its header does not fit.
int recordsInBlock(const std::uint8_t* buf, std::size_t got, int size, int recordSize);

// An index tree file: the .px of a table, the .Ynn/.YGn of a secondary index. Each entry of a
// block holds a key of `keySize` bytes, the number of a block one level down (on the lowest level
// a block of the indexed file) as a sortable short, a record count and one more short; the
// levels' entries are the first keys of the blocks below.
struct IndexTree {
    std::size_t file = SIZE_MAX;  // slot in the table's TableFiles
    std::size_t keySize = 0;
    std::uint16_t headerSize = 0;
    int blockSize = 0;
    std::uint16_t root = 0;
    int levels = 0;
    std::uint16_t blocks = 0;  // blocks the file holds
};

// The tree in file `file` as its header describes it, when the header is of file type `type`
// and its entries fit keys of `keySize` bytes; nothing otherwise.
std::optional<IndexTree> readIndexTree(const TableFiles& files, std::size_t file, std::uint8_t type,
                                       std::size_t keySize);

// The block number an entry's number field holds (all 16 bits of a sortable short).
std::uint16_t indexEntryBlock(const std::uint8_t* p);
// Writes a block number or count into an entry's field: values from 32768 keep their 16 bits
// (the top bit is flipped like any short's), values past 65,535 are stored as 65,535.
void putIndexShort(std::uint8_t* p, std::uint64_t v);
// Where block `no` (from 1) of an index tree file begins.
inline std::uint64_t indexBlockOffset(const IndexTree& tree, std::uint16_t no) {
    return tree.headerSize + std::uint64_t(no - 1) * std::uint64_t(tree.blockSize);
}

// The block of the indexed file where keys from `low` on begin, found by walking down from the
// root: `low` is a whole key (keySize bytes) or a prefix of one, and a prefix may begin in the
// block before the first one whose first key starts with it. 0 when the tree cannot tell (a
// block outside the file or one whose header does not fit). The caller still checks that the
// block is one of the indexed file's chain.
std::uint16_t descendIndexTree(const TableFiles& files, const IndexTree& tree,
                               std::string_view low);

// The lowest level of `tree`: the blocks of the indexed file it names, in tree order, each with
// its first key and record count (an empty block's key means nothing; the caller checks that the
// keys rise, by the order the keys follow). False when the tree does not read as one (an entry
// names block 0 or a block twice, an upper block is empty); `out` is then undefined.
bool readTreeLeaves(const TableFiles& files, const IndexTree& tree,
                    std::vector<DataBlockSummary>& out);

}  // namespace orn::db::paradox
