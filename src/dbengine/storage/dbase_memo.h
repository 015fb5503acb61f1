#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/storage/dbase_header.h"
#include "dbengine/storage/table_files.h"

namespace orn::db::dbase {

// The memo file of a dBASE or FoxPro table (.dbt or .fpt), one of the table's TableFiles.
// New memos are appended; a changed memo is written over the old one when it fits the blocks
// that one holds, else it gets new blocks (the old ones are left until the table is packed).
class MemoFile {
  public:
    MemoFile(TableFiles& files, std::size_t index, MemoKind kind);

    // Reads the header again (after begin(): another process may have appended).
    void refresh();
    // The bytes of the memo starting at `block`. Throws EngineError
    // "<memo file> is not a valid memo file: ..." when the block or its length is impossible.
    std::vector<std::uint8_t> read(std::uint32_t block) const;
    // Appends a memo inside a transaction and returns its first block. `fptType` is FoxPro's
    // block type: 1 text, 0 picture/binary, 2 object.
    std::uint32_t append(const std::uint8_t* data, std::size_t len, std::uint32_t fptType);

    // Writes a changed memo over the one at `block` when it fits the blocks that one holds, and
    // returns `block`; otherwise appends it. Inside a transaction.
    std::uint32_t replace(std::uint32_t block, const std::uint8_t* data, std::size_t len,
                          std::uint32_t fptType);

    MemoKind kind() const { return kind_; }
    std::uint32_t blockSize() const { return blockSize_; }
    std::size_t fileIndex() const { return index_; }

    // The header of an empty memo file of that kind for table `stem`; `blockSize` 0 takes the
    // kind's default (512 for .dbt, 64 for .fpt).
    static std::vector<std::uint8_t> emptyFile(MemoKind kind, const std::string& stem,
                                               std::uint32_t blockSize = 0);

  private:
    [[noreturn]] void invalid(const std::string& why) const;

    TableFiles& files_;
    std::size_t index_;
    MemoKind kind_;
    std::uint32_t blockSize_ = 512;
    std::uint32_t nextFree_ = 1;
};

}  // namespace orn::db::dbase
