#include "dbengine/storage/paradox_index.h"

#include <algorithm>
#include <cstring>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/table.h"

namespace orn::db::paradox {

namespace {
struct Entry {
    std::string key;
    std::uint32_t block;
    std::uint32_t count;
};

// Block numbers and counts above 32767 keep their 16 bits; the top bit is flipped like any short.
void putShort(std::uint8_t* p, std::uint32_t v) {
    putSortableInt(p, 2, std::int64_t(std::min<std::uint32_t>(v, 0xFFFF)));
}
}  // namespace

std::vector<std::uint8_t> buildPrimaryIndex(const Header& db,
                                            const std::vector<std::uint8_t>& dbHeader,
                                            const std::vector<DataBlockSummary>& blocks) {
    std::vector<std::uint8_t> out =
        buildPxHeader(db, primaryIndexName(headerTableName(dbHeader)), dbHeader);
    const std::size_t headerSize = out.size();
    const int blockSize = db.blockSize();
    std::size_t keySize = 0;
    for (int i = 0; i < db.keyFields; ++i)
        keySize += std::size_t(db.fields[std::size_t(i)].width);
    const std::size_t entrySize = keySize + 6;
    const std::size_t perBlock = std::size_t(blockSize - 6) / entrySize;
    if (perBlock < 2)
        throw EngineError(headerTableName(dbHeader) + ": the key is too long for index blocks of " +
                          std::to_string(blockSize / 1024) + " KiB");

    Header px;
    px.indexRoot = 1;
    std::vector<Entry> level;
    for (const auto& b : blocks)
        level.push_back({b.firstKey, b.block, b.records});
    std::uint32_t nextBlock = 1;
    std::uint32_t totalEntries = 0;
    int levels = 0;
    std::vector<std::vector<std::uint8_t>> pxBlocks;
    while (!level.empty()) {
        ++levels;
        totalEntries += std::uint32_t(level.size());
        std::vector<Entry> upper;
        for (std::size_t start = 0; start < level.size(); start += perBlock) {
            std::size_t n = std::min(perBlock, level.size() - start);
            std::vector<std::uint8_t> blk(std::size_t(blockSize), 0);
            putLe16(blk.data() + 4, std::uint32_t(std::int16_t((int(n) - 1) * int(entrySize))));
            std::uint32_t sum = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const Entry& e = level[start + i];
                std::uint8_t* p = blk.data() + 6 + i * entrySize;
                std::memcpy(p, e.key.data(), std::min(e.key.size(), keySize));
                putShort(p + keySize, e.block);
                putShort(p + keySize + 2, e.count);
                putShort(p + keySize + 4, 0);
                sum += e.count;
            }
            upper.push_back({level[start].key, nextBlock++, sum});
            pxBlocks.push_back(std::move(blk));
        }
        if (upper.size() == 1) {
            px.indexRoot = std::uint16_t(upper[0].block);
            break;
        }
        level = std::move(upper);
    }
    const std::uint16_t count = std::uint16_t(pxBlocks.size());
    for (std::uint16_t i = 0; i < count; ++i) {
        putLe16(pxBlocks[i].data(), i + 1 < count ? i + 2u : 0u);
        putLe16(pxBlocks[i].data() + 2, i);
    }
    px.numRecords = totalEntries;
    px.indexLevels = std::uint8_t(levels);
    px.fileBlocks = px.nextBlock = count;
    px.firstBlock = count ? 1 : 0;
    px.lastBlock = count;
    patchCounters(out, px);
    out.reserve(headerSize + pxBlocks.size() * std::size_t(blockSize));
    for (const auto& b : pxBlocks)
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

}  // namespace orn::db::paradox
