#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "dbengine/storage/field.h"
#include "dbengine/storage/value.h"

namespace orn::db {

// Every storage failure is an EngineError whose what() is the text shown to the user.
class EngineError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
// A write that would give a keyed table two records with the same key. what() is exactly
// "Key violation.".
class KeyViolation : public EngineError {
  public:
    KeyViolation() : EngineError("Key violation.") {}
};

enum class TableFormat { Paradox, DBase };
enum class OpenMode {
    Shared,     // reading and writing; other processes may hold the table open too
    Exclusive,  // fails when any other process holds the table open
    ReadOnly,
};

// Identity of a record for the lifetime of one open Table object: it survives this object's own
// inserts, updates and deletes of other records (key-order moves included), so that a caller can
// collect identities first and change those records afterwards.
using RecordId = std::uint64_t;

// Walks the live records in table order: key order for keyed tables, file order otherwise.
// A cursor reads through a bounded window of the file; it never loads the whole table.
class TableCursor {
  public:
    virtual ~TableCursor() = default;
    virtual bool next() = 0;  // false at the end
    virtual RecordId id() const = 0;
    virtual const Value& value(std::size_t field) = 0;  // blobs are read only when asked for
    // The stored bytes of a text field of the current record, when they are its value as they
    // stand (plain ASCII, not empty): no Value need be made. Valid until next(). False when the
    // value must come from value().
    virtual bool plainText(std::size_t /*field*/, std::string_view& /*out*/) { return false; }
};

// What a table built to replace another (a restructure, an answer saved over a table) keeps of
// the one it replaces: the bytes of its file header and memo file header, and for each new field
// the index of the old field it continues (-1: a field of its own). Header values the new layout
// does not decide (sort order, block size, counters, field ids, language driver, memo block size)
// are taken from these bytes.
struct CarriedHeader {
    TableFormat format = TableFormat::Paradox;
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> memoHeader;
    std::vector<std::uint8_t> indexHeader;  // Paradox: the primary index's (.px), if any
    std::vector<int> fieldSources;
};

struct TableCreate {
    std::vector<Field> fields;
    int keyFields = 0;       // Paradox: the first N fields form the primary key
    int version = 0;         // 0: the format's default (Paradox 7, dBASE III + .dbt)
    std::string codePage;    // iconv name; empty: the format's default
    std::string headerName;  // Paradox: the table name the header records; empty: the file's
    // Paradox: bytes per block (1024, 2048, 4096, 16384 or 32768; the larger two from version 5
    // on); 0: 4096, or the smallest larger size that holds a record.
    int blockSize = 0;
    std::shared_ptr<const CarriedHeader> carried;  // null for a table of its own
};

// The block sizes of Paradox tables, smallest first.
inline constexpr int kParadoxBlockSizes[] = {1024, 2048, 4096, 16384, 32768};
inline bool isParadoxBlockSize(int bytes) {
    for (int b : kParadoxBlockSizes)
        if (b == bytes)
            return true;
    return false;
}
// The block size new Paradox tables get when their layout names none (0: 4 KiB, or a larger one
// when a record needs it). A size the table's level does not have, or whose blocks would not
// hold a record, is passed over for that table. Set once from the settings.
void setDefaultParadoxBlockSize(int bytes);
int defaultParadoxBlockSize();
// The block size a new Paradox table with this layout needs to hold `records` records: the
// layout's own (or the default) when that is large enough, else the smallest larger one that
// is; the largest when none is.
int paradoxBlockSizeFor(const TableCreate& layout, std::uint64_t records);

// What a write to a damaged table (see Table::damage) is refused with, and what a reader of it
// is told once.
std::string damagedRefusal(const std::filesystem::path& file, const std::string& damage);
std::string damagedWarning(const std::filesystem::path& file, const std::string& damage);

// Records for a keyed table taken in any order and stored in key order (an import of rows in no
// particular order): every block is then written about once, where storing them as they came
// would write most blocks again for every few records. While the records come in key order they
// are stored as they are taken; from the first that does not, they are kept (sorted in bounded
// runs) and stored afterwards. Either way the table ends as storing them one by one as they came
// leaves it: of records with equal keys the one taken first is kept. Made by
// Table::sortedInsert().
class SortedInsert {
  public:
    virtual ~SortedInsert() = default;
    // Takes a record and a note of the caller's (at most 65535 bytes) that comes back with it.
    // True when it was stored at once, as Table::insert() stores it (KeyViolation on a duplicate
    // key; in the table's open transaction or one of its own). False when it was kept: then
    // it and every later record are kept, their keys checked only when stored, and no lock of
    // the table is taken. Throws what insert() throws for values the table cannot take.
    virtual bool add(const Record& record, std::string_view note) = 0;
    // Records kept so far.
    virtual std::uint64_t count() const = 0;
    // Moves to the next kept record in key order (the first call ends taking records); false at
    // the end.
    virtual bool next() = 0;
    virtual std::string_view note() const = 0;
    // Stores the current record as Table::insert() does (KeyViolation on a duplicate key), in
    // the table's open transaction or one of its own.
    virtual void store() = 0;
    // Bytes the table's open transaction has changed so far (to end it before it grows large).
    virtual std::uint64_t pendingBytes() const = 0;
};

class Table {
  public:
    virtual ~Table() = default;

