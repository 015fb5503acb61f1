#pragma once

// The .mb file that holds blob field values too long for their leader in the record.

#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/storage/table_files.h"

namespace orn::db::paradox {

// The 10 bytes that end every blob field in a record.
struct BlobPointer {
    std::uint32_t offsetAndIndex = 0;  // block offset | slot index (0xFF: a whole block)
    std::uint32_t length = 0;
    std::uint16_t modification = 0;

    static BlobPointer parse(const std::uint8_t* tenBytes);
    void store(std::uint8_t* tenBytes) const;
};

// Reads the value of a blob whose pointer does not fit the leader. Throws EngineError
// "<label> is not a valid Paradox table: ..." when the pointer or the block is damaged.
std::vector<std::uint8_t> readBlob(const TableFiles& files, std::size_t mb, const BlobPointer& ptr,
                                   const std::string& label);

// The 4096-byte header block of a new .mb file.
std::vector<std::uint8_t> newBlobFileHeader();

// Where small blobs of this table object go next: a sub-allocated block with free slots.
struct SmallBlobSpace {
    std::uint64_t block = 0;  // offset of the block, 0 = none yet
    int nextSlot = -1;        // slots are handed out from 63 downwards
    int nextUnit = 0;         // next free 16-byte unit of the block
};

// Values shorter than this share 4 KiB blocks in 16-byte units; longer ones get blocks of
// their own.
constexpr std::uint32_t kSmallBlobLimit = 2048;

// Stores a value shorter than kSmallBlobLimit in a sub-allocated block (a new one when `space`
// has no room left) and returns its pointer.
BlobPointer appendSmallBlob(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                            std::uint32_t length, SmallBlobSpace& space);

// Stores a value at the end of the .mb file and returns its pointer (length and modification
// number filled in).
BlobPointer appendBlob(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                       std::uint32_t length);
// Marks the space of a blob as free. Damaged pointers are ignored: freeing is housekeeping.
void freeBlob(TableFiles& files, std::size_t mb, const BlobPointer& ptr);

}  // namespace orn::db::paradox
