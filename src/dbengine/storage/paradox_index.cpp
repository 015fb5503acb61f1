#include "dbengine/storage/paradox_index.h"

#include <algorithm>
#include <cstring>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/table_files.h"

namespace orn::db::paradox {

namespace {
struct Entry {
    std::string key;
    std::uint32_t block;
    std::uint32_t count;
};
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
    level.reserve(blocks.size());
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
                putIndexShort(p + keySize, e.block);
                putIndexShort(p + keySize + 2, e.count);
                putIndexShort(p + keySize + 4, 0);
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

int recordsInBlock(const std::uint8_t* buf, std::size_t got, int size, int recordSize) {
    if (got < 6)
        return -1;
    int add = std::int16_t(le16(buf + 4));
    int count;
    if (add < 0) {
        // Blocks larger than 32 KiB would need the unsigned reading; empty blocks say -recordSize.
        count = add == -recordSize || size <= 32767 ? 0 : (le16(buf + 4) / recordSize) + 1;
    } else {
        count = add / recordSize + 1;
    }
    if (count > (size - 6) / recordSize)
        return -1;
    if (count > 0 && 6 + std::size_t(count) * std::size_t(recordSize) > got)
        return -1;
    return count;
}

std::optional<IndexTree> readIndexTree(const TableFiles& files, std::size_t file, std::uint8_t type,
                                       std::size_t keySize) {
    std::uint8_t head[0x58];
    if (files.read(file, 0, head, sizeof head) < sizeof head)
        return std::nullopt;
    IndexTree t;
    t.file = file;
    t.keySize = keySize;
    t.headerSize = le16(head + 0x02);
    t.blockSize = int(head[0x05]) * 1024;
    t.root = le16(head + 0x1E);
    t.levels = head[0x20];
    const std::uint64_t size = files.size(file);
    if (head[0x04] != type || le16(head) != keySize + 6 || t.headerSize < 0x58 ||
        t.blockSize == 0 || t.blockSize > 32 * 1024 || t.blockSize < int(2 * (keySize + 6) + 6) ||
        t.levels < 1 || t.levels > 16 || size <= t.headerSize)
        return std::nullopt;
    t.blocks = std::uint16_t(std::min<std::uint64_t>(
        (size - t.headerSize + std::uint64_t(t.blockSize) - 1) / std::uint64_t(t.blockSize),
        0xFFFF));
    if (t.root == 0 || t.root > t.blocks)
        return std::nullopt;
    return t;
}

void putIndexShort(std::uint8_t* p, std::uint64_t v) {
    putSortableInt(p, 2, std::int64_t(std::min<std::uint64_t>(v, 0xFFFF)));
}

std::uint16_t indexEntryBlock(const std::uint8_t* p) {
    return std::uint16_t(((p[0] << 8) | p[1]) ^ 0x8000);
}

std::uint16_t descendIndexTree(const TableFiles& files, const IndexTree& tree,
                               std::string_view low) {
    const std::size_t entry = tree.keySize + 6;
    const bool wholeKey = low.size() == tree.keySize;
    std::vector<std::uint8_t> buf(std::size_t(tree.blockSize));
    std::uint16_t block = tree.root;
    for (int level = tree.levels; level >= 1; --level) {
        if (block == 0 || block > tree.blocks)
            return 0;
        const std::size_t got =
            files.read(tree.file, indexBlockOffset(tree, block), buf.data(), buf.size());
        const int count = recordsInBlock(buf.data(), got, tree.blockSize, int(entry));
        if (count <= 0)
            return 0;
        // The last entry before the first one that may hold keys from `low` on: a whole key
        // starts in the entry whose first key is at most it, a prefix may begin in the entry
        // before the first one that starts with it.
        int lo = 0, hi = count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            const std::uint8_t* k = buf.data() + 6 + std::size_t(mid) * entry;
            const int c = std::memcmp(k, low.data(), low.size());
            if (wholeKey ? c <= 0 : c < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        const int pick = lo == 0 ? 0 : lo - 1;
        block = indexEntryBlock(buf.data() + 6 + std::size_t(pick) * entry + tree.keySize);
    }
    return block;
}

bool readTreeLeaves(const TableFiles& files, const IndexTree& tree,
                    std::vector<DataBlockSummary>& out) {
    out.clear();
    const std::size_t bs = std::size_t(tree.blockSize), k = tree.keySize, entry = k + 6;
    std::vector<std::uint8_t> file(tree.headerSize + std::size_t(tree.blocks) * bs, 0);
    const std::size_t got = files.read(tree.file, 0, file.data(), file.size());
    // At most one entry per index entry slot: one allocation instead of a doubling series.
    out.reserve(std::min(got, file.size()) / entry);
    std::vector<bool> seen;
    std::size_t visits = 0;
    // Depth first from the root, keeping the entries of the lowest level in order.
    struct Step {
        std::uint16_t block;
        int level;
    };
    std::vector<Step> todo{{tree.root, tree.levels}};
    while (!todo.empty()) {
        const Step step = todo.back();
        todo.pop_back();
        if (step.block == 0 || step.block > tree.blocks || ++visits > tree.blocks)
            return false;
        const std::size_t at = tree.headerSize + std::size_t(step.block - 1) * bs;
        const std::uint8_t* b = file.data() + at;
        const int count =
            recordsInBlock(b, got > at ? std::min(bs, got - at) : 0, tree.blockSize, int(entry));
        if (count < 0 || (count == 0 && step.level > 1))
            return false;
        if (step.level > 1) {
            for (int i = count - 1; i >= 0; --i)
                todo.push_back(
                    {indexEntryBlock(b + 6 + std::size_t(i) * entry + k), step.level - 1});
            continue;
        }
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* e = b + 6 + std::size_t(i) * entry;
            const std::uint16_t no = indexEntryBlock(e + k);
            if (no == 0)
                return false;
            if (seen.size() <= no)
                seen.resize(std::size_t(no) + 1, false);
            if (seen[no])
                return false;
            seen[no] = true;
            out.push_back(
                {no, indexEntryBlock(e + k + 2), std::string(reinterpret_cast<const char*>(e), k)});
        }
    }
    return true;
}

}  // namespace orn::db::paradox