    // Opens .db or .dbf (chosen by the file's contents, not only its extension). Companion files
    // (.px, .mb, .dbt, .fpt) are found regardless of letter case. A hot journal left by a killed
    // writer is rolled back first. Opening reads the table: `keepReading` leaves that read going
    // (as if more were read at once) for a caller that reads on and calls endRead() later.
    static std::unique_ptr<Table> open(const std::filesystem::path& file, OpenMode mode,
                                       bool keepReading = false);
    // Creates a new table, replacing an existing one and its companion files.
    static std::unique_ptr<Table> create(const std::filesystem::path& file, TableFormat format,
                                         const TableCreate& layout);
    // The format a file holds, told by its contents; where both formats fit, or neither, the
    // extension decides. Throws for a file that is neither and has neither extension.
    static TableFormat formatOf(const std::filesystem::path& file);
    // Removes the table and every companion file.
    static void drop(const std::filesystem::path& file);

    virtual TableFormat format() const = 0;
    virtual const std::filesystem::path& path() const = 0;
    virtual const std::vector<Field>& fields() const = 0;
    virtual int keyFieldCount() const = 0;
    virtual int version() const = 0;
    virtual std::uint64_t recordCount() const = 0;
    // For planning queries: at least the live records, known without reading every record.
    virtual std::uint64_t recordCountBound() const { return recordCount(); }
    // The iconv name of the code page its text is stored in ("CP1252").
    virtual const std::string& codePage() const = 0;
    // Empty for a sound table. Otherwise what is damaged, found at opening or while reading
    // ("its memo file (.dbt) is missing"): the table then gives what it can (a memo or blob that
    // cannot be read is NULL) and refuses every write with damagedRefusal's message.
    virtual const std::string& damage() const;

    virtual std::unique_ptr<TableCursor> scan() = 0;
    // Keyed tables: records whose leading key fields lie in [low, high] (either side may be
    // empty = unbounded; a shorter vector compares as a prefix), in key order.
    virtual std::unique_ptr<TableCursor> range(const Record& low, bool lowInclusive,
                                               const Record& high, bool highInclusive) = 0;
    virtual Record read(RecordId id) = 0;
    // Fields that lead a secondary index the table can be read through in order (indexRange).
    virtual std::vector<std::size_t> indexedFields() { return {}; }
    // Through a secondary index led by `field`: at least every record whose value of that field
    // is not blank and lies in [low, high] (each a one-value Record, or empty = unbounded), in
    // the index's order; text compares as SQL compares right-trimmed text, so the cursor may give
    // more records (those with trailing blanks or control characters near a bound) and the
    // caller checks each. Null when no index can answer it now (none usable, changes not yet
    // committed, a bound the index's order cannot place): the caller scans instead.
    virtual std::unique_ptr<TableCursor> indexRange(std::size_t /*field*/, const Record& /*low*/,
                                                    bool /*lowInclusive*/, const Record& /*high*/,
                                                    bool /*highInclusive*/) {
        return nullptr;
    }
    // Ends the current read: other processes may commit again. Everything read since the last
    // endRead() (or the open) comes from one committed state; the next read looks for changes
    // made meanwhile. Cursors stay usable: they go on from their place in the new state.
    virtual void endRead() {}

    // Called when a statement starts using the table: notices what other processes committed
    // since the last statement (once, instead of checking the file at every block read).
    virtual void startStatement() {}

    // What the table did on its own since the last call and a user should hear of (an index it
    // removed because it could not keep it up to date), one sentence each.
    virtual std::vector<std::string> takeNotices() { return {}; }

    // The caller keeps no RecordId this table gave it: a bulk writer (an import) says so between
    // its batches, so that what keeps identities through key-order moves does not grow with
    // every row written. Outside a transaction; ids given later may repeat forgotten ones.
    virtual void forgetRecordIds() {}

    // A SortedInsert for this table; null when storing records in key order would gain nothing
    // (a table without a key) or could differ from storing them as they come (blobs, an
    // autoincrement field, a sort order that cannot place every pair of keys).
    virtual std::unique_ptr<SortedInsert> sortedInsert() { return nullptr; }

    // Writes. Without begin() each call is its own transaction. Between begin() and commit()
    // nothing is visible to other processes and a crash or rollback() leaves the file as it was.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    virtual RecordId insert(const Record& record) = 0;  // KeyViolation on a duplicate key
    virtual void update(RecordId id, const Record& record) = 0;
    virtual void remove(RecordId id) = 0;
};

// A copy into a table of its own (the temporary table of a restructure or a SAVE, which nobody
// else reads and which is discarded whole when the copy fails) commits every this many records
// and forgets their identities (commitCopyBatch), so that its memory stays flat however many
// records it copies.
inline constexpr std::uint64_t kCopyBatchRecords = 100'000;
// Called after each record a copy inserts (`copied` counts them): at every kCopyBatchRecords
// the table's transaction is committed and a new one begun.
void commitCopyBatch(Table& table, std::uint64_t copied);

}  // namespace orn::db
