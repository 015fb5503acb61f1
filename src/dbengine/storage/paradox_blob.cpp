#include "dbengine/storage/paradox_blob.h"

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

BlobPointer appendBlob(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                       std::uint32_t length) {
    if (files.size(mb) < kChunk) {
        auto header = newBlobFileHeader();
        files.write(mb, 0, header.data(), header.size());
    }
    std::uint16_t mod = std::uint16_t(modificationCount(files, mb) + 1);
    std::uint8_t m[2];
    putLe16(m, mod);
    files.write(mb, 3, m, 2);

    std::uint64_t offset = (files.size(mb) + kChunk - 1) / kChunk * kChunk;
    std::uint64_t chunks = (9 + std::uint64_t(length) + kChunk - 1) / kChunk;
    if (offset + chunks * kChunk > 0xFFFFFF00ull || chunks > 0xFFFF)
        throw EngineError(files.path(mb).string() + " is full: a blob file holds at most 4 GB");
    std::vector<std::uint8_t> block(chunks * kChunk, 0);
    block[0] = 2;
    putLe16(block.data() + 1, std::uint32_t(chunks));
    putLe32(block.data() + 3, length);
    putLe16(block.data() + 7, mod);
    if (length)
        std::memcpy(block.data() + 9, data, length);
    files.write(mb, offset, block.data(), block.size());
    return BlobPointer{std::uint32_t(offset) | 0xFFu, length, mod};
}

BlobPointer appendSmallBlob(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                            std::uint32_t length, SmallBlobSpace& space) {
    const int units = int((length + 15) / 16);
    const int firstDataUnit = 0x150 / 16;  // after the block header and the 64 slots
    if (space.block == 0 || space.nextSlot < 0 || space.nextUnit + units > int(kChunk / 16)) {
        if (files.size(mb) < kChunk) {
            auto header = newBlobFileHeader();
            files.write(mb, 0, header.data(), header.size());
        }
        std::uint64_t offset = (files.size(mb) + kChunk - 1) / kChunk * kChunk;
        if (offset + kChunk > 0xFFFFFF00ull)
            throw EngineError(files.path(mb).string() + " is full: a blob file holds at most 4 GB");
        std::vector<std::uint8_t> block(kChunk, 0);
        block[0] = 3;
        block[1] = 1;
        files.write(mb, offset, block.data(), block.size());
        space = SmallBlobSpace{offset, 63, firstDataUnit};
    }
    std::uint16_t mod = std::uint16_t(modificationCount(files, mb) + 1);
    std::uint8_t m[2];
    putLe16(m, mod);
    files.write(mb, 3, m, 2);
    files.write(mb, space.block + std::uint64_t(space.nextUnit) * 16, data, length);
    std::uint8_t slot[5] = {std::uint8_t(space.nextUnit), std::uint8_t(units), m[0], m[1],
                            std::uint8_t(length % 16 ? length % 16 : 16)};
    files.write(mb, space.block + 12 + 5 * std::uint64_t(space.nextSlot), slot, 5);
    BlobPointer ptr{std::uint32_t(space.block) | std::uint32_t(space.nextSlot), length, mod};
    space.nextUnit += units;
    --space.nextSlot;
    return ptr;
}

void freeBlob(TableFiles& files, std::size_t mb, const BlobPointer& ptr) {
    const std::uint64_t offset = ptr.offsetAndIndex & 0xFFFFFF00u;
    const unsigned index = ptr.offsetAndIndex & 0xFFu;
    if (offset == 0 || offset % kChunk != 0 || offset + kChunk > files.size(mb))
        return;
    std::uint8_t type = 0;
    files.read(mb, offset, &type, 1);
    if (index == 0xFF && type == 2) {
        std::uint8_t freeType = 4;
        files.write(mb, offset, &freeType, 1);
    } else if (index < 64 && type == 3) {
        std::uint8_t empty[5] = {0, 0, 0, 0, 0};
        files.write(mb, offset + 12 + 5 * index, empty, 5);
    }
}

}  // namespace orn::db::paradox
