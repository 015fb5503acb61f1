#include "dbengine/storage/paradox_blob.h"

#include <algorithm>
#include <cstring>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/table.h"

namespace orn::db::paradox {

namespace {
constexpr std::uint32_t kChunk = 4096;

[[noreturn]] void invalid(const std::string& label, const std::string& reason) {
    throw EngineError(label + " is not a valid Paradox table: " + reason);
}

std::uint16_t modificationCount(const TableFiles& files, std::size_t mb) {
    std::uint8_t b[2];
    files.read(mb, 3, b, 2);
    return le16(b);
}
}  // namespace

BlobPointer BlobPointer::parse(const std::uint8_t* p) {
    return BlobPointer{le32(p), le32(p + 4), le16(p + 8)};
}

void BlobPointer::store(std::uint8_t* p) const {
    putLe32(p, offsetAndIndex);
    putLe32(p + 4, length);
    putLe16(p + 8, modification);
}

std::vector<std::uint8_t> readBlob(const TableFiles& files, std::size_t mb, const BlobPointer& ptr,
                                   const std::string& label) {
    const std::uint64_t offset = ptr.offsetAndIndex & 0xFFFFFF00u;
    const unsigned index = ptr.offsetAndIndex & 0xFFu;
    if (offset == 0 || offset % kChunk != 0 || offset + kChunk > files.size(mb))
        invalid(label, "a blob pointer lies outside the blob file");
    std::uint8_t head[12];
    files.read(mb, offset, head, sizeof head);
    if (index == 0xFF) {
        if (head[0] != 2)
            invalid(label, "a blob pointer names a block that holds no blob");
        std::uint32_t len = le32(head + 3);
        std::uint64_t chunks = le16(head + 1);
        if (len != ptr.length || 9 + std::uint64_t(len) > chunks * kChunk ||
            offset + 9 + len > files.size(mb))
            invalid(label, "a blob's length disagrees with its block");
        std::vector<std::uint8_t> out(len);
        files.read(mb, offset + 9, out.data(), len);
        return out;
    }
    if (head[0] != 3)
        invalid(label, "a blob pointer names a block that holds no small blobs");
    if (index >= 64)
        invalid(label, "a blob slot number is out of range");
    std::uint8_t slot[5];
    files.read(mb, offset + 12 + 5 * index, slot, 5);
    if (slot[0] == 0 || slot[1] == 0 || slot[4] == 0 || slot[4] > 16)
        invalid(label, "a blob pointer names an empty slot");
    std::uint32_t len = (std::uint32_t(slot[1]) - 1) * 16 + slot[4];
    std::uint32_t start = std::uint32_t(slot[0]) * 16;
    if (len != ptr.length || start + len > kChunk)
        invalid(label, "a blob's length disagrees with its slot");
    std::vector<std::uint8_t> out(len);
    files.read(mb, offset + start, out.data(), len);
    return out;
}

std::vector<std::uint8_t> newBlobFileHeader() {
    std::vector<std::uint8_t> h(kChunk, 0);
    const std::uint8_t fixed[] = {0x00, 0x01, 0x00, 0x01, 0x00, 0x82, 0x73, 0x02, 0x00, 0x29, 0x00,
                                  0x00, 0x10, 0x00, 0x10, 0x00, 0x10, 0x40, 0x00, 0x00, 0x08};
    std::memcpy(h.data(), fixed, sizeof fixed);
    h[0x29] = 0xA1;
    h[0x2A] = 0x02;
    return h;
}

namespace {
constexpr std::size_t kDirectoryStart = 0x38;
constexpr std::size_t kMaxEntries = (kChunk - kDirectoryStart) / 6;
constexpr int kFirstDataUnit = 0x150 / 16;  // after the block header and the 64 slots
constexpr int kUnitsPerBlock = int(kChunk / 16);

void ensureHeader(TableFiles& files, std::size_t mb) {
    if (files.size(mb) < kChunk) {
        auto header = newBlobFileHeader();
        files.write(mb, 0, header.data(), header.size());
    }
}

std::uint16_t nextModification(TableFiles& files, std::size_t mb) {
    std::uint16_t mod = std::uint16_t(modificationCount(files, mb) + 1);
    std::uint8_t m[2];
    putLe16(m, mod);
    files.write(mb, 3, m, 2);
    return mod;
}

std::uint64_t fileEnd(const TableFiles& files, std::size_t mb) {
    return (files.size(mb) + kChunk - 1) / kChunk * kChunk;
}

void writeFreeHeader(TableFiles& files, std::size_t mb, std::uint64_t offset,
                     std::uint32_t chunks) {
    std::uint8_t h[3] = {4, 0, 0};
    putLe16(h + 1, std::min<std::uint32_t>(chunks, 0xFFFF));
    files.write(mb, offset, h, 3);
}
}  // namespace

void BlobSpace::load(TableFiles& files, std::size_t mb) {
    if (loaded_)
        return;
    loaded_ = true;
    entries_.clear();
    if (files.size(mb) < kChunk)
        return;
    std::vector<std::uint8_t> dir(kChunk - kDirectoryStart);
    files.read(mb, kDirectoryStart, dir.data(), dir.size());
    const std::uint64_t size = files.size(mb);
    for (std::size_t at = 0; at + 6 <= dir.size() && dir[at] != 0; at += 6) {
        Entry e;
        e.kind = dir[at];
        e.offset = (std::uint32_t(dir[at + 1]) | std::uint32_t(dir[at + 2]) << 8 |
                    std::uint32_t(dir[at + 3]) << 16)
                   << 8;
        e.amount = le16(dir.data() + at + 4);
        if (e.kind < 1 || e.kind > 3 || e.offset == 0 || e.offset % kChunk != 0 || e.offset >= size)
            break;  // not a list this program understands: start a fresh one
        entries_.push_back(e);
    }
}

void BlobSpace::save(TableFiles& files, std::size_t mb) {
    if (!dirty_ || files.size(mb) < kChunk)
        return;
    // Blocks of small blobs first, then the hints of other programs, then free runs.
    std::vector<Entry> sorted;
    for (std::uint8_t kind : {2, 1, 3}) {
        std::vector<Entry> some;
        for (const auto& e : entries_)
            if (e.kind == kind && e.amount > 0)
                some.push_back(e);
        std::sort(some.begin(), some.end(),
                  [](const Entry& a, const Entry& b) { return a.offset < b.offset; });
        sorted.insert(sorted.end(), some.begin(), some.end());
    }
    if (sorted.size() > kMaxEntries)
        sorted.resize(kMaxEntries);  // the rest of the space is found again by a PACK
    std::vector<std::uint8_t> dir(kChunk - kDirectoryStart, 0);
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        std::uint8_t* p = dir.data() + 6 * i;
        p[0] = sorted[i].kind;
        const std::uint32_t v = sorted[i].offset >> 8;
        p[1] = std::uint8_t(v);
        p[2] = std::uint8_t(v >> 8);
        p[3] = std::uint8_t(v >> 16);
        putLe16(p + 4, std::min<std::uint32_t>(sorted[i].amount, 0xFFFF));
    }
    files.write(mb, kDirectoryStart, dir.data(), dir.size());
    dirty_ = false;
}

