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

namespace {
// The block number (or count) of a tree entry: a sortable short that keeps all 16 bits.
std::uint16_t entryShort(const std::uint8_t* p) {
    return std::uint16_t(((p[0] << 8) | p[1]) ^ 0x8000);
}

// Entries in a tree block of which `got` bytes were read; -1 when its header does not fit.
int entriesIn(const std::uint8_t* b, std::size_t got, const TreeLayout& t) {
    if (got < 6)
        return -1;
    const int add = std::int16_t(le16(b + 4));
    if (add < 0)
        return add == -int(t.entrySize()) ? 0 : -1;
    if (add % int(t.entrySize()) != 0)
        return -1;
    const int n = add / int(t.entrySize()) + 1;
    return 6 + std::size_t(n) * t.entrySize() <= std::min(got, std::size_t(t.blockSize)) ? n : -1;
}
}  // namespace

TreeLayout readTreeLayout(const TableFiles& files, std::size_t tree, std::size_t keySize) {
    TreeLayout t;
    std::uint8_t head[0x58];
    if (files.read(tree, 0, head, sizeof head) < sizeof head)
        return t;
    t.keySize = keySize;
    t.headerSize = le16(head + 0x02);
    t.blockSize = int(head[0x05]) * 1024;
    t.root = le16(head + 0x1E);
    t.levels = head[0x20];
    const std::uint64_t size = files.size(tree);
    if (le16(head) != keySize + 6 || t.headerSize < 0x58 || t.blockSize == 0 ||
        t.blockSize > 32 * 1024 || t.blockSize < int(2 * (keySize + 6) + 6) || t.levels > 16)
        return t;
    t.blocks = std::uint16_t(std::min<std::uint64_t>(
        size <= t.headerSize
            ? 0
            : (size - t.headerSize + std::uint64_t(t.blockSize) - 1) / std::uint64_t(t.blockSize),
        0xFFFF));
    // An empty tree has no levels (and no blocks, whatever its root says).
    if (t.levels > 0 && (t.root == 0 || t.root > t.blocks))
        return t;
    t.usable = true;
    return t;
}

bool readTreeLeaves(const TableFiles& files, std::size_t tree, const TreeLayout& t,
                    std::vector<DataBlockSummary>& out) {
    out.clear();
    if (!t.usable)
        return false;
    if (t.levels == 0)
        return true;
    const std::size_t bs = std::size_t(t.blockSize);
    std::vector<std::uint8_t> file(t.headerSize + std::size_t(t.blocks) * bs, 0);
    const std::size_t got = files.read(tree, 0, file.data(), file.size());
    const std::size_t k = t.keySize;
    std::vector<bool> seen;
    std::size_t visits = 0;
    struct Step {
        std::uint16_t block;
        int level;
    };
    std::vector<Step> todo{{t.root, t.levels}};
    while (!todo.empty()) {
        const Step step = todo.back();
        todo.pop_back();
        if (step.block == 0 || step.block > t.blocks || ++visits > t.blocks)
            return false;
        const std::size_t at = t.headerSize + std::size_t(step.block - 1) * bs;
        const std::uint8_t* b = file.data() + at;
        const int count = entriesIn(b, got > at ? std::min(bs, got - at) : 0, t);
        if (count <= 0)
            return false;
        for (int i = count - 1; step.level > 1 && i >= 0; --i)
            todo.push_back(
                {entryShort(b + 6 + std::size_t(i) * t.entrySize() + k), step.level - 1});
        if (step.level > 1)
            continue;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* e = b + 6 + std::size_t(i) * t.entrySize();
            const std::uint16_t no = entryShort(e + k);
            if (no == 0)
                return false;
            if (seen.size() <= no)
                seen.resize(std::size_t(no) + 1, false);
            if (seen[no])
                return false;
            seen[no] = true;
            std::string key(reinterpret_cast<const char*>(e), k);
            if (!out.empty() && out.back().firstKey >= key)
                return false;
            out.push_back({no, entryShort(e + k + 2), std::move(key)});
        }
    }
    return true;
}

std::uint16_t treeStartBlock(const TableFiles& files, std::size_t tree, const TreeLayout& t,
                             const std::string& low) {
    if (!t.usable || t.levels == 0 || low.size() > t.keySize)
        return 0;
    const bool wholeKey = low.size() == t.keySize;
    std::vector<std::uint8_t> buf(std::size_t(t.blockSize));
    std::uint16_t block = t.root;
    for (int level = t.levels; level >= 1; --level) {
        if (block == 0 || block > t.blocks)
            return 0;
        const std::size_t got =
            files.read(tree, t.headerSize + std::uint64_t(block - 1) * std::uint64_t(t.blockSize),
                       buf.data(), buf.size());
        const int count = entriesIn(buf.data(), got, t);
        if (count <= 0)
            return 0;
        // The last entry before the first one that may hold keys from `low` on: a whole key
        // starts in the entry whose first key is at most it, a prefix may begin in the entry
        // before the first one that starts with it.
        int lo = 0, hi = count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            const std::uint8_t* key = buf.data() + 6 + std::size_t(mid) * t.entrySize();
            const int c = std::memcmp(key, low.data(), low.size());
            if (wholeKey ? c <= 0 : c < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        const int pick = lo == 0 ? 0 : lo - 1;
        block = entryShort(buf.data() + 6 + std::size_t(pick) * t.entrySize() + t.keySize);
    }
    return block;
}

}  // namespace orn::db::paradox
