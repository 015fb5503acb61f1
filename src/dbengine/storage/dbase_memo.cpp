#include "dbengine/storage/dbase_memo.h"

#include <algorithm>
#include <cstring>

namespace orn::db::dbase {

namespace {
std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
void putLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putBe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
constexpr std::uint32_t kFptBlockSize = 64;
}  // namespace

MemoFile::MemoFile(TableFiles& files, std::size_t index, MemoKind kind)
    : files_(files), index_(index), kind_(kind) {
    refresh();
}

void MemoFile::invalid(const std::string& why) const {
    throw EngineError(files_.path(index_).string() + " is damaged (not a valid memo file): " + why);
}

void MemoFile::refresh() {
    std::uint8_t h[32] = {};
    std::size_t got = files_.read(index_, 0, h, sizeof h);
    if (got == 0 && files_.size(index_) == 0) {
        // A memo file that does not exist yet (or was truncated to nothing): start afresh.
        blockSize_ = kind_ == MemoKind::Fpt ? kFptBlockSize : 512;
        nextFree_ = kind_ == MemoKind::Fpt ? 512 / blockSize_ : 1;
        return;
    }
    if (got < 24)
        invalid("its header is cut short.");
    switch (kind_) {
        case MemoKind::Dbt3:
            blockSize_ = 512;
            nextFree_ = le32(h);
            break;
        case MemoKind::Dbt4: {
            nextFree_ = le32(h);
            std::uint32_t bs = h[20] | (h[21] << 8);
            blockSize_ = bs == 0 ? 512 : bs;
            break;
        }
        case MemoKind::Fpt: {
            nextFree_ = be32(h);
            blockSize_ = (h[6] << 8) | h[7];
            if (blockSize_ == 0)
                invalid("its block size is 0.");
            break;
        }
        case MemoKind::None:
            break;
    }
}

std::vector<std::uint8_t> MemoFile::read(std::uint32_t block) const {
    const std::uint64_t size = files_.size(index_);
    const std::uint64_t start = std::uint64_t{block} * blockSize_;
    if (block == 0 || start >= size) {
        invalid("memo block " + std::to_string(block) + " lies outside the file.");
    }
    std::vector<std::uint8_t> out;
    auto scanToEof = [&](std::uint64_t from) {
        std::uint8_t chunk[512];
        for (std::uint64_t pos = from; pos < size;) {
            std::size_t n = files_.read(index_, pos, chunk, sizeof chunk);
            if (n == 0)
                break;
            auto* end = std::find(chunk, chunk + n, std::uint8_t{0x1A});
            out.insert(out.end(), chunk, end);
            if (end != chunk + n)
                break;
            pos += n;
        }
    };
    if (kind_ == MemoKind::Dbt3) {
        scanToEof(start);
        return out;
    }
    std::uint8_t head[8];
    if (files_.read(index_, start, head, 8) < 8)
        invalid("a memo header is cut short.");
    std::uint64_t len = 0;
    std::uint64_t dataStart = start + 8;
    if (kind_ == MemoKind::Dbt4) {
        if (!(head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00)) {
            scanToEof(start);  // written the dBASE III way
            return out;
        }
        len = le32(head + 4);
        if (len < 8)
            invalid("memo block " + std::to_string(block) + " has a bad length.");
        len -= 8;
    } else {
        len = be32(head + 4);
    }
    if (len > size - std::min(size, dataStart)) {
        invalid("the memo at block " + std::to_string(block) + " runs past the end of the file.");
    }
    out.resize(static_cast<std::size_t>(len));
    files_.read(index_, dataStart, out.data(), out.size());
    return out;
}

namespace {
// The bytes a memo takes in the file: its block header (if any), the data and its terminator.
std::vector<std::uint8_t> memoBytes(MemoKind kind, const std::uint8_t* data, std::size_t len,
                                    std::uint32_t fptType) {
    std::vector<std::uint8_t> bytes;
    switch (kind) {
        case MemoKind::Dbt3:
            if (std::find(data, data + len, std::uint8_t{0x1A}) != data + len) {
                throw EngineError("A dBASE III memo cannot contain the character 0x1A.");
            }
            bytes.assign(data, data + len);
            bytes.push_back(0x1A);
            bytes.push_back(0x1A);
            break;
        case MemoKind::Dbt4:
            bytes.resize(8 + len);
            putLe32(bytes.data(), 0x0008FFFFu);
            putLe32(bytes.data() + 4, static_cast<std::uint32_t>(len + 8));
            std::copy_n(data, len, bytes.begin() + 8);
            break;
        case MemoKind::Fpt:
            bytes.resize(8 + len);
            putBe32(bytes.data(), fptType);
            putBe32(bytes.data() + 4, static_cast<std::uint32_t>(len));
            std::copy_n(data, len, bytes.begin() + 8);
            break;
        case MemoKind::None:
            throw EngineError("The table has no memo file.");
    }
    return bytes;
}
}  // namespace

std::uint32_t MemoFile::replace(std::uint32_t block, const std::uint8_t* data, std::size_t len,
                                std::uint32_t fptType) {
    std::uint64_t held = 0;  // bytes of the old memo, header and terminator included
    try {
        std::vector<std::uint8_t> old = read(block);
        std::uint8_t head[8] = {};
        files_.read(index_, std::uint64_t{block} * blockSize_, head, 8);
        const bool dbt4Header = head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08;
        held = kind_ == MemoKind::Dbt3 || (kind_ == MemoKind::Dbt4 && !dbt4Header) ? old.size() + 2
                                                                                   : old.size() + 8;
    } catch (const EngineError&) {
        return append(data, len, fptType);  // a broken old memo is simply replaced
    }
    std::vector<std::uint8_t> bytes = memoBytes(kind_, data, len, fptType);
    const std::uint64_t blocks = (held + blockSize_ - 1) / blockSize_;
    if (bytes.size() > blocks * blockSize_)
        return append(data, len, fptType);
    files_.write(index_, std::uint64_t{block} * blockSize_, bytes.data(), bytes.size());
    return block;
}

std::uint32_t MemoFile::append(const std::uint8_t* data, std::size_t len, std::uint32_t fptType) {
    const std::uint64_t size = files_.size(index_);
    if (size == 0) {
        auto header = emptyFile(kind_, files_.path(index_).stem().string());
        files_.write(index_, 0, header.data(), header.size());
        refresh();
    }
    // New memos go at the end of the file. The next-free pointer of the header is only
    // rewritten; it may be stale or, in a damaged file, point far beyond the end.
    std::uint64_t firstFree = (files_.size(index_) + blockSize_ - 1) / blockSize_;
    std::uint64_t minimum = kind_ == MemoKind::Fpt ? (512 + blockSize_ - 1) / blockSize_ : 1;
    std::uint64_t block = std::max(firstFree, minimum);

    std::vector<std::uint8_t> bytes = memoBytes(kind_, data, len, fptType);
    std::uint64_t blocks = (bytes.size() + blockSize_ - 1) / blockSize_;
    bytes.resize(blocks * blockSize_, 0);
    // Records point at memos by a 32-bit block number.
    if (block + blocks > 0xFFFFFFFFu)
        throw EngineError(files_.path(index_).string() +
                          " is full: a memo file holds at most 4294967295 blocks of " +
                          std::to_string(blockSize_) + (blockSize_ == 1 ? " byte." : " bytes."));
    files_.write(index_, block * blockSize_, bytes.data(), bytes.size());
    nextFree_ = static_cast<std::uint32_t>(block + blocks);
    std::uint8_t next[4];
    if (kind_ == MemoKind::Fpt) {
        putBe32(next, nextFree_);
    } else {
        putLe32(next, nextFree_);
    }
    files_.write(index_, 0, next, 4);
    return static_cast<std::uint32_t>(block);
}

std::vector<std::uint8_t> MemoFile::emptyFile(MemoKind kind, const std::string& stem,
                                              std::uint32_t blockSize) {
    std::vector<std::uint8_t> h(512, 0);
    switch (kind) {
        case MemoKind::Dbt3:
            putLe32(h.data(), 1);
            h[16] = 0x03;
            break;
        case MemoKind::Dbt4: {
            putLe32(h.data(), 1);
            for (std::size_t i = 0; i < 8 && i < stem.size(); ++i) {
                char c = stem[i];
                h[8 + i] = static_cast<std::uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            }
            h[18] = 0x02;
            h[19] = 0x01;
            h[20] = 512 & 0xFF;
            h[21] = 512 >> 8;
            break;
        }
        case MemoKind::Fpt: {
            const std::uint32_t size = blockSize ? blockSize : kFptBlockSize;
            putBe32(h.data(), (512 + size - 1) / size);
            h[6] = static_cast<std::uint8_t>(size >> 8);
            h[7] = static_cast<std::uint8_t>(size);
            break;
        }
        case MemoKind::None:
            break;
    }
    return h;
}

}  // namespace orn::db::dbase
