#pragma once

// An open Paradox table: .db data blocks, the .mb blob file and, for keyed tables, the .px
// primary index that is rebuilt from the data blocks whenever a transaction changed them.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/paradox_blob.h"
#include "dbengine/storage/paradox_collation.h"
#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/paradox_index.h"
#include "dbengine/storage/paradox_index_path.h"
#include "dbengine/storage/paradox_secondary.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/table_files.h"

namespace orn::db::paradox {

class ParadoxCursor;
class SecondaryCursor;
class ParadoxSortedInsert;

// True for the lower-case extension (with its dot) of a secondary index file.
bool isSecondaryIndexExtension(std::string_view ext);

class ParadoxTable final : public Table {
  public:
    ParadoxTable(const std::filesystem::path& file, OpenMode mode);
    ~ParadoxTable() override;

    TableFormat format() const override { return TableFormat::Paradox; }
    const std::filesystem::path& path() const override { return path_; }
    const std::vector<Field>& fields() const override { return fields_; }
    int keyFieldCount() const override { return h_.keyFields; }
    int version() const override { return h_.majorVersion(); }
    std::uint64_t recordCount() const override { return h_.numRecords; }
    const std::string& codePage() const override { return cp_->name(); }
    const std::string& damage() const override { return damage_; }

    std::unique_ptr<TableCursor> scan() override;
    // Under a national sort order the bounds on Alpha key fields (and the fields after them)
    // compare the stored bytes record by record, since the records are not in byte order there.
    std::unique_ptr<TableCursor> range(const Record& low, bool lowInclusive, const Record& high,
                                       bool highInclusive) override;
    Record read(RecordId id) override;
    std::vector<std::size_t> indexedFields() override;
    std::unique_ptr<TableCursor> indexRange(std::size_t field, const Record& low, bool lowInclusive,
                                            const Record& high, bool highInclusive) override;
    void endRead() override { files_->endRead(); }
    void startStatement() override;
    void forgetRecordIds() override;
    // Tables whose keys sort in byte order, without blobs and autoincrement fields.
    std::unique_ptr<SortedInsert> sortedInsert() override;

    void begin() override;
    void commit() override;
    void rollback() override;
    RecordId insert(const Record& record) override;
    void update(RecordId id, const Record& record) override;
    void remove(RecordId id) override;

    const Header& header() const { return h_; }
    // The .db header as last committed.
    const std::vector<std::uint8_t>& headerBytes() const { return headerBytes_; }
    // Raises the autoincrement counter to at least `value` (restructure keeps the old counter so
    // that numbers of deleted records are not given out again).
    void raiseAutoIncrement(std::uint32_t value);
    // This table is being filled with the records of another whose key and sort order it keeps,
    // in that table's key order (a PACK, a restructure that leaves the key alone): a record
    // whose key the known part of the sort order cannot place against the last one goes behind
    // it, where the other table had it, instead of being refused.
    void copyInKeyOrder() { copyInKeyOrder_ = true; }
    const std::string& label() const { return label_; }
    std::vector<std::string> takeNotices() override;
    // The secondary index files beside the table, each examined against it (an index ORN cannot
    // keep up to date says why in its `problem`).
    std::vector<SecondaryIndex> secondaryIndexes();
    // Both files of index `ix` (described, not necessarily on disk) for the records as committed.
    SecondaryFiles buildSecondaryFiles(const SecondaryIndex& ix);
    // Commits the open transaction, forgets record identities (see forgetRecordIds) and begins
    // the next transaction, leaving the secondary indexes behind
    // until a later commit rebuilds them whole. Only for copies into a table of their own,
    // which is thrown away unless its last commit succeeds: edited batch by batch, a copy
    // would cost time growing with the square of its size.
    void commitBatchDeferringIndexes();

  private:
    friend class ParadoxCursor;
    friend class SecondaryCursor;
    friend class ParadoxSortedInsert;
    // A secondary index a lookup may read: maintained, current, in an order SQL agrees with.
    struct LookupIndex {
        SecondaryIndex ix;
        IndexTree tree;
        std::size_t field = 0;  // the table field it leads with
    };
    struct Block {
        std::uint16_t no = 0;
        int count = 0;
        std::vector<std::uint8_t> bytes;
        std::uint8_t* record(int slot) { return bytes.data() + 6 + slot * recordSize; }
        const std::uint8_t* record(int slot) const { return bytes.data() + 6 + slot * recordSize; }
        int recordSize = 0;
        std::uint16_t next() const;
        std::uint16_t prev() const;
        void setNext(std::uint16_t n);
        void setPrev(std::uint16_t p);
    };
    struct Place {
        int pos = -1;  // chain position, -1 for an empty chain
        int slot = 0;
        bool found = false;
    };

