#include "dbengine/storage/paradox_index_path.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/table_files.h"

namespace orn::db::paradox {

namespace {
// Counts are shorts: a sum of 65,535 or more is stored as 65,535, which therefore says only "at
// least that many". Such a count is kept as kAtLeastLimit, and so is any sum that includes one.
constexpr std::uint64_t kCountLimit = 0xFFFF;
constexpr std::uint64_t kAtLeastLimit = ~std::uint64_t{0};
constexpr std::size_t kHeadSize = 0x58;

std::uint64_t plus(std::uint64_t a, std::uint64_t b) {
    return a == kAtLeastLimit || b == kAtLeastLimit ? kAtLeastLimit : a + b;
}

std::uint64_t stored(std::uint64_t count) {
    return std::min(count, kCountLimit);
}

// The links of block `no` added at the end of the file: no next yet, the last one before it.
std::array<std::uint8_t, 4> newLink(std::uint16_t no) {
    std::array<std::uint8_t, 4> link{};
    putLe16(link.data() + 2, no - 1u);
    return link;
}
}  // namespace

std::optional<IndexPath> IndexPath::find(const TableFiles& files, const IndexTree& tree,
                                         std::string_view firstKey, std::uint16_t block,
                                         int records, std::uint64_t total) {
    const std::size_t k = tree.keySize, entry = k + 6;
    if (firstKey.size() != k || records < 0)
        return std::nullopt;
    IndexPath path;
    path.keySize_ = k;
    path.blockSize_ = tree.blockSize;
    path.blocksInFile_ = tree.blocks;
    path.head_.resize(kHeadSize);
    if (files.read(tree.file, 0, path.head_.data(), kHeadSize) < kHeadSize)
        return std::nullopt;
    std::vector<std::uint8_t> buf(std::size_t(tree.blockSize));
    std::uint16_t at = tree.root;
    for (int level = tree.levels; level >= 1; --level) {
        if (at == 0 || at > tree.blocks)
            return std::nullopt;
        const std::size_t got =
            files.read(tree.file, indexBlockOffset(tree, at), buf.data(), buf.size());
        const int count = recordsInBlock(buf.data(), got, tree.blockSize, int(entry));
        if (count <= 0)
            return std::nullopt;
        Node n;
        n.no = at;
        std::memcpy(n.link, buf.data(), 4);
        n.pick = -1;
        std::uint64_t sum = 0;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* e = buf.data() + 6 + std::size_t(i) * entry;
            Entry x;
            x.key.assign(reinterpret_cast<const char*>(e), k);
            x.block = indexEntryBlock(e + k);
            x.count = indexEntryBlock(e + k + 2);
            if (x.count >= kCountLimit)
                x.count = kAtLeastLimit;
            std::memcpy(x.extra, e + k + 4, 2);
            sum = plus(sum, x.count);
            if (std::memcmp(e, firstKey.data(), k) <= 0)
                n.pick = i;
            n.entries.push_back(std::move(x));
        }
        if (n.pick < 0)
            return std::nullopt;
        if (path.nodes_.empty()) {
            if (sum == kAtLeastLimit ? total < kCountLimit : sum != total)
                return std::nullopt;
        } else {
            const Entry& above = path.nodes_.back().entries[std::size_t(path.nodes_.back().pick)];
            if (stored(above.count) != stored(sum) || above.key != n.entries.front().key)
                return std::nullopt;
        }
        const Entry& taken = n.entries[std::size_t(n.pick)];
        at = taken.block;
        if (level == 1 &&
            (at != block || taken.count != std::uint64_t(records) || taken.key != firstKey))
            return std::nullopt;
        path.nodes_.push_back(std::move(n));
    }
    return path;
}

void IndexPath::setRecords(int records) {
    Node& leaf = nodes_.back();
    leaf.entries[std::size_t(leaf.pick)].count = std::uint64_t(records);
}

void IndexPath::setFirstKey(std::string_view key) {
    Node& leaf = nodes_.back();
    leaf.entries[std::size_t(leaf.pick)].key.assign(key);
}

void IndexPath::addBehind(std::string_view firstKey, std::uint16_t block, int records) {
    Node& leaf = nodes_.back();
    Entry e;
    e.key.assign(firstKey);
    e.block = block;
    e.count = std::uint64_t(records);
    leaf.entries.insert(leaf.entries.begin() + leaf.pick + 1, std::move(e));
    added_ = true;
}

bool IndexPath::mayGrow() const {
    // New blocks go at the end of the file, behind the last in allocation order, which the
    // header names.
    const std::uint16_t blocks = le16(head_.data() + 0x0C);
    return blocks == blocksInFile_ && le16(head_.data() + 0x0A) == blocks &&
           le16(head_.data() + 0x10) == blocks && blocks < 0xFFFF - 16;
}

bool IndexPath::mayRemove() const {
    return nodes_.back().entries.size() > 1;
}

void IndexPath::remove() {
    Node& leaf = nodes_.back();
    leaf.entries.erase(leaf.entries.begin() + leaf.pick);
    removed_ = true;
}