void BlobSpace::forgetHints(std::uint32_t offset) {
    std::erase_if(entries_, [&](const Entry& e) { return e.kind == 1 && e.offset == offset; });
}

BlobPointer BlobSpace::store(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                             std::uint32_t length) {
    ensureHeader(files, mb);
    load(files, mb);
    const std::uint16_t mod = nextModification(files, mb);
    dirty_ = true;
    return length < kSmallBlobLimit ? storeSmall(files, mb, data, length, mod)
                                    : storeLarge(files, mb, data, length, mod);
}

std::uint64_t BlobSpace::takeBlocks(TableFiles& files, std::size_t mb, std::uint32_t chunks) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (e.kind != 3 || e.amount < chunks)
            continue;
        std::uint8_t head[3];
        if (files.read(mb, e.offset, head, 3) < 3 || head[0] != 4) {
            entries_.erase(entries_.begin() + std::ptrdiff_t(i--));  // stale: not free any more
            continue;
        }
        const std::uint64_t offset = e.offset;
        forgetHints(e.offset);
        if (e.amount > chunks) {
            e.offset += chunks * kChunk;
            e.amount -= chunks;
            writeFreeHeader(files, mb, e.offset, e.amount);
        } else {
            entries_.erase(entries_.begin() + std::ptrdiff_t(i));
        }
        return offset;
    }
    const std::uint64_t offset = fileEnd(files, mb);
    if (offset + std::uint64_t(chunks) * kChunk > 0xFFFFFF00ull || chunks > 0xFFFF)
        throw EngineError(files.path(mb).string() + " is full: a blob file holds at most 4 GB");
    return offset;
}