    void loadHeader();
    // Another process committed: cached header, chain and free space are re-read.
    void reloadAfterChange();
    void applyHeader(std::vector<std::uint8_t> bytes);
    // Re-reads the header when another process changed it; true when it had changed.
    bool noticeForeignChanges();
    std::uint64_t blockOffset(std::uint16_t no) const;
    // Blocks the .db file has room for. Outside a transaction the file's size is asked once per
    // statement (forgetDataSize() makes the next call ask again).
    std::uint16_t maxBlockNumber() const;
    void forgetDataSize() { dataSizeKnown_ = false; }
    // The first block of the chain, pending changes included.
    std::uint16_t firstChainBlock() const;
    // Reads a block into buf (blockSize bytes); returns its record count.
    int readBlock(std::uint16_t no, std::uint8_t* buf) const;
    // Checks a block of which `got` bytes were read into buf (blockSize bytes) and clears the
    // rest; returns its record count.
    int blockCount(std::uint16_t no, std::uint8_t* buf, std::size_t got) const;
    // Records in a block of `size` bytes with `recordSize` bytes per record, -1 when its header
    // does not fit.
    static int recordsIn(const std::uint8_t* buf, std::size_t got, int size, int recordSize) {
        return recordsInBlock(buf, got, size, recordSize);
    }
    Block loadBlock(std::uint16_t no) const;
    void storeBlock(Block& b);
    [[noreturn]] void invalid(const std::string& reason) const;
    void markDamaged(const std::string& what) const;

    // Values.
    Value decodeField(std::size_t i, const std::uint8_t* rec) const;
    // The bytes of text field `i` of `rec` when they are its value as they stand (TableCursor::
    // plainText).
    bool plainText(std::size_t i, const std::uint8_t* rec, std::string_view& out) const;
    Record decodeRecord(const std::uint8_t* rec) const;
    std::vector<std::uint8_t> encodeRecord(const Record& r, const std::uint8_t* old);
    void writeBlobs(const Record& r, std::uint8_t* rec, const std::uint8_t* old);
    void freeBlobs(const std::uint8_t* rec);
    std::string encodeKeyPrefix(const Record& r, std::size_t& fieldsUsed) const;
    // The order of two keys by the table's sort order: -1, 0, 1 or kUndecided.
    int compareKey(const std::uint8_t* a, const std::uint8_t* b) const;
    // compareKey for placing `key` beside `other`: refuses the write when the order is undecided.
    int placeKey(const std::uint8_t* key, const std::uint8_t* other) const;
    std::string keyText(const std::uint8_t* key) const;

    // The primary index (.px): its layout, read once per statement.
    const IndexTree* indexLayout();
    // The data block where records with keys from `low` (a key prefix) on begin, found by walking
    // down the index; 0 when the index cannot tell (missing, damaged or out of date).
    std::uint16_t startFromIndex(const std::string& low);
    // Whether a search for `low` may begin at data block `no`: it is the first block, or its
    // predecessor in the chain links to it and ends below `low`.
    bool canStartAt(std::uint16_t no, const std::string& low);
    // True when the primary index leads the key of `rec` to `block` (so the block is in use).
    bool indexLeadsTo(const std::uint8_t* rec, std::uint16_t block);
    // Looks once per transaction for secondary index files, which follow changes block by block.
    bool tracksSecondaryIndexes();
    // Whether a write may go by the primary index alone, without the block chain: a keyed table
    // in byte order, and no chain loaded.
    bool mayWriteInPlace();
    // Where a record goes by the primary index alone: the block the index leads its key to, the
    // slot in it, and the index's path to it.
    struct Spot {
        Block block;
        int slot = 0;
        std::optional<IndexPath> path;
    };
    // The spot for encoded record `rec`; nothing when the write needs the chain. KeyViolation
    // when its key is taken.
    std::optional<Spot> spotInPlace(const std::uint8_t* rec);
    // Puts `rec` (its blobs written) at `spot`, splitting a full block, edits the index's path
    // and counts the record.
    void placeInPlace(Spot& spot, const std::vector<std::uint8_t>& rec, RecordId id);
    // Takes the record at `slot` out of block `b` (and an emptied block out of the chain) by the
    // index alone, and uncounts it; false, with nothing changed, when that needs the chain.
    bool removeInPlace(Block& b, int slot, bool freeingBlobs);
    // True when `key` sorts before the first record of the block after `b` (or `b` ends the
    // chain), with that block linked back to `b`.
    bool sortsBeforeNextBlock(const Block& b, const std::uint8_t* key);
    // Whether the block a split would take from the free list (if any) is free by what it says:
    // without the chain, only a block that holds no records is known not to be in it (the chain
    // holds no empty block but the first).
    bool firstFreeBlockIsEmpty();
    // The primary index's path to block `b` as it is before a change, checked; nothing when the
    // index cannot be edited there.
    std::optional<IndexPath> indexPathTo(const Block& b);
    // Writes the primary index anew for the chain.
    void rebuildIndex(const std::vector<std::uint8_t>& dbHeader);
    // The block chain summary from the index's lowest level; false when the index does not match
    // the table's header.
    bool chainFromIndex();
    // Writes the new index, leaving pages that did not change alone.
    void writeIndex(const std::vector<std::uint8_t>& px);
    // Brings every secondary index up to date for the records as they are now, or removes (and
    // notes) one that cannot be kept up to date. Part of the commit's transaction. An index is
    // edited entry by entry for the blocks the transaction changed; it is written anew when the
    // transaction changed too many blocks, when an earlier commit left it behind, or (with a
    // notice) when it does not hold what the table held before.
    void updateSecondaryIndexes();
    // Notes data block `no` before the transaction's first change to it, with its records as
    // committed when it is in the chain.
    void noteBlockChange(std::uint16_t no, bool inChain);
    void forgetBlockChanges();
    // The data file records of each index for the records as they are now, in chain order, one
    // after another.
    std::vector<std::string> secondaryIndexRecords(
        const std::vector<const SecondaryIndex*>& indexes);

