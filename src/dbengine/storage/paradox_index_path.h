#pragma once

// The path from the root of a primary index to the entry of one data block, for writes that
// change a few data blocks: the block's record count or first key, a block added behind it, the
// block taken out of the chain. The edited index keeps the form buildPrimaryIndex gives it (each
// entry the first key of the block below it and the sum of that block's counts); blocks that
// overflow split, the root too, so that its blocks may be less than full.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbengine/storage/paradox_index.h"

namespace orn::db::paradox {

class IndexPath {
  public:
    // The path by `firstKey` (a whole key) to the entry of data block `block`, which counts
    // `records` records, in an index whose counts add up to `total`. Nothing when the walk does
    // not end at that entry, or the index disagrees with itself on the way (an entry's key or
    // count is not its block's first key or sum, a sum of 65,535 or more counting as 65,535): an
    // index out of date, or one another program keeps differently, which the caller writes anew
    // instead.
    static std::optional<IndexPath> find(const TableFiles& files, const IndexTree& tree,
                                         std::string_view firstKey, std::uint16_t block,
                                         int records, std::uint64_t total);

    void setRecords(int records);
    void setFirstKey(std::string_view key);
    // A data block linked in behind this one.
    void addBehind(std::string_view firstKey, std::uint16_t block, int records);
    // Whether the file's header allows new index blocks at its end (needed when one splits).
    bool mayGrow() const;
    // Whether the data block's entry may go: it is not the only one of its index block.
    bool mayRemove() const;
    void remove();
    // Byte `at` of the index file's header.
    std::uint8_t headerByte(std::size_t at) const { return head_[at]; }
    // Writes the blocks and header that changed; `tree` follows a new root.
    void write(TableFiles& files, IndexTree& tree);

  private:
    struct Entry {
        std::string key;
        std::uint16_t block = 0;
        std::uint64_t count = 0;  // the true sum, which the file caps (see kAtLeastLimit)
        std::uint8_t extra[2] = {0, 0};
    };
    struct Node {
        std::uint16_t no = 0;
        std::uint8_t link[4] = {0, 0, 0, 0};  // next and previous block
        std::vector<Entry> entries;
        int pick = 0;  // the entry on the path
    };

    // An index block holding entries [from, to) behind the links `link` (next and previous).
    std::vector<std::uint8_t> blockBytes(const std::vector<Entry>& entries, int from, int to,
                                         const std::uint8_t* link) const;

    std::size_t keySize_ = 0;
    int blockSize_ = 0;
    std::vector<std::uint8_t> head_;  // the file's header up to its field descriptions
    std::vector<Node> nodes_;         // root first
    std::uint16_t blocksInFile_ = 0;
    bool added_ = false;    // addBehind put an entry behind the pick
    bool removed_ = false;  // the pick's entry went
};

}  // namespace orn::db::paradox