BlobPointer BlobSpace::storeLarge(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                                  std::uint32_t length, std::uint16_t mod) {
    const std::uint64_t chunks64 = (9 + std::uint64_t(length) + kChunk - 1) / kChunk;
    if (chunks64 > 0xFFFF)
        throw EngineError(files.path(mb).string() + " is full: a blob file holds at most 4 GB");
    const auto chunks = std::uint32_t(chunks64);
    const std::uint64_t offset = takeBlocks(files, mb, chunks);
    std::vector<std::uint8_t> block(std::size_t(chunks) * kChunk, 0);
    block[0] = 2;
    putLe16(block.data() + 1, chunks);
    putLe32(block.data() + 3, length);
    putLe16(block.data() + 7, mod);
    if (length)
        std::memcpy(block.data() + 9, data, length);
    files.write(mb, offset, block.data(), block.size());
    return BlobPointer{std::uint32_t(offset) | 0xFFu, length, mod};
}

namespace {
// The place of a value of `units` 16-byte units in a block of small blobs: a free slot and the
// first gap that holds it; false when there is none.
bool findRoom(const std::uint8_t* block, int units, int& slot, int& unit) {
    std::vector<std::pair<int, int>> used;
    slot = -1;
    for (int i = 63; i >= 0; --i) {
        const std::uint8_t* s = block + 12 + 5 * i;
        if (s[0] != 0 && s[4] != 0)
            used.emplace_back(s[0], s[0] + s[1]);
        else if (slot < 0)
            slot = i;
    }
    if (slot < 0)
        return false;
    std::sort(used.begin(), used.end());
    int start = kFirstDataUnit;
    for (const auto& [from, to] : used) {
        if (from - start >= units)
            break;
        start = std::max(start, to);
    }
    unit = start;
    return start + units <= kUnitsPerBlock;
}
}  // namespace

BlobPointer BlobSpace::storeSmall(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                                  std::uint32_t length, std::uint16_t mod) {
    const int units = int((length + 15) / 16);
    std::vector<std::uint8_t> block(kChunk);
    std::uint64_t offset = 0;
    int slot = -1, unit = 0;
    for (std::size_t i = 0; i < entries_.size() && offset == 0; ++i) {
        Entry& e = entries_[i];
        if (e.kind != 2 || e.amount < std::uint32_t(units))
            continue;
        if (files.read(mb, e.offset, block.data(), kChunk) < 12 + 5 * 64 || block[0] != 3) {
            entries_.erase(entries_.begin() + std::ptrdiff_t(i--));
            continue;
        }
        if (!findRoom(block.data(), units, slot, unit))
            continue;  // enough units, but not in one piece or no slot left
        offset = e.offset;
        e.amount -= std::uint32_t(units);
        forgetHints(e.offset);
    }
    if (offset == 0) {
        offset = takeBlocks(files, mb, 1);
        std::fill(block.begin(), block.end(), 0);
        block[0] = 3;
        block[1] = 1;
        files.write(mb, offset, block.data(), block.size());
        slot = 63;
        unit = kFirstDataUnit;
        entries_.push_back(
            {2, std::uint32_t(offset), std::uint32_t(kUnitsPerBlock - kFirstDataUnit - units)});
    }
    files.write(mb, offset + std::uint64_t(unit) * 16, data, length);
    std::uint8_t s[5] = {std::uint8_t(unit), std::uint8_t(units), 0, 0,
                         std::uint8_t(length % 16 ? length % 16 : 16)};
    putLe16(s + 2, mod);
    files.write(mb, offset + 12 + 5 * std::uint64_t(slot), s, 5);
    return BlobPointer{std::uint32_t(offset) | std::uint32_t(slot), length, mod};
}