    // The secondary indexes lookups may read (paradox_lookup), looked for and examined again
    // after every commit, rollback or change by another process.
    const std::vector<LookupIndex>& lookupIndexes();
    void forgetLookupIndexes();

    // The block chain, loaded on first need: from the index for keyed tables, else by walking.
    void ensureChain();
    void invalidateChain();
    Place findKey(const std::uint8_t* key, Block* loaded);
    // findKey's two steps: the chain position of the block for `key` among blocks with these
    // first keys and counts, and the slot for it in block `b`.
    int blockFor(const std::uint8_t* key, const std::vector<std::string>& firsts,
                 const std::vector<std::uint16_t>& counts) const;
    int slotFor(const std::uint8_t* key, Block& b, bool& found) const;
    // Refuses (as placeKey does) when findKey could not place `key` once the record at
    // `goneSlot` of block `goneBlock` is removed; changes nothing.
    void checkPlacement(const std::uint8_t* key, std::uint16_t goneBlock, int goneSlot);
    std::uint16_t allocateBlock();
    std::string tableFullMessage() const;
    void freeBlock(std::uint16_t no);
    void linkAfter(Block& nb, Block& prevBlock);
    // Links chain neighbours `prev` and `next` (either 0 at an end) to each other.
    void linkPast(std::uint16_t prev, std::uint16_t next);
    // Splits full block `b` for `rec`, which goes to `slot`: the records from the middle on (none
    // when `rec` goes past the end) move to new block `nb`, linked behind `b`. Returns the block
    // `rec` went to; stores neither.
    std::uint16_t splitFor(Block& b, Block& nb, int slot, const std::vector<std::uint8_t>& rec,
                           RecordId id);
    void unlinkAt(int pos);
    void chainInsert(int pos, std::uint16_t no, int count, std::string firstKey);
    void chainErase(int pos);
    std::string keyOf(const std::uint8_t* rec) const;

    // Record placement. `probed` and `probedPlace`, when given, are what findKey just found
    // for rec's key (the block is taken over); without them the place is looked for here.
    void placeRecord(const std::vector<std::uint8_t>& rec, RecordId id, Block* probed = nullptr,
                     const Place* probedPlace = nullptr);
    // True when `key` sorts after the last record of the chain (when the order leaves it
    // undecided, only in a copy in key order); a keyed table with a non-empty chain only.
    bool sortsAfterTail(const std::uint8_t* key);
    // Appends behind the last record when that keeps the key order; false when it would not.
    bool appendAtEnd(const std::vector<std::uint8_t>& rec, RecordId id);
    void removeAt(std::uint16_t blockNo, int slot);
    // The counter of the autoincrement field (if any) raised to the value in stored record `rec`.
    void raiseAutoIncrementTo(const std::uint8_t* rec);
    // Places encoded record `rec` (its blobs written from `values` when given) and counts it;
    // inside a write, the chain loaded. KeyViolation on a duplicate key. `inKeyOrder`: records
    // come in key order, so that the next one most likely goes right behind this one.
    RecordId insertEncoded(std::vector<std::uint8_t>& rec, const Record* values,
                           bool inKeyOrder = false);
    // The chain position behind whose last record `key` goes when that is the block the last
    // record was placed in and not the last block; -1 otherwise.
    int positionAfterLastPlaced(const std::uint8_t* key);
    // Puts `rec` behind the last record of chain position `pos` (where the key order puts it),
    // in a new block linked after it when that one is full.
    void appendAfter(int pos, const std::vector<std::uint8_t>& rec, RecordId id);

