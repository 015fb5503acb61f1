#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/dbase_codec.h"
#include "dbengine/storage/dbase_header.h"
#include "dbengine/storage/dbase_memo.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/table_files.h"

namespace orn::db::dbase {

// A dBASE III/IV/7, FoxPro or Visual FoxPro table. RecordId is the record number (1-based);
// deleted records keep their number and are skipped by cursors.
class DBaseTable final : public Table {
  public:
    // `codePage`: iconv name used when the table does not state one (language driver 0).
    DBaseTable(const std::filesystem::path& file, OpenMode mode, const std::string& codePage = {});

    TableFormat format() const override { return TableFormat::DBase; }
    const std::filesystem::path& path() const override { return path_; }
    const std::vector<Field>& fields() const override { return fields_; }
    int keyFieldCount() const override { return 0; }
    int version() const override { return header_.version; }  // the version byte
    std::uint64_t recordCount() const override;               // live records
    std::uint64_t recordCountBound() const override;          // records, deleted ones too

    std::unique_ptr<TableCursor> scan() override;
    std::unique_ptr<TableCursor> range(const Record& low, bool lowInclusive, const Record& high,
                                       bool highInclusive) override;
    Record read(RecordId id) override;
    void endRead() override { files_.endRead(); }

    void begin() override;
    void commit() override;
    void rollback() override;
    RecordId insert(const Record& record) override;
    void update(RecordId id, const Record& record) override;
    void remove(RecordId id) override;

    const std::string& codePage() const override { return codePage_.name(); }
    const std::string& damage() const override { return damage_; }
    std::uint8_t languageDriver() const { return header_.languageDriver; }
    // Records in the file, deleted ones included.
    std::uint64_t slotCount() const { return slots_; }
    bool isDeleted(RecordId id);

    // Used by the cursor.
    Value decodeField(std::size_t visibleIndex, const std::uint8_t* rec);
    bool plainText(std::size_t visibleIndex, const std::uint8_t* rec, std::string_view& out) const;
    std::size_t recordLength() const { return header_.recordLength; }
    std::uint64_t recordOffset(std::uint64_t index) const {
        return header_.headerLength + index * header_.recordLength;
    }
    TableFiles& files() { return files_; }
    // The header as it is in the file, and the first 512 bytes of the memo file (empty without).
    std::vector<std::uint8_t> headerBytes();
    std::vector<std::uint8_t> memoHeaderBytes();
    void refresh();  // re-reads the header when no transaction runs
    // Reads every whole record the file holds, whatever its header counts, and forgets that the
    // count disagreed: a PACK then keeps them all (the repair of such a table). Exclusive opens.
    void takeEveryWholeRecord();
    // Counts the times another process's commit was noticed: cursors then re-read.
    std::uint64_t generation() const { return generation_; }

  private:
    void loadHeader();
    void readRecord(RecordId id, std::vector<std::uint8_t>& rec);
    void encodeRecord(const Record& record, std::vector<std::uint8_t>& rec,
                      const std::uint8_t* old);
    void writeHeaderFields();
    void prepareWrite();
    void markDamaged(const std::string& what);
    // The records to read in a main file of `fileSize` bytes; notes the damage when the header's
    // count and the file disagree.
    std::uint64_t slotsIn(std::uint64_t fileSize);
    void finish(WriteScope& scope);

    std::filesystem::path path_;
    std::string fallbackCodePage_;
    TableFiles files_;
    DbfHeader header_;
    CodePage codePage_;
    std::unique_ptr<RecordCodec> codec_;
    std::unique_ptr<MemoFile> memo_;
    std::vector<Field> fields_;
    std::vector<std::size_t> visible_;  // index into header_.fields of each field in fields_
    std::uint64_t slots_ = 0;
    mutable std::optional<std::uint64_t> liveCount_;
    mutable std::pair<std::uint64_t, std::int64_t> liveStamp_;  // the file when it was counted
    mutable std::int64_t liveCountedAt_ = 0;                    // ns since the epoch
    std::string damage_;             // see Table::damage; once set it stays for this open table
    bool everyWholeRecord_ = false;  // see takeEveryWholeRecord
    bool countDamaged_ = false;      // damage_ is the header's record count disagreeing
    bool headerDirty_ = false;
    bool indexFlagsCleared_ = false;
    std::uint64_t generation_ = 0;
};

}  // namespace orn::db::dbase
