// Lookups through the secondary indexes of a Paradox table: a walk down the index's tree to the
// first entry in range, along its data file's blocks in key order, and for each entry the table
// record it names by its primary key.

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_index.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/paradox_value.h"

namespace orn::db::paradox {

namespace {

// Data file types of indexes whose writers keep them up to date at every change (.Xnn, .XGn);
// the other two are refreshed only when their program uses them, so they may be stale.
constexpr std::uint8_t kMaintainedSingle = 5;
constexpr std::uint8_t kMaintainedComposite = 8;
constexpr std::uint8_t kSingleTree = 4;
constexpr std::uint8_t kCompositeTree = 7;

bool lookupKind(std::uint8_t code) {
    switch (code) {
        case kAlpha:
        case kDate:
        case kShort:
        case kLong:
        case kMoney:
        case kNumber:
        case kTime:
        case kTimestamp:
        case kAutoInc:
            return true;
        default:
            return false;
    }
}

// Lookups that go through the primary index's tree before the block chain is known; past them
// a cursor reads the chain summary once and checks hints against it.
constexpr int kTreeFetches = 4;
// Table blocks a cursor keeps read.
constexpr std::size_t kCachedBlocks = 64;

}  // namespace

const std::vector<ParadoxTable::LookupIndex>& ParadoxTable::lookupIndexes() {
    if (lookupKnown_)
        return lookup_;
    lookup_.clear();
    lookupKnown_ = true;
    if (h_.keyFields == 0)
        return lookup_;
    for (auto& ix : secondaryIndexes()) {
        if (!ix.problem.empty() || ix.tableFields.empty())
            continue;
        const std::uint8_t type = ix.dataHeader[0x04];
        if (type != kMaintainedSingle && type != kMaintainedComposite)
            continue;
        // An index that does not count the table's records misses some or names gone ones.
        if (ix.data.numRecords != h_.numRecords)
            continue;
        const std::size_t field = std::size_t(ix.tableFields.front());
        const FieldSpec& lead = h_.fields[field];
        if (!lookupKind(lead.code))
            continue;
        // Text leads only in byte order, and only in a one-field index: a composite file may
        // compare letters without regard to case.
        if (lead.code == kAlpha && (type != kMaintainedSingle || !alphaInByteOrder(h_)))
            continue;
        std::size_t keySize = 0;
        for (int i = 0; i < ix.data.keyFields; ++i)
            keySize += std::size_t(ix.data.fields[std::size_t(i)].width);
        const auto tree =
            readIndexTree(*files_, ix.treeFile,
                          type == kMaintainedSingle ? kSingleTree : kCompositeTree, keySize);
        if (!tree || ix.data.recordSize != keySize + 2 || ix.data.blockSize() <= 6)
            continue;
        lookup_.push_back({std::move(ix), *tree, field});
    }
    return lookup_;
}

void ParadoxTable::forgetLookupIndexes() {
    lookupKnown_ = false;
    lookup_.clear();
}

std::vector<std::size_t> ParadoxTable::indexedFields() {
    std::vector<std::size_t> out;
    try {
        for (const auto& li : lookupIndexes())
            if (std::find(out.begin(), out.end(), li.field) == out.end())
                out.push_back(li.field);
    } catch (const EngineError&) {
        // an index that cannot be read is one a lookup does without
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

class SecondaryCursor final : public TableCursor {
  public:
    SecondaryCursor(ParadoxTable& t, const ParadoxTable::LookupIndex& li, std::string low,
                    bool lowInc, std::string high, bool highInc)
        : t_(t),
          fields_(li.ix.tableFields),
          dataFile_(li.ix.dataFile),
          x_(li.ix.data),
          low_(std::move(low)),
          high_(std::move(high)),
          lowInc_(lowInc),
          highInc_(highInc) {
        lead_ = std::size_t(x_.fields[0].width);
        entryKey_ = std::size_t(x_.recordSize) - 2;
        primaryAt_ = entryKey_ - t.keySize_;
        xBlock_.resize(std::size_t(x_.blockSize()));
        values_.resize(t.fields_.size());
        decodedRow_.assign(t.fields_.size(), 0);
        gen_ = t.generation_;
        seen_ = t.files_->changeCount();
        xBlocks_ = blocksIn(dataFile_, x_.headerSize, x_.blockSize());
    }

    // Places the cursor on the data file block where the range begins; false when the index
    // cannot say where that is (the caller then scans).
    bool start(const IndexTree& tree) {
        const std::uint16_t no = descendIndexTree(*t_.files_, tree, low_);
        const int count = no == 0 ? -1 : startCount(no);
        if (count < 0)
            return false;
        count_ = count;
        next_ = le16(xBlock_.data());
        visited_ = 1;
        return true;
    }

    bool next() override {
        t_.files_->ensureRead();
        if (gen_ != t_.generation_ || t_.files_->changeCount() != seen_) {
            // Another process committed while the cursor waited, or this table wrote: the index
            // may have changed under the walk. The rest comes from the table itself.
            gen_ = t_.generation_;
            seen_ = t_.files_->changeCount();
            fallBack();
        }
        if (scan_)
            return nextFromScan();
        for (;;) {
            const std::uint8_t* e = nextEntry();
            if (!e && broken_) {
                // A damaged index costs the speed of the lookup, not its rows.
                fallBack();
                return nextFromScan();
            }
            if (!e)
                return false;
            if (!low_.empty()) {
                const int c = std::memcmp(e, low_.data(), lead_);
                if (c < 0 || (c == 0 && !lowInc_))
                    continue;
                low_.clear();  // every later entry passes too
            }
            if (!high_.empty()) {
                const int c = std::memcmp(e, high_.data(), lead_);
                if (c > 0 || (c == 0 && !highInc_)) {
                    done_ = true;
                    return false;
                }
            }
            if (!fetch(e)) {
                // An entry that names no record, or one whose values differ: the index does not
                // describe the table. What it did give stands; the table gives the rest.
                fallBack();
                return nextFromScan();
            }
            ++row_;
            returned_.emplace(reinterpret_cast<const char*>(rec_), t_.keySize_);
            return true;
        }
    }
    RecordId id() const override { return scan_ ? scan_->id() : t_.idAt(block_, slotInBlock_); }
    const Value& value(std::size_t field) override {
        if (scan_)
            return scan_->value(field);
        if (field >= values_.size())
            throw EngineError("Field number out of range");
        if (decodedRow_[field] != row_) {
            values_[field] = t_.decodeField(field, rec_);
            decodedRow_[field] = row_;
        }
        return values_[field];
    }
    bool plainText(std::size_t field, std::string_view& out) override {
        if (scan_)
            return scan_->plainText(field, out);
        return field < values_.size() && t_.plainText(field, rec_, out);
    }

  private:
    std::uint16_t blocksIn(std::size_t file, std::uint16_t headerSize, int blockSize) const {
        const std::uint64_t size = t_.files_->size(file);
        if (size <= headerSize)
            return 0;
        return std::uint16_t(std::min<std::uint64_t>(
            (size - headerSize + std::uint64_t(blockSize) - 1) / std::uint64_t(blockSize), 0xFFFF));
    }

    // Reads data file block `no` into buf; its entry count, -1 when it cannot be read.
    int readX(std::uint16_t no, std::vector<std::uint8_t>& buf) const {
        if (no == 0 || no > xBlocks_)
            return -1;
        const std::size_t got = t_.files_->read(
            dataFile_, x_.headerSize + std::uint64_t(no - 1) * std::uint64_t(x_.blockSize()),
            buf.data(), buf.size());
        return recordsInBlock(buf.data(), got, x_.blockSize(), x_.recordSize);
    }

    // The entries of data file block `no`, read into xBlock_, when the tree's answer holds: the
    // block is the data file's first, or its predecessor links to it and ends below the range.
    // -1 otherwise.
    int startCount(std::uint16_t no) {
        const int count = readX(no, xBlock_);
        if (count < 0 || no == x_.firstBlock)
            return count;
        const std::uint16_t prev = le16(xBlock_.data() + 2);
        std::vector<std::uint8_t> before(xBlock_.size());
        const int n = prev == no ? -1 : readX(prev, before);
        if (n <= 0 || le16(before.data()) != no)
            return -1;
        const std::uint8_t* last =
            before.data() + 6 + std::size_t(n - 1) * std::size_t(x_.recordSize);
        return std::memcmp(last, low_.data(), std::min(low_.size(), lead_)) < 0 ? count : -1;
    }

    // The next entry of the data file in key order; null at its end, or with broken_ set when
    // its blocks do not read as a chain.
    const std::uint8_t* nextEntry() {
        if (done_)
            return nullptr;
        while (slot_ + 1 >= count_) {
            if (next_ == 0) {
                done_ = true;
                return nullptr;
            }
            count_ = ++visited_ > xBlocks_ ? -1 : readX(next_, xBlock_);
            if (count_ < 0) {
                broken_ = true;
                return nullptr;
            }
            next_ = le16(xBlock_.data());
            slot_ = -1;
        }
        ++slot_;
        const std::uint8_t* e =
            xBlock_.data() + 6 + std::size_t(slot_) * std::size_t(x_.recordSize);
        // Entries are unique and ascending; one that is not follows a block chain gone wrong.
        if (!lastEntry_.empty() && std::memcmp(e, lastEntry_.data(), entryKey_) <= 0) {
            broken_ = true;
            return nullptr;
        }
        lastEntry_.assign(reinterpret_cast<const char*>(e), entryKey_);
        return e;
    }

    // The table block `no` as read in this state of the files; null when it is outside the
    // file or cannot be read.
    const std::vector<std::uint8_t>* tableBlock(std::uint16_t no, int& count) {
        auto it = cache_.find(no);
        if (it == cache_.end()) {
            if (no == 0 || no > t_.maxBlockNumber())
                return nullptr;
            if (cache_.size() >= kCachedBlocks) {
                cache_.clear();
                counts_.clear();
            }
            std::vector<std::uint8_t> buf(std::size_t(t_.blockSize_));
            const std::size_t got = t_.files_->read(0, t_.blockOffset(no), buf.data(), buf.size());
            it = cache_.emplace(no, std::move(buf)).first;
            counts_[no] =
                ParadoxTable::recordsIn(it->second.data(), got, t_.blockSize_, t_.recordSize_);
        }
        count = counts_[no];
        return count < 0 ? nullptr : &it->second;
    }

    // The slot of the record with primary key `key` in table block `no`, -1 when none.
    int findIn(std::uint16_t no, const std::uint8_t* key) {
        int count = 0;
        const auto* b = tableBlock(no, count);
        if (!b)
            return -1;
        int lo = 0, hi = count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            const std::uint8_t* r = b->data() + 6 + std::size_t(mid) * std::size_t(t_.recordSize_);
            const int c = std::memcmp(r, key, t_.keySize_);
            if (c == 0) {
                block_ = no;
                slotInBlock_ = mid;
                rec_ = r;
                return mid;
            }
            if (c < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return -1;
    }

    // The table record the entry names: first where its hint says, when that block is known to
    // be in the table's chain, else where the primary index says. False when there is none or
    // its indexed values are not the entry's.
    bool fetch(const std::uint8_t* e) {
        const std::uint8_t* key = e + primaryAt_;
        const std::uint16_t hint = indexEntryBlock(e + entryKey_);
        if (!t_.chainValid_ && ++treeFetches_ > kTreeFetches)
            t_.ensureChain();
        int found = -1;
        if (t_.chainValid_) {
            if (hint < t_.posOf_.size() && t_.posOf_[hint] >= 0)
                found = findIn(hint, key);
            if (found < 0 && !t_.chain_.empty()) {
                auto it = std::upper_bound(t_.firstKeys_.begin(), t_.firstKeys_.end(), key,
                                           [&](const std::uint8_t* k, const std::string& first) {
                                               return std::memcmp(k, first.data(), t_.keySize_) < 0;
                                           });
                const std::size_t pos =
                    it == t_.firstKeys_.begin() ? 0 : std::size_t(it - t_.firstKeys_.begin()) - 1;
                found = findIn(t_.chain_[pos], key);
            }
        } else {
            const std::string k(reinterpret_cast<const char*>(key), t_.keySize_);
            std::uint16_t no = t_.startFromIndex(k);
            if (no == 0) {
                t_.ensureChain();
                return fetch(e);
            }
            found = findIn(no, key);
        }
        return found >= 0 && indexedMatch(e);
    }

    bool indexedMatch(const std::uint8_t* e) const {
        std::size_t at = 0;
        for (int field : fields_) {
            const FieldSpec& f = t_.h_.fields[std::size_t(field)];
            if (std::memcmp(e + at, rec_ + f.offset, std::size_t(f.width)) != 0)
                return false;
            at += std::size_t(f.width);
        }
        return true;
    }

    // From here on the records come from a scan of the table, less those already given: the
    // caller checks the range on each.
    void fallBack() {
        if (!scan_)
            scan_ = t_.scan();
    }
    bool nextFromScan() {
        while (scan_->next()) {
            Record key;
            for (int i = 0; i < t_.h_.keyFields; ++i)
                key.push_back(scan_->value(std::size_t(i)));
            std::size_t used = 0;
            if (!returned_.count(t_.encodeKeyPrefix(key, used)))
                return true;
        }
        return false;
    }

    ParadoxTable& t_;
    std::vector<int> fields_;  // the table fields the index holds, in its order
    std::size_t dataFile_;
    Header x_;
    std::size_t lead_ = 0;       // bytes of the leading field
    std::size_t entryKey_ = 0;   // bytes of an entry before its hint
    std::size_t primaryAt_ = 0;  // where the table's key begins in an entry
    std::string low_, high_;
    bool lowInc_ = true, highInc_ = true;
    std::uint16_t xBlocks_ = 0;
    std::vector<std::uint8_t> xBlock_;
    std::uint16_t next_ = 0;
    int count_ = 0;
    int slot_ = -1;  // entry in xBlock_
    std::size_t visited_ = 0;
    bool done_ = false;
    bool broken_ = false;
    std::string lastEntry_;
    int treeFetches_ = 0;

    std::unordered_map<std::uint16_t, std::vector<std::uint8_t>> cache_;
    std::unordered_map<std::uint16_t, int> counts_;
    std::uint64_t seen_ = 0;
    std::uint64_t gen_ = 0;

    // The current record.
    std::uint16_t block_ = 0;
    int slotInBlock_ = 0;
    const std::uint8_t* rec_ = nullptr;
    std::vector<Value> values_;
    std::vector<std::uint64_t> decodedRow_;
    std::uint64_t row_ = 0;

    std::unordered_set<std::string> returned_;  // primary keys given so far
    std::unique_ptr<TableCursor> scan_;
};

std::unique_ptr<TableCursor> ParadoxTable::indexRange(std::size_t field, const Record& low,
                                                      bool lowInclusive, const Record& high,
                                                      bool highInclusive) {
    // Changes of this transaction reach the indexes only when it commits; a copy in batches
    // brings them up to date only at its end.
    if ((files_->inTransaction() && (recordsChanged_ || structureChanged_)) || indexesBehind_)
        return nullptr;
    const LookupIndex* use = nullptr;
    try {
        for (const auto& li : lookupIndexes()) {
            // The fewest fields make the smallest entries.
            if (li.field == field &&
                (!use || li.ix.tableFields.size() < use->ix.tableFields.size()))
                use = &li;
        }
    } catch (const EngineError&) {
        return nullptr;  // an index file that cannot be read: the caller scans
    }
    if (!use || low.size() > 1 || high.size() > 1)
        return nullptr;
    const FieldSpec& f = h_.fields[field];
    const std::size_t width = std::size_t(f.width);
    const bool equality =
        !low.empty() && !high.empty() && lowInclusive && highInclusive && low[0] == high[0];
    // The bytes a bound stores as; false when it has none the index's order places right.
    auto encode = [&](Value v, bool upper, std::string& out) {
        if (isBlank(v))
            return false;
        if (f.code == kAlpha) {
            const auto* text = std::get_if<std::string>(&v);
            if (!text)
                return false;
            // Beyond ASCII, byte order in the code page and SQL's order of the text part ways;
            // an equality needs only the bytes to be the same.
            if (!equality)
                for (unsigned char c : *text)
                    if (c < 0x20 || c >= 0x7F)
                        return false;
        }
        std::vector<std::uint8_t> rec(std::size_t(recordSize_), 0);
        try {
            encodeScalar(f, fields_[field].name, v, rec.data(), *cp_);
        } catch (const EngineError&) {
            return false;
        }
        out.assign(reinterpret_cast<const char*>(rec.data() + f.offset), width);
        if ((f.code == kNumber || f.code == kMoney) && !upper) {
            // ORN stores 0 for -0, other programs may not: the two are equal to SQL, and a lower
            // bound at zero starts at the bytes of -0, just below those of 0.
            if (const auto* d = std::get_if<double>(&v); d && *d == 0)
                out.assign("\x7f\xff\xff\xff\xff\xff\xff\xff", 8);
        }
        if (upper && f.code == kAlpha) {
            // SQL compares text without its trailing blanks: a stored value that has some lies
            // above the bound's bytes, below the bound padded with blanks.
            std::size_t n = out.find('\0');
            if (n != std::string::npos)
                std::fill(out.begin() + std::ptrdiff_t(n), out.end(), ' ');
        }
        return true;
    };
    std::string lowKey, highKey;
    bool lowInc = lowInclusive, highInc = highInclusive;
    if (low.empty()) {
        lowKey.assign(width, '\0');  // blank values sort first and match no comparison
        lowInc = false;
    } else if (!encode(low[0], false, lowKey)) {
        return nullptr;
    }
    if (!high.empty()) {
        if (!encode(high[0], true, highKey))
            return nullptr;
        if (f.code == kAlpha)
            highInc = true;
    }
    auto c = std::make_unique<SecondaryCursor>(*this, *use, std::move(lowKey), lowInc,
                                               std::move(highKey), highInc);
    try {
        if (!c->start(use->tree))
            return nullptr;
    } catch (const EngineError&) {
        return nullptr;
    }
    return c;
}

}  // namespace orn::db::paradox