    // Record identities.
    RecordId naturalId(std::uint16_t block, int slot) const;
    RecordId idAt(std::uint16_t block, int slot) const;
    std::vector<RecordId>& idsOf(std::uint16_t block, int liveCount);
    void setIdBlock(RecordId id, std::uint16_t block);
    RecordId newId(std::uint16_t block);
    bool locate(RecordId id, std::uint16_t& block, int& slot);

    // Transactions.
    bool ownWrite();  // begins a transaction when none is open; true when this call owns it
    void finishOwnWrite(bool own);
    void failOwnWrite(bool own);
    void beginInternal();
    void commitInternal();
    void rollbackInternal();
    void requireWritable() const;

    std::filesystem::path path_;
    std::string label_;
    OpenMode mode_;
    std::unique_ptr<TableFiles> files_;
    std::size_t mbIndex_ = SIZE_MAX;
    std::size_t pxIndex_ = SIZE_MAX;
    std::vector<std::uint8_t> headerBytes_;  // as committed
    Header h_;                               // counters include pending writes
    Header committed_;
    std::vector<Field> fields_;
    std::unique_ptr<CodePage> cp_;
    std::size_t keySize_ = 0;
    KeyOrder order_;
    int recordSize_ = 0;
    int blockSize_ = 0;
    int perBlock_ = 0;
    bool structureChanged_ = false;
    bool recordsChanged_ = false;
    BlobSpace blobSpace_;
    std::unordered_map<std::string, std::size_t> companionSlots_;  // secondary index files
    // Secondary index upkeep: the blocks the open transaction changed, each with its bytes as
    // committed (empty for a block that was not in the chain).
    struct TouchedBlock {
        bool inChain = false;
        bool left = false;  // a write without the chain took it out of the chain
        std::vector<std::uint8_t> bytes;
    };
    std::map<std::uint16_t, TouchedBlock> touched_;
    bool trackKnown_ = false;      // the transaction has looked for secondary index files
    bool tracking_ = false;        // ... and found some
    bool touchedTooMany_ = false;  // it changed more blocks than an edit is worth
    bool deferIndexes_ = false;    // the commit under way leaves the indexes behind
    int inPlaceWrites_ = 0;        // writes the transaction made by the primary index alone
    bool indexesBehind_ = false;   // a commit left them behind: the next one rebuilds them
    std::vector<std::string> notices_;

    mutable std::uint64_t dataSize_ = 0;
    mutable bool dataSizeKnown_ = false;
    std::vector<LookupIndex> lookup_;
    bool lookupKnown_ = false;  // lookup_ holds for the files as they are
    IndexTree index_;
    bool indexKnown_ = false;  // index_ was read in this statement
    bool indexUsable_ = false;

    bool chainValid_ = false;
    std::vector<std::uint16_t> chain_;
    std::vector<std::uint16_t> counts_;
    std::vector<std::string> firstKeys_;
    std::vector<int> posOf_;  // block number -> chain position, -1 when not in the chain
    std::string tailKey_;     // key of the last record of the chain, when tailKeyValid_
    bool tailKeyValid_ = false;
    bool copyInKeyOrder_ = false;
    std::uint16_t lastPlaced_ = 0;  // the block the last record inserted went to
    // Records come in key order: a full block splits where the new record goes (when that is in
    // its second half), not in half, so that it fills up with the records that follow instead of
    // staying half empty.
    bool splitAtSlot_ = false;

    std::vector<std::vector<RecordId>> blockIds_;
    std::vector<bool> idsMaterialized_;
    std::unordered_map<RecordId, std::uint16_t> movedIds_;
    std::vector<std::uint16_t> newIdBlock_;
    // Undo of identity changes for rollback.
    std::unordered_map<std::uint16_t, std::pair<bool, std::vector<RecordId>>> blockUndo_;
    std::vector<std::tuple<RecordId, bool, std::uint16_t>> movedUndo_;
    std::size_t newIdMark_ = 0;
    std::vector<std::pair<std::size_t, std::uint16_t>> newUndo_;
    bool explicitTx_ = false;
    std::uint64_t generation_ = 0;  // counts reloadAfterChange()
    mutable std::string damage_;    // see Table::damage; once set it stays for this open table
};

}  // namespace orn::db::paradox
