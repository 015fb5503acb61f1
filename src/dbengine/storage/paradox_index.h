#pragma once

// The primary index (.px) of a keyed table, built from the table's data blocks.

#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/storage/paradox_header.h"

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

}  // namespace orn::db::paradox