std::vector<std::uint8_t> IndexPath::blockBytes(const std::vector<Entry>& entries, int from, int to,
                                                const std::uint8_t* link) const {
    const std::size_t entry = keySize_ + 6;
    std::vector<std::uint8_t> out(std::size_t(blockSize_), 0);
    std::memcpy(out.data(), link, 4);
    putLe16(out.data() + 4, std::uint32_t(std::uint16_t((to - from - 1) * int(entry))));
    for (int i = from; i < to; ++i) {
        const Entry& e = entries[std::size_t(i)];
        std::uint8_t* p = out.data() + 6 + std::size_t(i - from) * entry;
        std::memcpy(p, e.key.data(), keySize_);
        putIndexShort(p + keySize_, e.block);
        putIndexShort(p + keySize_ + 2, e.count);
        std::memcpy(p + keySize_ + 4, e.extra, 2);
    }
    return out;
}

void IndexPath::write(TableFiles& files, IndexTree& tree) {
    const int perBlock = (blockSize_ - 6) / int(keySize_ + 6);
    const std::uint16_t lastBefore = le16(head_.data() + 0x0C);
    std::uint16_t last = lastBefore;
    std::int64_t entriesAdded = (added_ ? 1 : 0) - (removed_ ? 1 : 0);
    std::map<std::uint16_t, std::vector<std::uint8_t>> out;
    auto sumOf = [](const std::vector<Entry>& v, std::size_t from, std::size_t to) {
        std::uint64_t s = 0;
        for (std::size_t i = from; i < to; ++i)
            s = plus(s, v[i].count);
        return s;
    };

    // From the lowest level up: each block takes what changed below it, and a block with more
    // entries than fit splits, handing its second part to the level above.
    std::optional<Entry> right;  // the second part of the block below, when it split
    Entry left;                  // the block below (its first part when it split)
    for (std::size_t level = nodes_.size(); level-- > 0;) {
        Node& n = nodes_[level];
        if (level + 1 < nodes_.size()) {
            Entry& e = n.entries[std::size_t(n.pick)];
            e.key = left.key;
            e.count = left.count;
            if (right)
                n.entries.insert(n.entries.begin() + n.pick + 1, *right);
        }
        const int size = int(n.entries.size());
        if (size <= perBlock) {
            out[n.no] = blockBytes(n.entries, 0, size, n.link);
            left = {n.entries.front().key, n.no, sumOf(n.entries, 0, std::size_t(size)), {0, 0}};
            right.reset();
            continue;
        }
        // Entries that arrive behind the last one (keys added in order) leave the block full.
        const int cut = n.pick + 2 == size ? size - 1 : size / 2;
        out[n.no] = blockBytes(n.entries, 0, cut, n.link);
        const std::uint16_t tail = ++last;
        out[tail] = blockBytes(n.entries, cut, size, newLink(tail).data());
        left = {n.entries.front().key, n.no, sumOf(n.entries, 0, std::size_t(cut)), {0, 0}};
        right = Entry{n.entries[std::size_t(cut)].key,
                      tail,
                      sumOf(n.entries, std::size_t(cut), std::size_t(size)),
                      {0, 0}};
        ++entriesAdded;
    }
    if (right) {
        // The root split: a new root above both parts.
        const std::uint16_t root = ++last;
        out[root] = blockBytes({left, *right}, 0, 2, newLink(root).data());
        tree.root = root;
        ++tree.levels;
        ++entriesAdded;  // the split counted one entry of the two
    }

    // New blocks follow the last one in the chain of all blocks.
    std::vector<std::pair<std::uint64_t, std::uint16_t>> links;
    for (std::uint16_t no = lastBefore + 1u; no <= last; ++no) {
        const std::uint16_t prev = no - 1u;
        auto it = out.find(prev);
        if (it != out.end())
            putLe16(it->second.data(), no);
        else
            links.emplace_back(indexBlockOffset(tree, prev), no);
    }
    for (const auto& [no, bytes] : out)
        files.write(tree.file, indexBlockOffset(tree, no), bytes.data(), bytes.size());
    for (const auto& [offset, no] : links) {
        std::uint8_t p[2];
        putLe16(p, no);
        files.write(tree.file, offset, p, 2);
    }

    const std::vector<std::uint8_t> before = head_;
    std::uint8_t* h = head_.data();
    putLe32(h + 0x06, std::uint32_t(std::int64_t(le32(h + 0x06)) + entriesAdded));
    if (last != lastBefore) {
        putLe16(h + 0x0A, last);
        putLe16(h + 0x0C, last);
        putLe16(h + 0x10, last);
        putLe16(h + 0x3A, last);
        tree.blocks = last;
    }
    putLe16(h + 0x1E, tree.root);
    h[0x20] = std::uint8_t(tree.levels);
    if (head_ != before)
        files.write(tree.file, 0, head_.data(), head_.size());
}

}  // namespace orn::db::paradox
