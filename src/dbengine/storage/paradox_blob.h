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

// Values shorter than this share 4 KiB blocks in 16-byte units; longer ones get blocks of
// their own.
constexpr std::uint32_t kSmallBlobLimit = 2048;

// Where blobs go in a .mb file, and where freed space returns to. The file's header lists its
// free space from byte 0x38 in 6-byte entries (kind, block offset / 256 in three bytes, amount):
// kind 2 names a block of small blobs and how many of its 16-byte units are free, kind 3 a run
// of free blocks and its length in 4 KiB chunks. New values fill those first and only then
// extend the file; freed values give their space back, and a block of small blobs whose last
// value goes becomes a free block. The list is read at the first blob write of a transaction
// and written back by save() before the transaction commits; reset() forgets it (another process
// may change the file between transactions).
class BlobSpace {
  public:
    // Stores a value and returns its pointer (length and modification number filled in).
    BlobPointer store(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                      std::uint32_t length);
    // Gives a value's space back. Damaged pointers are ignored: freeing is housekeeping.
    void release(TableFiles& files, std::size_t mb, const BlobPointer& ptr);
    void save(TableFiles& files, std::size_t mb);
    void reset() { *this = BlobSpace{}; }

  private:
    struct Entry {
        std::uint8_t kind = 0;
        std::uint32_t offset = 0;
        std::uint32_t amount = 0;
    };
    void load(TableFiles& files, std::size_t mb);
    BlobPointer storeSmall(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                           std::uint32_t length, std::uint16_t mod);
    BlobPointer storeLarge(TableFiles& files, std::size_t mb, const std::uint8_t* data,
                           std::uint32_t length, std::uint16_t mod);
    // `chunks` 4 KiB blocks from a free run, or from the end of the file.
    std::uint64_t takeBlocks(TableFiles& files, std::size_t mb, std::uint32_t chunks);
    void addFreeRun(TableFiles& files, std::size_t mb, std::uint32_t offset, std::uint32_t chunks);
    void forgetHints(std::uint32_t offset);

    bool loaded_ = false;
    bool dirty_ = false;
    std::vector<Entry> entries_;
};

}  // namespace orn::db::paradox