void BlobSpace::addFreeRun(TableFiles& files, std::size_t mb, std::uint32_t offset,
                           std::uint32_t chunks) {
    forgetHints(offset);
    Entry run{3, offset, chunks};
    // Runs that touch merge into the first one (its header counts them all).
    for (std::size_t i = 0; i < entries_.size();) {
        const Entry& e = entries_[i];
        const bool before = e.kind == 3 && e.offset + e.amount * kChunk == run.offset;
        const bool after = e.kind == 3 && run.offset + run.amount * kChunk == e.offset;
        if ((before || after) && e.amount + run.amount <= 0xFFFF) {
            run.offset = std::min(run.offset, e.offset);
            run.amount += e.amount;
            entries_.erase(entries_.begin() + std::ptrdiff_t(i));
            i = 0;
            continue;
        }
        ++i;
    }
    writeFreeHeader(files, mb, run.offset, run.amount);
    entries_.push_back(run);
}

void BlobSpace::release(TableFiles& files, std::size_t mb, const BlobPointer& ptr) {
    const std::uint64_t offset = ptr.offsetAndIndex & 0xFFFFFF00u;
    const unsigned index = ptr.offsetAndIndex & 0xFFu;
    if (offset == 0 || offset % kChunk != 0 || offset + kChunk > files.size(mb))
        return;
    load(files, mb);
    std::uint8_t head[3] = {};
    files.read(mb, offset, head, 3);
    if (index == 0xFF && head[0] == 2) {
        dirty_ = true;
        addFreeRun(files, mb, std::uint32_t(offset), std::max<std::uint32_t>(le16(head + 1), 1));
    } else if (index < 64 && head[0] == 3) {
        std::vector<std::uint8_t> block(kChunk);
        files.read(mb, offset, block.data(), kChunk);
        std::uint8_t* s = block.data() + 12 + 5 * index;
        if (s[0] == 0 || s[4] == 0)
            return;
        const std::uint32_t units = s[1];
        std::memset(s, 0, 5);
        files.write(mb, offset + 12 + 5 * std::uint64_t(index), s, 5);
        dirty_ = true;
        bool empty = true;
        for (int i = 0; i < 64 && empty; ++i)
            empty = block[12 + 5 * std::size_t(i)] == 0 || block[12 + 5 * std::size_t(i) + 4] == 0;
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.kind == 2 && e.offset == offset; });
        if (empty) {
            if (it != entries_.end())
                entries_.erase(it);
            addFreeRun(files, mb, std::uint32_t(offset), 1);
        } else if (it != entries_.end()) {
            it->amount += units;
        } else {
            // A block that was full: count what is free in it now.
            std::uint32_t used = 0;
            for (int i = 0; i < 64; ++i) {
                const std::uint8_t* t = block.data() + 12 + 5 * i;
                if (t[0] != 0 && t[4] != 0)
                    used += t[1];
            }
            entries_.push_back(
                {2, std::uint32_t(offset), std::uint32_t(kUnitsPerBlock - kFirstDataUnit) - used});
        }
    }
}

}  // namespace orn::db::paradox
