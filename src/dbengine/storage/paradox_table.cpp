#include "dbengine/storage/paradox_table.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/key_sorted_runs.h"
#include "dbengine/storage/paradox_blob.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_index.h"
#include "dbengine/storage/paradox_secondary.h"
#include "dbengine/storage/paradox_text.h"
#include "dbengine/storage/paradox_value.h"
#include "dbengine/storage/value_text.h"

namespace orn::db::paradox {

namespace {
constexpr RecordId kNewIdBase = RecordId{1} << 40;
}  // namespace

// ---------------------------------------------------------------------------------------------
// Cursor

// Chains mostly run through ascending block numbers: a cursor that meets consecutive blocks reads
// ahead up to this many bytes at once.
constexpr std::size_t kReadAheadBytes = std::size_t{128} << 10;

class ParadoxCursor final : public TableCursor {
  public:
    ParadoxCursor(ParadoxTable& t, std::uint16_t startBlock, int startSlot)
        : t_(t), next_(startBlock), slot_(startSlot - 1) {
        values_.resize(t.fields_.size());
        decodedRow_.assign(t.fields_.size(), 0);
        maxBlock_ = t.maxBlockNumber();
        limit_ = std::size_t(maxBlock_) + 1;
        seen_ = t.files_->changeCount();
        gen_ = t.generation_;
        maxAhead_ = std::max<std::size_t>(1, kReadAheadBytes / std::size_t(t.blockSize_));
    }
    // Bounds on the key bytes. Records come in byte order only on the first `ordered` bytes of
    // the key (see KeyOrder::bytewisePrefix): longer bounds are checked record by record, and
    // the walk stops only past their first `ordered` bytes.
    void setBounds(std::string low, bool lowInc, std::string high, bool highInc,
                   std::size_t ordered) {
        lowOrdered_ = low.size() <= ordered;
        highOrdered_ = high.size() <= ordered;
        stop_ = highOrdered_ || ordered == 0 ? std::string() : high.substr(0, ordered);
        low_ = std::move(low);
        high_ = std::move(high);
        lowInc_ = lowInc;
        highInc_ = highInc;
    }

    bool next() override {
        t_.files_->ensureRead();
        if (gen_ != t_.generation_)
            reseek();
        for (;;) {
            if (!advance())
                return false;
            const std::uint8_t* rec = current();
            if (!low_.empty()) {
                int c = std::memcmp(rec, low_.data(), low_.size());
                if (c < 0 || (c == 0 && !lowInc_))
                    continue;
                if (lowOrdered_)
                    low_.clear();  // key order: every later record passes too
            }
            if (!stop_.empty() && std::memcmp(rec, stop_.data(), stop_.size()) > 0) {
                done_ = true;
                return false;
            }
            if (!high_.empty()) {
                int c = std::memcmp(rec, high_.data(), high_.size());
                if (c > 0 || (c == 0 && !highInc_)) {
                    if (!highOrdered_)
                        continue;
                    done_ = true;
                    return false;
                }
            }
            ++row_;  // values decoded for earlier records are stale now
            return true;
        }
    }
    RecordId id() const override { return t_.idAt(block_, slot_); }
    const Value& value(std::size_t field) override {
        if (field >= values_.size())
            throw EngineError("Field number out of range");
        if (decodedRow_[field] != row_) {
            values_[field] = t_.decodeField(field, current());
            decodedRow_[field] = row_;
        }
        return values_[field];
    }

    bool plainText(std::size_t field, std::string_view& out) override {
        return field < values_.size() && t_.plainText(field, current(), out);
    }

  private:
    const std::uint8_t* current() const {
        return data_ + 6 + std::size_t(slot_) * std::size_t(t_.recordSize_);
    }

    // The table changed under a cursor that let go of its read lock (a result fetched in parts):
    // it goes on after its last record in the new state, found by key in keyed tables and by
    // position otherwise. Every record it returns is then read whole from the new state.
    void reseek() {
        gen_ = t_.generation_;
        windowBlocks_ = 0;
        seen_ = t_.files_->changeCount();
        visited_ = 0;
        refreshSize();
        if (done_)
            return;
        if (block_ == 0) {
            next_ = t_.h_.firstBlock;  // not started yet: from the (new) beginning
            slot_ = -1;
            return;
        }
        t_.ensureChain();
        std::size_t pos = 0;
        int slot = 0;  // the first record not returned yet
        if (t_.h_.keyFields > 0 && t_.order_.bytewise()) {
            const std::string key(reinterpret_cast<const char*>(current()), t_.keySize_);
            const auto* k = reinterpret_cast<const std::uint8_t*>(key.data());
            auto it = std::upper_bound(t_.firstKeys_.begin(), t_.firstKeys_.end(), k,
                                       [&](const std::uint8_t* a, const std::string& first) {
                                           return std::memcmp(a, first.data(), t_.keySize_) < 0;
                                       });
            pos = it == t_.firstKeys_.begin() ? 0 : std::size_t(it - t_.firstKeys_.begin()) - 1;
            if (pos < t_.chain_.size()) {
                count_ = load(t_.chain_[pos]);
                while (slot < count_ &&
                       t_.compareKey(data_ + 6 + std::size_t(slot) * std::size_t(t_.recordSize_),
                                     k) <= 0)
                    ++slot;
            }
        } else if (t_.h_.keyFields > 0) {
            // Under a national sort order the current record is found again by its key's bytes
            // (keys are unique), or else the first record whose key surely sorts after it.
            const std::string key(reinterpret_cast<const char*>(current()), t_.keySize_);
            const auto* k = reinterpret_cast<const std::uint8_t*>(key.data());
            auto find = [&](bool same) {
                for (pos = 0; pos < t_.chain_.size(); ++pos) {
                    count_ = load(t_.chain_[pos]);
                    for (slot = 0; slot < count_; ++slot) {
                        const std::uint8_t* r =
                            data_ + 6 + std::size_t(slot) * std::size_t(t_.recordSize_);
                        if (same ? std::memcmp(r, k, t_.keySize_) == 0 : t_.compareKey(r, k) == 1) {
                            slot += same ? 1 : 0;
                            return true;
                        }
                    }
                }
                return false;
            };
            if (!find(true))
                find(false);
        } else {
            std::uint64_t skip = row_;  // records returned so far
            while (pos < t_.chain_.size() && skip >= t_.counts_[pos]) {
                skip -= t_.counts_[pos];
                ++pos;
            }
            slot = int(skip);
            if (pos < t_.chain_.size())
                count_ = load(t_.chain_[pos]);
        }
        if (pos >= t_.chain_.size()) {
            done_ = true;
            return;
        }
        block_ = t_.chain_[pos];
        next_ = le16(data_);
        slot_ = slot - 1;
    }
    bool advance() {
        if (done_)
            return false;
        if (block_ != 0 && slot_ + 1 < count_) {
            ++slot_;
            return true;
        }
        bool first = block_ == 0;
        while (next_ != 0) {
            if (++visited_ > limit_)
                t_.invalid("the block chain runs in a circle");
            block_ = next_;
            count_ = load(block_);
            next_ = le16(data_);
            int start = first ? std::max(slot_, -1) + 1 : 0;
            first = false;
            if (start < count_) {
                slot_ = start;
                return true;
            }
        }
        done_ = true;
        return false;
    }

    // Points data_ at block `no` and returns its record count. Blocks read ahead serve only
    // while nothing was written since.
    int load(std::uint16_t no) {
        const std::size_t size = std::size_t(t_.blockSize_);
        if (const std::uint64_t now = t_.files_->changeCount(); now != seen_) {
            seen_ = now;
            windowBlocks_ = 0;
            refreshSize();
        }
        if (no < windowFirst_ || no >= std::size_t(windowFirst_) + windowBlocks_) {
            ahead_ = no == std::size_t(lastLoaded_) + 1 ? std::min(ahead_ * 2, maxAhead_) : 1;
            if (no == 0 || no > maxBlock_) {
                t_.forgetDataSize();  // the file may have grown
                refreshSize();
                if (no == 0 || no > maxBlock_)
                    t_.invalid("block " + std::to_string(no) + " lies outside the file");
            }
            const std::size_t blocks = std::min<std::size_t>(ahead_, maxBlock_ - no + 1u);
            if (window_.size() < blocks * size)
                window_.resize(blocks * size);
            windowGot_ = t_.files_->read(0, t_.blockOffset(no), window_.data(), blocks * size);
            windowFirst_ = no;
            windowBlocks_ = std::max<std::size_t>(1, (windowGot_ + size - 1) / size);
        }
        const std::size_t at = std::size_t(no - windowFirst_) * size;
        const std::size_t got = windowGot_ > at ? std::min(size, windowGot_ - at) : 0;
        data_ = window_.data() + at;
        lastLoaded_ = no;
        return t_.blockCount(no, data_, got);
    }

    // A chain visits no block twice: one longer than the file has blocks runs in a circle.
    void refreshSize() {
        maxBlock_ = t_.maxBlockNumber();
        limit_ = std::max(limit_, std::size_t(maxBlock_) + 1);
    }

    ParadoxTable& t_;
    std::uint8_t* data_ = nullptr;  // the current block, inside window_
    std::vector<std::uint8_t> window_;
    std::uint16_t windowFirst_ = 0;
    std::size_t windowBlocks_ = 0;
    std::size_t windowGot_ = 0;
    std::size_t ahead_ = 1;
    std::size_t maxAhead_ = 1;
    std::uint16_t lastLoaded_ = 0;
    std::uint16_t maxBlock_ = 0;
    std::uint64_t seen_ = 0;  // change count of the files when window_ was read
    std::uint64_t gen_ = 0;   // the table's generation the position belongs to
    std::uint16_t block_ = 0;
    std::uint16_t next_ = 0;
    int count_ = 0;
    int slot_ = -1;
    std::size_t visited_ = 0;
    std::size_t limit_ = 0;
    bool done_ = false;
    std::string low_, high_, stop_;
    bool lowInc_ = true, highInc_ = true;
    bool lowOrdered_ = true, highOrdered_ = true;
    std::vector<Value> values_;
    std::vector<std::uint64_t> decodedRow_;  // value i holds record row_ when equal to it
    std::uint64_t row_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Blocks

std::uint16_t ParadoxTable::Block::next() const {
    return le16(bytes.data());
}
std::uint16_t ParadoxTable::Block::prev() const {
    return le16(bytes.data() + 2);
}
void ParadoxTable::Block::setNext(std::uint16_t n) {
    putLe16(bytes.data(), n);
}
void ParadoxTable::Block::setPrev(std::uint16_t p) {
    putLe16(bytes.data() + 2, p);
}

ParadoxTable::ParadoxTable(const std::filesystem::path& file, OpenMode mode)
    : path_(file), label_(file.string()), mode_(mode) {
    files_ = std::make_unique<TableFiles>(file, mode);
    loadHeader();
    bool hasBlobs = false;
    for (const auto& f : h_.fields)
        hasBlobs = hasBlobs || isBlobCode(f.code);
    if (hasBlobs) {
        auto mb = findCompanion(file, ".mb");
        if (mb) {
            mbIndex_ = files_->addCompanion(*mb, true);
        } else if (h_.numRecords == 0) {
            // Nothing can point into a blob file that is gone: a writer makes a new one.
            if (files_->writable())
                mbIndex_ = files_->addCompanion(companionPath(file, ".mb"), true);
        } else {
            // A new, empty blob file would leave the stored blob pointers pointing nowhere for
            // good: the table stays as it is, read-only.
            markDamaged("its blob file (.mb) is missing");
        }
    }
    if (h_.keyFields > 0) {
        auto px = findCompanion(file, ".px");
        if (px || files_->writable())
            pxIndex_ = files_->addCompanion(px ? *px : companionPath(file, ".px"), true);
    }
    files_->setChangeListener([this] { reloadAfterChange(); });
}

void ParadoxTable::reloadAfterChange() {
    noticeForeignChanges();
    forgetLookupIndexes();
    invalidateChain();
    blobSpace_.reset();
    ++generation_;
}

ParadoxTable::~ParadoxTable() = default;

void ParadoxTable::markDamaged(const std::string& what) const {
    if (damage_.empty())
        damage_ = what;
}

void ParadoxTable::invalid(const std::string& reason) const {
    throw EngineError(label_ + " is damaged (not a valid Paradox table): " + reason);
}

void ParadoxTable::loadHeader() {
    std::uint8_t head[0x58];
    std::size_t got = files_->read(0, 0, head, sizeof head);
    if (got < sizeof head)
        invalid("the file is shorter than a header");
    std::size_t headerSize = le16(head + 2);
    if (headerSize < 0x58)
        invalid("header size out of range");
    std::vector<std::uint8_t> bytes(headerSize);
    got = files_->read(0, 0, bytes.data(), headerSize);
    if (got < headerSize)
        invalid("the file ends inside its header");
    applyHeader(std::move(bytes));
}

void ParadoxTable::applyHeader(std::vector<std::uint8_t> bytes) {
    Header h = parseHeader(bytes.data(), bytes.size(), label_);
    auto cp = std::make_unique<CodePage>(tableCodePage(h));
    std::vector<Field> fields;
    for (const auto& f : h.fields) {
        Field out;
        out.name = cp->toUtf8(f.name);
        out.type = fieldTypeOf(f.code);
        out.letter = typeLetter(f.code);
        out.size = f.code == kBcd ? 17 : f.size;
        out.decimals = f.code == kBcd ? f.size : 0;
        fields.push_back(std::move(out));
    }
    std::size_t keySize = 0;
    for (int i = 0; i < h.keyFields; ++i) {
        if (isBlobCode(h.fields[std::size_t(i)].code))
            invalid("a blob field is part of the key");
        keySize += std::size_t(h.fields[std::size_t(i)].width);
    }
    headerBytes_ = std::move(bytes);
    h_ = committed_ = std::move(h);
    cp_ = std::move(cp);
    fields_ = std::move(fields);
    keySize_ = keySize;
    order_ = KeyOrder(h_);
    recordSize_ = h_.recordSize;
    blockSize_ = h_.blockSize();
    perBlock_ = h_.recordsPerBlock();
}

std::uint64_t ParadoxTable::blockOffset(std::uint16_t no) const {
    return std::uint64_t(h_.headerSize) + std::uint64_t(no - 1) * std::uint64_t(blockSize_);
}

std::uint16_t ParadoxTable::maxBlockNumber() const {
    std::uint64_t size;
    if (files_->inTransaction()) {
        size = files_->size(0);
    } else {
        if (!dataSizeKnown_) {
            dataSize_ = files_->size(0);
            dataSizeKnown_ = true;
        }
        size = dataSize_;
    }
    if (size <= h_.headerSize)
        return 0;
    std::uint64_t n =
        (size - h_.headerSize + std::uint64_t(blockSize_) - 1) / std::uint64_t(blockSize_);
    return std::uint16_t(std::min<std::uint64_t>(n, 0xFFFF));
}

int ParadoxTable::readBlock(std::uint16_t no, std::uint8_t* buf) const {
    if (no == 0 || no > maxBlockNumber())
        invalid("block " + std::to_string(no) + " lies outside the file");
    std::size_t got = files_->read(0, blockOffset(no), buf, std::size_t(blockSize_));
    return blockCount(no, buf, got);
}

int ParadoxTable::blockCount(std::uint16_t no, std::uint8_t* buf, std::size_t got) const {
    if (got < 6)
        invalid("block " + std::to_string(no) + " is cut off");
    std::memset(buf + got, 0, std::size_t(blockSize_) - got);
    int count = recordsIn(buf, got, blockSize_, recordSize_);
    if (count < 0) {
        int add = std::int16_t(le16(buf + 4));
        invalid("block " + std::to_string(no) +
                (add >= 0 && add / recordSize_ + 1 > perBlock_ ? " claims too many records"
                                                               : " is cut off"));
    }
    return count;
}

ParadoxTable::Block ParadoxTable::loadBlock(std::uint16_t no) const {
    Block b;
    b.no = no;
    b.recordSize = recordSize_;
    b.bytes.resize(std::size_t(blockSize_));
    b.count = readBlock(no, b.bytes.data());
    return b;
}

void ParadoxTable::storeBlock(Block& b) {
    noteBlockChange(b.no, chainValid_ && b.no < posOf_.size() && posOf_[b.no] >= 0);
    putLe16(b.bytes.data() + 4, std::uint32_t(std::uint16_t((b.count - 1) * recordSize_)));
    // Stale bytes after the last record are cleared so that nothing deleted lingers on disk.
    std::size_t used = 6 + std::size_t(b.count) * std::size_t(recordSize_);
    std::memset(b.bytes.data() + used, 0, b.bytes.size() - used);
    files_->write(0, blockOffset(b.no), b.bytes.data(), b.bytes.size());
}

// ---------------------------------------------------------------------------------------------
// Values

Value ParadoxTable::decodeField(std::size_t i, const std::uint8_t* rec) const {
    const FieldSpec& f = h_.fields[i];
    if (!isBlobCode(f.code))
        return decodeScalar(f, rec, *cp_);
    const std::uint8_t* p = rec + f.offset;
    const int leader = f.size - 10;
    BlobPointer ptr = BlobPointer::parse(p + leader);
    if (ptr.length == 0)
        return {};
    std::string payload;
    if (ptr.length <= std::uint32_t(leader)) {
        payload.assign(reinterpret_cast<const char*>(p), ptr.length);
    } else {
        // A blob that cannot be read is NULL; the table says once what is damaged.
        if (mbIndex_ == SIZE_MAX) {
            markDamaged("its blob file (.mb) is missing");
            return {};
        }
        try {
            auto bytes = readBlob(*files_, mbIndex_, ptr, label_);
            payload.assign(bytes.begin(), bytes.end());
        } catch (const EngineError& e) {
            std::string why = e.what();
            const std::string invalidPrefix = label_ + " is damaged (not a valid Paradox table): ";
            if (why.rfind(invalidPrefix, 0) == 0)
                why.erase(0, invalidPrefix.size());
            markDamaged("a blob of field " + fields_[i].name + " cannot be read: " + why);
            return {};
        }
    }
    return blobValue(f, std::move(payload), *cp_);
}

// ASCII bytes read the same in every code page: what decodeScalar would make of them.
bool ParadoxTable::plainText(std::size_t i, const std::uint8_t* rec, std::string_view& out) const {
    const FieldSpec& f = h_.fields[i];
    if (f.code != kAlpha)
        return false;
    const std::uint8_t* p = rec + f.offset;
    std::size_t n = 0;
    while (n < f.size && p[n] != 0) {
        if (p[n] >= 0x80)
            return false;
        ++n;
    }
    if (n == 0)
        return false;  // NULL
    out = std::string_view(reinterpret_cast<const char*>(p), n);
    return true;
}

Record ParadoxTable::decodeRecord(const std::uint8_t* rec) const {
    Record r;
    r.reserve(h_.fields.size());
    for (std::size_t i = 0; i < h_.fields.size(); ++i)
        r.push_back(decodeField(i, rec));
    return r;
}

std::vector<std::uint8_t> ParadoxTable::encodeRecord(const Record& r, const std::uint8_t* old) {
    if (r.size() != h_.fields.size())
        throw EngineError(label_ + ": a record needs " + std::to_string(h_.fields.size()) +
                          " values, not " + std::to_string(r.size()));
    std::vector<std::uint8_t> rec(std::size_t(recordSize_), 0);
    for (std::size_t i = 0; i < r.size(); ++i) {
        const FieldSpec& f = h_.fields[i];
        if (isBlobCode(f.code)) {
            blobPayload(f, fields_[i].name, r[i], *cp_);  // checks the kind before anything changes
            continue;
        }
        if (f.code == kAutoInc && isBlank(r[i])) {
            if (old) {
                std::memcpy(rec.data() + f.offset, old + f.offset, 4);
            } else {
                if (h_.autoInc >= 0x7FFFFFFFu)
                    throw EngineError(label_ + ": autoincrement exhausted");
                putSortableInt(rec.data() + f.offset, 4, std::int64_t(h_.autoInc) + 1);
            }
            continue;
        }
        encodeScalar(f, fields_[i].name, r[i], rec.data(), *cp_);
    }
    return rec;
}

void ParadoxTable::writeBlobs(const Record& r, std::uint8_t* rec, const std::uint8_t* old) {
    for (std::size_t i = 0; i < r.size(); ++i) {
        const FieldSpec& f = h_.fields[i];
        if (!isBlobCode(f.code))
            continue;
        std::string payload = blobPayload(f, fields_[i].name, r[i], *cp_);
        std::uint8_t* p = rec + f.offset;
        const int leader = f.size - 10;
        if (old) {
            // An unchanged value keeps its place in the .mb file.
            Value before = decodeField(i, old);
            if (before == r[i]) {
                std::memcpy(p, old + f.offset, std::size_t(f.size));
                continue;
            }
            BlobPointer was = BlobPointer::parse(old + f.offset + leader);
            if (was.length > std::uint32_t(leader) && mbIndex_ != SIZE_MAX)
                blobSpace_.release(*files_, mbIndex_, was);
        }
        std::memset(p, 0, std::size_t(f.size));
        if (payload.empty())
            continue;
        std::memcpy(p, payload.data(), std::min<std::size_t>(payload.size(), std::size_t(leader)));
        BlobPointer ptr;
        ptr.length = std::uint32_t(payload.size());
        if (payload.size() > std::size_t(leader)) {
            if (mbIndex_ == SIZE_MAX)
                throw EngineError(label_ +
                                  " is damaged: the blob file (.mb) of the table is missing");
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
            ptr = blobSpace_.store(*files_, mbIndex_, bytes, std::uint32_t(payload.size()));
        }
        ptr.store(p + leader);
    }
}

void ParadoxTable::freeBlobs(const std::uint8_t* rec) {
    if (mbIndex_ == SIZE_MAX)
        return;
    for (const auto& f : h_.fields) {
        if (!isBlobCode(f.code))
            continue;
        BlobPointer ptr = BlobPointer::parse(rec + f.offset + f.size - 10);
        if (ptr.length > std::uint32_t(f.size - 10))
            blobSpace_.release(*files_, mbIndex_, ptr);
    }
}

std::string ParadoxTable::keyOf(const std::uint8_t* rec) const {
    return std::string(reinterpret_cast<const char*>(rec), keySize_);
}

int ParadoxTable::compareKey(const std::uint8_t* a, const std::uint8_t* b) const {
    return order_.compare(a, b);
}

int ParadoxTable::placeKey(const std::uint8_t* key, const std::uint8_t* other) const {
    const int c = order_.compare(key, other);
    if (c != kUndecided)
        return c;
    if (order_.kind() == KeyOrder::Kind::Unknown)
        throw EngineError("Cannot place the key " + keyText(key) + " in " + label_ +
                          ": its Alpha keys sort by the order " + order_.name() +
                          ", which ORN does not know. The table can still be read, and records "
                          "can be deleted or changed in fields outside the key.");
    throw EngineError("Cannot place the key " + keyText(key) + " in " + label_ +
                      ": under its sort "
                      "order " +
                      order_.name() +
                      " ORN cannot tell whether it goes before or "
                      "after " +
                      keyText(other) +
                      ". Of that order ORN knows how digits, capital "
                      "letters and small letters each sort among themselves, not how they sort "
                      "against each other, accented letters or punctuation.");
}

std::string ParadoxTable::keyText(const std::uint8_t* key) const {
    std::string text;
    for (int i = 0; i < h_.keyFields; ++i) {
        text += i == 0 ? "(" : ", ";
        const Value v = decodeField(std::size_t(i), key);
        text += std::holds_alternative<std::string>(v) ? "'" + valueText(v) + "'" : valueText(v);
    }
    return text + ")";
}

std::string ParadoxTable::encodeKeyPrefix(const Record& r, std::size_t& used) const {
    used = std::min<std::size_t>(r.size(), std::size_t(h_.keyFields));
    std::vector<std::uint8_t> rec(std::size_t(recordSize_), 0);
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < used; ++i) {
        encodeScalar(h_.fields[i], fields_[i].name, r[i], rec.data(), *cp_);
        bytes += std::size_t(h_.fields[i].width);
    }
    return std::string(reinterpret_cast<const char*>(rec.data()), bytes);
}

// ---------------------------------------------------------------------------------------------
// Chain

void ParadoxTable::invalidateChain() {
    chainValid_ = false;
    tailKeyValid_ = false;
    chain_.clear();
    counts_.clear();
    firstKeys_.clear();
    posOf_.clear();
}

void ParadoxTable::ensureChain() {
    if (chainValid_)
        return;
    invalidateChain();
    if (chainFromIndex()) {
        chainValid_ = true;
        return;
    }
    invalidateChain();
    const std::uint16_t maxBlock = maxBlockNumber();
    posOf_.assign(std::size_t(std::max<int>(maxBlock, h_.fileBlocks)) + 1, -1);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(blockSize_));
    std::uint16_t b = h_.firstBlock;
    while (b != 0) {
        if (b > maxBlock || posOf_[b] != -1)
            invalid("the block chain is broken");
        int count = readBlock(b, buf.data());
        posOf_[b] = int(chain_.size());
        chain_.push_back(b);
        counts_.push_back(std::uint16_t(count));
        firstKeys_.push_back(count ? keyOf(buf.data() + 6) : std::string(keySize_, '\0'));
        b = le16(buf.data());
    }
    chainValid_ = true;
}

std::uint16_t ParadoxTable::firstChainBlock() const {
    if (chainValid_)
        return chain_.empty() ? 0 : chain_.front();
    return h_.firstBlock;
}

const IndexTree* ParadoxTable::indexLayout() {
    if (indexKnown_)
        return indexUsable_ ? &index_ : nullptr;
    indexKnown_ = true;
    indexUsable_ = false;
    if (pxIndex_ == SIZE_MAX || h_.keyFields == 0)
        return nullptr;
    const auto tree = readIndexTree(*files_, pxIndex_, PrimaryIndex, keySize_);
    if (!tree)
        return nullptr;
    index_ = *tree;
    indexUsable_ = true;
    return &index_;
}

std::uint16_t ParadoxTable::startFromIndex(const std::string& low) {
    const IndexTree* px = indexLayout();
    if (!px)
        return 0;
    const std::uint16_t block = descendIndexTree(*files_, *px, low);
    return block != 0 && canStartAt(block, low) ? block : 0;
}

bool ParadoxTable::canStartAt(std::uint16_t no, const std::string& low) {
    const std::uint16_t maxBlock = maxBlockNumber();
    if (no == 0 || no > maxBlock)
        return false;
    if (no == h_.firstBlock)
        return true;
    std::uint8_t head[6];
    if (files_->read(0, blockOffset(no), head, sizeof head) < sizeof head)
        return false;
    const std::uint16_t prev = le16(head + 2);
    if (prev == 0 || prev > maxBlock || prev == no)
        return false;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(blockSize_));
    const std::size_t got = files_->read(0, blockOffset(prev), buf.data(), buf.size());
    const int count = recordsIn(buf.data(), got, blockSize_, recordSize_);
    if (count <= 0 || le16(buf.data()) != no)
        return false;
    const std::uint8_t* last = buf.data() + 6 + std::size_t(count - 1) * std::size_t(recordSize_);
    return std::memcmp(last, low.data(), low.size()) < 0;
}

bool ParadoxTable::chainFromIndex() {
    const IndexTree* px = indexLayout();
    std::vector<DataBlockSummary> leaves;
    if (!px || !readTreeLeaves(*files_, *px, leaves))
        return false;
    const std::uint16_t maxBlock = maxBlockNumber();
    std::vector<int> seen(std::size_t(std::max<int>(maxBlock, h_.fileBlocks)) + 1, -1);
    std::uint64_t records = 0;
    chain_.reserve(leaves.size());
    counts_.reserve(leaves.size());
    firstKeys_.reserve(leaves.size());
    for (auto& leaf : leaves) {
        if (leaf.block > maxBlock || leaf.records > perBlock_)
            return false;
        // Keys of non-empty blocks rise along the chain (blocks whose order the sort order
        // leaves undecided pass).
        if (leaf.records > 0 && !firstKeys_.empty() && counts_.back() > 0) {
            const int c =
                compareKey(reinterpret_cast<const std::uint8_t*>(firstKeys_.back().data()),
                           reinterpret_cast<const std::uint8_t*>(leaf.firstKey.data()));
            if (c == 0 || c == 1)
                return false;
        }
        seen[leaf.block] = int(chain_.size());
        chain_.push_back(leaf.block);
        counts_.push_back(leaf.records);
        firstKeys_.push_back(leaf.records > 0 ? std::move(leaf.firstKey)
                                              : std::string(keySize_, '\0'));
        records += leaf.records;
    }
    if (records != h_.numRecords ||
        (chain_.empty() ? h_.firstBlock != 0
                        : chain_.front() != h_.firstBlock || chain_.back() != h_.lastBlock))
        return false;
    posOf_ = std::move(seen);
    return true;
}

void ParadoxTable::writeIndex(const std::vector<std::uint8_t>& px) {
    replaceContents(*files_, pxIndex_, px);
}

void ParadoxTable::rebuildIndex(const std::vector<std::uint8_t>& dbHeader) {
    ensureChain();
    std::vector<DataBlockSummary> blocks;
    blocks.reserve(chain_.size());
    for (std::size_t i = 0; i < chain_.size(); ++i)
        blocks.push_back({chain_[i], counts_[i], firstKeys_[i]});
    // The index keeps its own block size, which other programs often choose apart from the
    // table's (16 KiB tables with 2 KiB indexes, 2 KiB tables with 4 KiB ones).
    Header shape = h_;
    std::vector<std::uint8_t> head(0x4D);
    head.resize(files_->read(pxIndex_, 0, head.data(), head.size()));
    if (head.size() >= 6 && head[4] == PrimaryIndex && isParadoxBlockSize(head[5] * 1024) &&
        head[5] * 1024 >= int(2 * (keySize_ + 6) + 6))
        shape.maxTableSize = head[5];
    auto index = buildPrimaryIndex(shape, dbHeader, blocks);
    keepPxValues(index, head);
    writeIndex(index);
}

std::optional<IndexPath> ParadoxTable::indexPathTo(const Block& b) {
    IndexTree* px = indexLayout() ? &index_ : nullptr;
    if (!px || b.count == 0)
        return std::nullopt;
    auto path = IndexPath::find(*files_, *px, keyOf(b.record(0)), b.no, b.count, h_.numRecords);
    // The index header echoes the table header's index counter: an index that does not is out
    // of date for other programs, and is written anew.
    if (path && path->headerByte(0x2C) != headerBytes_[0x2D])
        return std::nullopt;
    return path;
}

std::vector<SecondaryIndex> ParadoxTable::secondaryIndexes() {
    auto found = findSecondaryIndexes(path_);
    for (auto& ix : found) {
        for (auto* p : {&ix.dataPath, &ix.treePath}) {
            if (p->empty())
                continue;
            auto [it, added] = companionSlots_.try_emplace(p->string(), SIZE_MAX);
            if (added)
                it->second = files_->addCompanion(*p);
            (p == &ix.dataPath ? ix.dataFile : ix.treeFile) = it->second;
        }
        examine(ix, *files_, h_);
    }
    return found;
}

std::vector<std::string> ParadoxTable::secondaryIndexRecords(
    const std::vector<const SecondaryIndex*>& indexes) {
    ensureChain();
    std::vector<std::string> records(indexes.size());
    for (std::size_t i = 0; i < indexes.size(); ++i)
        records[i].reserve(std::size_t(h_.numRecords) * indexes[i]->data.recordSize);
    for (std::uint16_t no : chain_) {
        Block b = loadBlock(no);
        for (int slot = 0; slot < b.count; ++slot)
            for (std::size_t i = 0; i < indexes.size(); ++i)
                appendIndexRecord(*indexes[i], h_, b.record(slot), no, records[i]);
    }
    return records;
}

SecondaryFiles ParadoxTable::buildSecondaryFiles(const SecondaryIndex& ix) {
    startStatement();
    auto records = secondaryIndexRecords({&ix});
    endRead();
    return buildSecondaryIndex(ix, records[0]);
}

bool ParadoxTable::tracksSecondaryIndexes() {
    if (!trackKnown_) {
        trackKnown_ = true;
        tracking_ = !findSecondaryIndexes(path_).empty();
    }
    return tracking_;
}

bool ParadoxTable::indexLeadsTo(const std::uint8_t* rec, std::uint16_t block) {
    return h_.keyFields > 0 && startFromIndex(keyOf(rec)) == block;
}

bool ParadoxTable::mayWriteInPlace() {
    // Each write by the index reads its path twice; past a 32nd of the table's blocks in
    // one transaction, reading the chain once (and writing the index anew) costs less.
    if (chainValid_ || inPlaceWrites_ >= 16 + int(h_.fileBlocks) / 32)
        return false;
    // The index header echoes the table's index counter, which the first commit raises.
    return h_.keyFields > 0 && order_.bytewise() && pxIndex_ != SIZE_MAX &&
           headerBytes_.size() > 0x2D && headerBytes_[0x2D] >= 2;
}

bool ParadoxTable::sortsBeforeNextBlock(const Block& b, const std::uint8_t* key) {
    const std::uint16_t next = b.next();
    if (next == 0)
        return b.no == h_.lastBlock;
    if (next > maxBlockNumber())
        return false;
    std::vector<std::uint8_t> head(6 + keySize_);
    if (files_->read(0, blockOffset(next), head.data(), head.size()) < head.size())
        return false;
    const bool holdsRecords = std::int16_t(le16(head.data() + 4)) >= 0;
    return holdsRecords && le16(head.data() + 2) == b.no &&
           std::memcmp(key, head.data() + 6, keySize_) < 0;
}

bool ParadoxTable::firstFreeBlockIsEmpty() {
    const std::uint16_t no = h_.firstFreeBlock;
    if (no == 0)
        return true;
    if (no > maxBlockNumber() || no == h_.firstBlock)
        return false;
    std::uint8_t head[6];
    return files_->read(0, blockOffset(no), head, sizeof head) == sizeof head &&
           recordsIn(head, sizeof head, blockSize_, recordSize_) == 0;
}

std::optional<ParadoxTable::Spot> ParadoxTable::spotInPlace(const std::uint8_t* rec) {
    if (!mayWriteInPlace())
        return std::nullopt;
    // The block the index leads the key to, which the chain links to after a block of lower
    // keys. The key belongs there when it sorts before the next block's first key, and (below
    // the block's first key) when the block is the first.
    const std::uint16_t no = startFromIndex(keyOf(rec));
    if (no == 0)
        return std::nullopt;
    Spot spot;
    spot.block = loadBlock(no);
    const Block& b = spot.block;
    if (b.count == 0)
        return std::nullopt;
    bool found = false;
    spot.slot = slotFor(rec, spot.block, found);
    if (found)
        throw KeyViolation();
    if ((spot.slot == 0 && no != h_.firstBlock) ||
        (spot.slot == b.count && !sortsBeforeNextBlock(b, rec)))
        return std::nullopt;
    spot.path = indexPathTo(b);
    const bool split = b.count >= perBlock_;
    if (!spot.path ||
        (split && (!firstFreeBlockIsEmpty() || h_.fileBlocks >= 0xFFFF || !spot.path->mayGrow())))
        return std::nullopt;
    return spot;
}

void ParadoxTable::placeInPlace(Spot& spot, const std::vector<std::uint8_t>& rec, RecordId id) {
    Block& b = spot.block;
    IndexPath& path = *spot.path;
    std::uint16_t at = b.no;
    // Secondary indexes follow the blocks' records (storeBlock cannot tell the chain here).
    noteBlockChange(b.no, true);
    if (b.count >= perBlock_) {
        Block nb;
        nb.no = allocateBlock();
        noteBlockChange(nb.no, false);
        if (auto freed = touched_.find(nb.no); freed != touched_.end())
            freed->second.left = false;
        at = splitFor(b, nb, spot.slot, rec, id);
        storeBlock(b);
        storeBlock(nb);
        path.addBehind(keyOf(nb.record(0)), nb.no, nb.count);
        ++h_.nextBlock;
        if (h_.lastBlock == b.no)
            h_.lastBlock = nb.no;
    } else {
        auto& ids = idsOf(b.no, b.count);
        std::memmove(b.record(spot.slot + 1), b.record(spot.slot),
                     std::size_t(b.count - spot.slot) * std::size_t(recordSize_));
        std::memcpy(b.record(spot.slot), rec.data(), rec.size());
        ++b.count;
        storeBlock(b);
        ids.insert(ids.begin() + spot.slot, id);
    }
    path.setRecords(b.count);
    path.setFirstKey(keyOf(b.record(0)));
    path.write(*files_, index_);
    ++inPlaceWrites_;
    setIdBlock(id, at);
    lastPlaced_ = at;
    ++h_.numRecords;
}

bool ParadoxTable::removeInPlace(Block& b, int slot, bool freeingBlobs) {
    if (!mayWriteInPlace() || !indexLeadsTo(b.record(slot), b.no))
        return false;
    // The first block stays first (it takes over its successor's records when emptied).
    const bool empties = b.count == 1;
    if (empties && b.no == h_.firstBlock)
        return false;
    auto path = indexPathTo(b);
    if (!path || (empties && !path->mayRemove()))
        return false;
    noteBlockChange(b.no, true);
    auto& ids = idsOf(b.no, b.count);
    if (freeingBlobs)
        freeBlobs(b.record(slot));
    ids.erase(ids.begin() + slot);
    --h_.numRecords;
    if (empties) {
        // indexLeadsTo found the block linked from its predecessor.
        const std::uint16_t prev = b.prev(), next = b.next();
        linkPast(prev, next);
        if (next == 0)
            h_.lastBlock = prev;
        --h_.nextBlock;
        freeBlock(b.no);
        if (auto gone = touched_.find(b.no); gone != touched_.end())
            gone->second.left = true;
        path->remove();
    } else {
        std::memmove(b.record(slot), b.record(slot + 1),
                     std::size_t(b.count - slot - 1) * std::size_t(recordSize_));
        --b.count;
        storeBlock(b);
        path->setRecords(b.count);
        path->setFirstKey(keyOf(b.record(0)));
    }
    path->write(*files_, index_);
    ++inPlaceWrites_;
    return true;
}

void ParadoxTable::noteBlockChange(std::uint16_t no, bool inChain) {
    if (!tracksSecondaryIndexes() || touchedTooMany_ || touched_.count(no))
        return;
    // Past an eighth of the table, reading every record is cheaper than editing entry by entry.
    const std::size_t blocks = chainValid_ ? chain_.size() : h_.nextBlock;
    if (touched_.size() >= 32 + blocks / 8) {
        touchedTooMany_ = true;
        touched_.clear();
        return;
    }
    TouchedBlock t;
    t.inChain = inChain;
    if (inChain) {
        t.bytes.resize(std::size_t(blockSize_));
        t.bytes.resize(files_->read(0, blockOffset(no), t.bytes.data(), t.bytes.size()));
    }
    touched_.emplace(no, std::move(t));
}

void ParadoxTable::forgetBlockChanges() {
    touched_.clear();
    trackKnown_ = tracking_ = touchedTooMany_ = false;
}

void ParadoxTable::updateSecondaryIndexes() {
    // No transaction changes index files beside the table while it holds the write lock.
    if (trackKnown_ && !tracking_ && !indexesBehind_)
        return;
    auto found = secondaryIndexes();
    if (found.empty())
        return;
    std::vector<const SecondaryIndex*> kept;
    for (auto& ix : found) {
        if (ix.problem.empty()) {
            kept.push_back(&ix);
            continue;
        }
        // An index that would be out of date after this commit gives other programs wrong
        // answers; without it they read the table by its primary key.
        for (const auto* p : {&ix.dataPath, &ix.treePath}) {
            std::error_code ec;
            if (!p->empty() && !std::filesystem::remove(*p, ec) && ec)
                throw EngineError("Cannot remove the secondary index " + p->string() + ": " +
                                  ec.message());
            companionSlots_.erase(p->string());  // a file made later under this name is new
        }
        notices_.push_back("Removed the secondary index " + ix.name() + " of " + label_ + ": " +
                           ix.problem + ".");
    }
    if (kept.empty())
        return;
    std::vector<const SecondaryIndex*> rebuild;
    if (tracking_ && !touchedTooMany_ && !indexesBehind_) {
        // The records of the changed blocks before and after, each with its block.
        std::vector<std::pair<std::uint16_t, const std::uint8_t*>> before, after;
        std::vector<Block> now;
        now.reserve(touched_.size());
        for (const auto& [no, t] : touched_) {
            if (t.inChain) {
                const int count =
                    recordsIn(t.bytes.data(), t.bytes.size(), blockSize_, recordSize_);
                if (count < 0 || 6 + std::size_t(count) * std::size_t(recordSize_) > t.bytes.size())
                    invalid("block " + std::to_string(no) + " is cut off");
                for (int i = 0; i < count; ++i)
                    before.push_back(
                        {no, t.bytes.data() + 6 + std::size_t(i) * std::size_t(recordSize_)});
            }
            const bool inChainNow = chainValid_ ? no < posOf_.size() && posOf_[no] >= 0 : !t.left;
            if (inChainNow) {
                now.push_back(loadBlock(no));
                for (int i = 0; i < now.back().count; ++i)
                    after.push_back({no, now.back().record(i)});
            }
        }
        for (const SecondaryIndex* ix : kept) {
            auto entries = [&](const auto& records) {
                std::vector<std::string> out;
                std::string e;
                for (auto [no, rec] : records) {
                    e.clear();
                    appendIndexRecord(*ix, h_, rec, no, e);
                    out.push_back(e);
                }
                std::sort(out.begin(), out.end());
                return out;
            };
            const auto was = entries(before), is = entries(after);
            // Entries of records that stayed as they were cancel out.
            std::vector<std::string> removed, added;
            std::set_difference(was.begin(), was.end(), is.begin(), is.end(),
                                std::back_inserter(removed));
            std::set_difference(is.begin(), is.end(), was.begin(), was.end(),
                                std::back_inserter(added));
            if (removed.empty() && added.empty())
                continue;
            if (!editSecondaryIndex(*files_, *ix, committed_.numRecords, std::move(removed),
                                    std::move(added))) {
                rebuild.push_back(ix);
                notices_.push_back("Rebuilt the secondary index " + ix->name() + " of " + label_ +
                                   ": it did not match the table.");
            }
        }
    } else {
        rebuild = kept;
    }
    if (rebuild.empty())
        return;
    auto records = secondaryIndexRecords(rebuild);
    for (std::size_t i = 0; i < rebuild.size(); ++i) {
        const SecondaryFiles built = buildSecondaryIndex(*rebuild[i], records[i]);
        std::string().swap(records[i]);
        replaceContents(*files_, rebuild[i]->dataFile, built.data);
        replaceContents(*files_, rebuild[i]->treeFile, built.tree);
    }
}

std::vector<std::string> ParadoxTable::takeNotices() {
    return std::exchange(notices_, {});
}

void ParadoxTable::chainInsert(int pos, std::uint16_t no, int count, std::string firstKey) {
    noteBlockChange(no, false);
    chain_.insert(chain_.begin() + pos, no);
    counts_.insert(counts_.begin() + pos, std::uint16_t(count));
    firstKeys_.insert(firstKeys_.begin() + pos, std::move(firstKey));
    if (posOf_.size() <= no)
        posOf_.resize(std::size_t(no) + 1, -1);
    for (std::size_t i = std::size_t(pos); i < chain_.size(); ++i)
        posOf_[chain_[i]] = int(i);
}

void ParadoxTable::chainErase(int pos) {
    noteBlockChange(chain_[std::size_t(pos)], true);
    posOf_[chain_[std::size_t(pos)]] = -1;
    chain_.erase(chain_.begin() + pos);
    counts_.erase(counts_.begin() + pos);
    firstKeys_.erase(firstKeys_.begin() + pos);
    for (std::size_t i = std::size_t(pos); i < chain_.size(); ++i)
        posOf_[chain_[i]] = int(i);
}

int ParadoxTable::blockFor(const std::uint8_t* key, const std::vector<std::string>& firsts,
                           const std::vector<std::uint16_t>& counts) const {
    // The last block whose first key is <= key. Under a national sort order every comparison
    // made must be decided: the chain is in that order, so the decided ones agree with it.
    std::size_t lo = 0, hi = firsts.size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        const auto* first = reinterpret_cast<const std::uint8_t*>(firsts[mid].data());
        if (counts[mid] == 0 || placeKey(key, first) >= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo == 0 ? 0 : int(lo) - 1;
}

int ParadoxTable::slotFor(const std::uint8_t* key, Block& b, bool& found) const {
    int from = 0, to = b.count;
    while (from < to) {
        const int mid = (from + to) / 2;
        if (placeKey(key, b.record(mid)) > 0)
            from = mid + 1;
        else
            to = mid;
    }
    found = from < b.count && placeKey(key, b.record(from)) == 0;
    return from;
}

ParadoxTable::Place ParadoxTable::findKey(const std::uint8_t* key, Block* loaded) {
    Place p;
    if (chain_.empty())
        return p;
    p.pos = blockFor(key, firstKeys_, counts_);
    *loaded = loadBlock(chain_[std::size_t(p.pos)]);
    p.slot = slotFor(key, *loaded, p.found);
    return p;
}

void ParadoxTable::checkPlacement(const std::uint8_t* key, std::uint16_t goneBlock, int goneSlot) {
    // The search findKey will make once removeAt took the record away, on a copy of the chain:
    // the block loses the record, and an emptied block leaves the chain (the first block takes
    // over its successor's records, which comes to the same for the search).
    std::vector<std::string> firsts = firstKeys_;
    std::vector<std::uint16_t> counts = counts_;
    std::vector<std::size_t> real(chain_.size());  // chain position of each block searched
    for (std::size_t i = 0; i < real.size(); ++i)
        real[i] = i;
    const std::size_t at = std::size_t(posOf_[goneBlock]);
    Block gone = loadBlock(goneBlock);
    std::memmove(gone.record(goneSlot), gone.record(goneSlot + 1),
                 std::size_t(gone.count - goneSlot - 1) * std::size_t(recordSize_));
    --gone.count;
    if (gone.count == 0 && chain_.size() > 1) {
        firsts.erase(firsts.begin() + long(at));
        counts.erase(counts.begin() + long(at));
        real.erase(real.begin() + long(at));
    } else {
        counts[at] = std::uint16_t(gone.count);
        if (goneSlot == 0 && gone.count > 0)
            firsts[at] = keyOf(gone.record(0));
    }
    const std::size_t pos = std::size_t(blockFor(key, firsts, counts));
    Block b = real[pos] == at ? std::move(gone) : loadBlock(chain_[real[pos]]);
    bool found = false;
    slotFor(key, b, found);
}

std::uint16_t ParadoxTable::allocateBlock() {
    std::uint16_t no;
    if (h_.firstFreeBlock != 0 && h_.firstFreeBlock <= maxBlockNumber() &&
        (h_.firstFreeBlock >= posOf_.size() || posOf_[h_.firstFreeBlock] == -1)) {
        no = h_.firstFreeBlock;
        std::uint8_t head[2];
        files_->read(0, blockOffset(no), head, 2);
        h_.firstFreeBlock = le16(head);
    } else {
        h_.firstFreeBlock = 0;  // a damaged free list is dropped rather than followed
        if (h_.fileBlocks >= 0xFFFF)
            throw EngineError(tableFullMessage());
        no = std::uint16_t(std::max<int>(h_.fileBlocks, maxBlockNumber()) + 1);
        h_.fileBlocks = no;
    }
    if (posOf_.size() <= no)
        posOf_.resize(std::size_t(no) + 1, -1);
    auto& ids = idsOf(no, 0);
    ids.clear();
    return no;
}

std::string ParadoxTable::tableFullMessage() const {
    std::string text = label_ + " is full: a Paradox table holds at most 65535 blocks, here of " +
                       std::to_string(blockSize_ / 1024) + " KiB. ";
    // Blocks above 4 KiB need the table's level to be 5 or later.
    const int largest = h_.majorVersion() >= 5 ? 32768 : 4096;
    if (blockSize_ < largest)
        return text + "To make room, give it larger blocks with ALTER TABLE \"" +
               path_.filename().string() + "\" BLOCK SIZE " + std::to_string(largest) +
               " (everything else stays as it is), or delete records.";
    return text + "To make room, delete records or split the table in two.";
}

void ParadoxTable::freeBlock(std::uint16_t no) {
    Block b;
    b.no = no;
    b.recordSize = recordSize_;
    b.bytes.assign(std::size_t(blockSize_), 0);
    b.count = 0;
    b.setNext(h_.firstFreeBlock);
    storeBlock(b);
    h_.firstFreeBlock = no;
    idsOf(no, 0).clear();
}

void ParadoxTable::linkAfter(Block& nb, Block& prevBlock) {
    std::uint16_t after = prevBlock.next();
    nb.setPrev(prevBlock.no);
    nb.setNext(after);
    prevBlock.setNext(nb.no);
    if (after != 0) {
        std::uint8_t p[2];
        putLe16(p, nb.no);
        files_->write(0, blockOffset(after) + 2, p, 2);
    }
}

void ParadoxTable::linkPast(std::uint16_t prev, std::uint16_t next) {
    std::uint8_t p[2];
    if (prev) {
        putLe16(p, next);
        files_->write(0, blockOffset(prev), p, 2);
    }
    if (next) {
        putLe16(p, prev);
        files_->write(0, blockOffset(next) + 2, p, 2);
    }
}

void ParadoxTable::unlinkAt(int pos) {
    std::uint16_t no = chain_[std::size_t(pos)];
    std::uint16_t prev = pos > 0 ? chain_[std::size_t(pos - 1)] : 0;
    std::uint16_t next = std::size_t(pos + 1) < chain_.size() ? chain_[std::size_t(pos + 1)] : 0;
    linkPast(prev, next);
    chainErase(pos);
    freeBlock(no);
}

// ---------------------------------------------------------------------------------------------
// Record identities

RecordId ParadoxTable::naturalId(std::uint16_t block, int slot) const {
    return (RecordId(block) << 16) | RecordId(slot + 1);
}

RecordId ParadoxTable::idAt(std::uint16_t block, int slot) const {
    if (block < idsMaterialized_.size() && idsMaterialized_[block])
        return blockIds_[block][std::size_t(slot)];
    return naturalId(block, slot);
}

std::vector<RecordId>& ParadoxTable::idsOf(std::uint16_t block, int liveCount) {
    if (blockIds_.size() <= block) {
        blockIds_.resize(std::size_t(block) + 1);
        idsMaterialized_.resize(std::size_t(block) + 1, false);
    }
    if (!blockUndo_.count(block))
        blockUndo_.emplace(block, std::make_pair(bool(idsMaterialized_[block]), blockIds_[block]));
    if (!idsMaterialized_[block]) {
        auto& ids = blockIds_[block];
        ids.resize(std::size_t(liveCount));
        for (int s = 0; s < liveCount; ++s)
            ids[std::size_t(s)] = naturalId(block, s);
        idsMaterialized_[block] = true;
    }
    return blockIds_[block];
}

void ParadoxTable::setIdBlock(RecordId id, std::uint16_t block) {
    if (id >= kNewIdBase) {
        std::size_t idx = std::size_t(id - kNewIdBase);
        if (idx < newIdMark_)
            newUndo_.emplace_back(idx, newIdBlock_[idx]);
        newIdBlock_[idx] = block;
        return;
    }
    auto it = movedIds_.find(id);
    movedUndo_.emplace_back(id, it != movedIds_.end(), it != movedIds_.end() ? it->second : 0);
    if (block == std::uint16_t(id >> 16) && block != 0)
        movedIds_.erase(id);
    else
        movedIds_[id] = block;
}

RecordId ParadoxTable::newId(std::uint16_t block) {
    newIdBlock_.push_back(block);
    return kNewIdBase + (newIdBlock_.size() - 1);
}

bool ParadoxTable::locate(RecordId id, std::uint16_t& block, int& slot) {
    if (id >= kNewIdBase) {
        std::size_t idx = std::size_t(id - kNewIdBase);
        if (idx >= newIdBlock_.size())
            return false;
        block = newIdBlock_[idx];
    } else {
        auto it = movedIds_.find(id);
        block = it != movedIds_.end() ? it->second : std::uint16_t(id >> 16);
    }
    if (block == 0 || block > maxBlockNumber())
        return false;
    if (block < idsMaterialized_.size() && idsMaterialized_[block]) {
        const auto& ids = blockIds_[block];
        auto it = std::find(ids.begin(), ids.end(), id);
        if (it == ids.end())
            return false;
        slot = int(it - ids.begin());
        return true;
    }
    if (id >= kNewIdBase)
        return false;
    slot = int(id & 0xFFFF) - 1;
    if (slot < 0)
        return false;
    if (chainValid_ && (block >= posOf_.size() || posOf_[block] < 0))
        return false;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(blockSize_));
    return slot < readBlock(block, buf.data());
}

// ---------------------------------------------------------------------------------------------
// Reading

std::unique_ptr<TableCursor> ParadoxTable::scan() {
    return std::make_unique<ParadoxCursor>(*this, firstChainBlock(), 0);
}

std::unique_ptr<TableCursor> ParadoxTable::range(const Record& low, bool lowInclusive,
                                                 const Record& high, bool highInclusive) {
    if (h_.keyFields == 0) {
        if (low.empty() && high.empty())
            return scan();
        throw EngineError(label_ + " has no primary key to search a range of");
    }
    std::size_t nLow = 0, nHigh = 0;
    std::string lowKey = encodeKeyPrefix(low, nLow);
    std::string highKey = encodeKeyPrefix(high, nHigh);
    // Under a national sort order the records are in byte order only up to the first Alpha key
    // field: the search for the first block goes by that part of the low bound, and the bounds
    // compare the bytes of each record from there (see ParadoxCursor::setBounds).
    const std::size_t ordered = order_.bytewisePrefix();
    const std::string seek = lowKey.substr(0, std::min(lowKey.size(), ordered));
    std::uint16_t start = firstChainBlock();
    if (!seek.empty() && !chainValid_ && start != 0) {
        start = startFromIndex(seek);
        if (start == 0)
            ensureChain();
    }
    if (chainValid_)
        start = chain_.empty() ? 0 : chain_.front();
    if (!seek.empty() && chainValid_ && !chain_.empty()) {
        // Blocks whose first key is below the bound on its prefix hold nothing before the
        // last of them.
        std::size_t pos = 0;
        std::size_t lo = 0, hi = chain_.size();
        while (lo < hi) {
            std::size_t mid = (lo + hi) / 2;
            if (std::memcmp(firstKeys_[mid].data(), seek.data(), seek.size()) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        pos = lo == 0 ? 0 : lo - 1;
        start = chain_[pos];
    }
    auto c = std::make_unique<ParadoxCursor>(*this, start, 0);
    c->setBounds(std::move(lowKey), lowInclusive, std::move(highKey), highInclusive, ordered);
    return c;
}

Record ParadoxTable::read(RecordId id) {
    std::uint16_t block = 0;
    int slot = 0;
    if (!locate(id, block, slot))
        throw EngineError(label_ + ": the record no longer exists");
    Block b = loadBlock(block);
    return decodeRecord(b.record(slot));
}

// ---------------------------------------------------------------------------------------------
// Writing

void ParadoxTable::requireWritable() const {
    if (!damage_.empty())
        throw EngineError(damagedRefusal(path_, damage_));
    if (!files_->writable() || mode_ == OpenMode::ReadOnly)
        throw EngineError("Cannot write " + label_ + ": the table is open read-only.");
}

bool ParadoxTable::noticeForeignChanges() {
    forgetDataSize();
    indexKnown_ = false;
    std::vector<std::uint8_t> now(headerBytes_.size());
    std::size_t got = files_->read(0, 0, now.data(), now.size());
    if (got == now.size() && now == headerBytes_)
        return false;
    loadHeader();
    invalidateChain();
    blockIds_.clear();
    idsMaterialized_.clear();
    movedIds_.clear();
    std::fill(newIdBlock_.begin(), newIdBlock_.end(), 0);
    return true;
}

void ParadoxTable::forgetRecordIds() {
    if (files_->inTransaction())
        return;
    // Every record is found by its natural id (block and slot) again.
    std::vector<std::vector<RecordId>>().swap(blockIds_);
    std::vector<bool>().swap(idsMaterialized_);
    std::unordered_map<RecordId, std::uint16_t>().swap(movedIds_);
    std::vector<std::uint16_t>().swap(newIdBlock_);
    newIdMark_ = 0;
}

void ParadoxTable::startStatement() {
    if (files_->inTransaction())
        return;
    noticeForeignChanges();
    // The chain summary of a keyed table comes cheaply from the index again; another process
    // may have moved keys between blocks without changing the header.
    if (h_.keyFields > 0)
        invalidateChain();
}

void ParadoxTable::beginInternal() {
    requireWritable();
    files_->begin();
    try {
        // Another process may have written since we last looked.
        noticeForeignChanges();
        if (h_.keyFields > 0)
            invalidateChain();
        // New blocks go after the last one the header counts: past the end of a file cut short.
        if (h_.fileBlocks > maxBlockNumber()) {
            throw EngineError(damagedRefusal(
                path_, "its header counts " + std::to_string(h_.fileBlocks) +
                           " blocks, but the file holds only " + std::to_string(maxBlockNumber())));
        }
    } catch (...) {
        files_->rollback();
        throw;
    }
    blockUndo_.clear();
    movedUndo_.clear();
    newUndo_.clear();
    newIdMark_ = newIdBlock_.size();
    blobSpace_.reset();
    structureChanged_ = false;
    recordsChanged_ = false;
    inPlaceWrites_ = 0;
    forgetBlockChanges();
}

void ParadoxTable::commitInternal() {
    if (chainValid_) {
        h_.nextBlock = std::uint16_t(chain_.size());
        h_.firstBlock = chain_.empty() ? 0 : chain_.front();
        h_.lastBlock = chain_.empty() ? 0 : chain_.back();
    }
    std::vector<std::uint8_t> bytes = headerBytes_;
    patchCounters(bytes, h_);
    // Index managers check this counter to tell whether the .px is current.
    if (h_.keyFields > 0 && bytes[0x2D] < 2)
        bytes[0x2D] = 2;
    if (bytes != headerBytes_)
        files_->write(0, 0, bytes.data(), std::min<std::size_t>(bytes.size(), 0x78));
    if (structureChanged_ && pxIndex_ != SIZE_MAX)
        rebuildIndex(bytes);
    if (mbIndex_ != SIZE_MAX)
        blobSpace_.save(*files_, mbIndex_);
    bool behind = indexesBehind_;
    if (recordsChanged_ || structureChanged_ || indexesBehind_) {
        if (deferIndexes_) {
            behind = true;
        } else {
            updateSecondaryIndexes();
            behind = false;
        }
    }
    files_->commit();
    indexesBehind_ = behind;
    forgetBlockChanges();
    blobSpace_.reset();
    forgetDataSize();
    indexKnown_ = false;
    forgetLookupIndexes();
    recordsChanged_ = false;
    headerBytes_ = std::move(bytes);
    committed_ = h_;
    blockUndo_.clear();
    movedUndo_.clear();
    newUndo_.clear();
}

void ParadoxTable::rollbackInternal() {
    files_->rollback();
    forgetBlockChanges();
    forgetDataSize();
    indexKnown_ = false;
    forgetLookupIndexes();
    blobSpace_.reset();
    h_ = committed_;
    invalidateChain();
    for (auto it = movedUndo_.rbegin(); it != movedUndo_.rend(); ++it) {
        auto [id, had, block] = *it;
        if (had)
            movedIds_[id] = block;
        else
            movedIds_.erase(id);
    }
    for (auto it = newUndo_.rbegin(); it != newUndo_.rend(); ++it)
        newIdBlock_[it->first] = it->second;
    newIdBlock_.resize(newIdMark_);
    for (auto& [block, saved] : blockUndo_) {
        idsMaterialized_[block] = saved.first;
        blockIds_[block] = std::move(saved.second);
    }
    blockUndo_.clear();
    movedUndo_.clear();
    newUndo_.clear();
}

void ParadoxTable::raiseAutoIncrementTo(const std::uint8_t* rec) {
    for (const auto& f : h_.fields) {
        if (f.code != kAutoInc)
            continue;
        auto v = getSortableInt(rec + f.offset, 4);
        if (v && *v > std::int64_t(h_.autoInc))
            h_.autoInc = std::uint32_t(*v);
    }
}

void ParadoxTable::raiseAutoIncrement(std::uint32_t value) {
    if (value <= h_.autoInc)
        return;
    bool own = ownWrite();
    h_.autoInc = value;
    finishOwnWrite(own);
}

void ParadoxTable::begin() {
    if (files_->inTransaction())
        throw EngineError(label_ + ": a transaction is already open");
    beginInternal();
    explicitTx_ = true;
}

void ParadoxTable::commitBatchDeferringIndexes() {
    deferIndexes_ = true;
    try {
        commit();
    } catch (...) {
        deferIndexes_ = false;
        throw;
    }
    deferIndexes_ = false;
    forgetRecordIds();
    begin();
}

void ParadoxTable::commit() {
    if (!explicitTx_)
        throw EngineError(label_ + ": no transaction is open");
    explicitTx_ = false;
    try {
        commitInternal();
    } catch (...) {
        rollbackInternal();
        throw;
    }
}

void ParadoxTable::rollback() {
    if (!explicitTx_)
        return;
    explicitTx_ = false;
    rollbackInternal();
}

bool ParadoxTable::ownWrite() {
    if (files_->inTransaction())
        return false;
    beginInternal();
    return true;
}

void ParadoxTable::finishOwnWrite(bool own) {
    if (own)
        commitInternal();
}

void ParadoxTable::failOwnWrite(bool own) {
    if (own && files_->inTransaction())
        rollbackInternal();
}

bool ParadoxTable::sortsAfterTail(const std::uint8_t* key) {
    if (chain_.empty())
        return false;
    if (!tailKeyValid_) {
        const int count = counts_.back();
        if (count == 0)
            return false;
        std::string last(keySize_, '\0');
        files_->read(
            0,
            blockOffset(chain_.back()) + 6 + std::uint64_t(count - 1) * std::uint64_t(recordSize_),
            last.data(), keySize_);
        tailKey_ = std::move(last);
        tailKeyValid_ = true;
    }
    // Only when the order says so, or, in a copy in key order, leaves it undecided; findKey
    // decides (or refuses) the rest.
    const int c = compareKey(key, reinterpret_cast<const std::uint8_t*>(tailKey_.data()));
    return c == 1 || (c == kUndecided && copyInKeyOrder_);
}

bool ParadoxTable::appendAtEnd(const std::vector<std::uint8_t>& rec, RecordId id) {
    if (chain_.empty())
        return false;
    if (h_.keyFields > 0 && !sortsAfterTail(rec.data()))
        return false;
    appendAfter(int(chain_.size()) - 1, rec, id);
    if (h_.keyFields > 0) {
        tailKey_ = keyOf(rec.data());
        tailKeyValid_ = true;
    }
    return true;
}

void ParadoxTable::placeRecord(const std::vector<std::uint8_t>& rec, RecordId id, Block* probed,
                               const Place* probedPlace) {
    if (!probed && appendAtEnd(rec, id))
        return;
    tailKeyValid_ = false;
    const std::uint8_t* key = rec.data();
    std::uint16_t at = 0;
    if (chain_.empty()) {
        std::uint16_t no = allocateBlock();
        Block b;
        b.no = no;
        b.recordSize = recordSize_;
        b.bytes.assign(std::size_t(blockSize_), 0);
        b.count = 1;
        std::memcpy(b.record(0), rec.data(), rec.size());
        storeBlock(b);
        chainInsert(0, no, 1, keyOf(rec.data()));
        idsOf(no, 0).push_back(id);
        at = no;
    } else {
        Block b;
        int pos, slot;
        if (h_.keyFields > 0) {
            Place p;
            if (probed) {
                p = *probedPlace;
                b = std::move(*probed);
            } else {
                p = findKey(key, &b);
            }
            if (p.found)
                throw KeyViolation();
            pos = p.pos;
            slot = p.slot;
        } else {
            pos = int(chain_.size()) - 1;
            b = loadBlock(chain_.back());
            slot = b.count;
        }
        auto& ids = idsOf(b.no, b.count);
        if (b.count < perBlock_) {
            std::memmove(b.record(slot + 1), b.record(slot),
                         std::size_t(b.count - slot) * std::size_t(recordSize_));
            std::memcpy(b.record(slot), rec.data(), rec.size());
            ++b.count;
            storeBlock(b);
            ids.insert(ids.begin() + slot, id);
            counts_[std::size_t(pos)] = std::uint16_t(b.count);
            if (slot == 0)
                firstKeys_[std::size_t(pos)] = keyOf(rec.data());
            at = b.no;
        } else {
            Block nb;
            nb.no = allocateBlock();
            at = splitFor(b, nb, slot, rec, id);
            storeBlock(b);
            storeBlock(nb);
            counts_[std::size_t(pos)] = std::uint16_t(b.count);
            firstKeys_[std::size_t(pos)] = keyOf(b.record(0));
            chainInsert(pos + 1, nb.no, nb.count, keyOf(nb.record(0)));
        }
    }
    setIdBlock(id, at);
    lastPlaced_ = at;
    structureChanged_ = true;
}

std::uint16_t ParadoxTable::splitFor(Block& b, Block& nb, int slot,
                                     const std::vector<std::uint8_t>& rec, RecordId id) {
    nb.recordSize = recordSize_;
    nb.bytes.assign(std::size_t(blockSize_), 0);
    auto& nids = idsOf(nb.no, 0);
    auto& bids = idsOf(b.no, b.count);  // idsOf may have grown the table of blocks
    linkAfter(nb, b);
    if (slot == b.count) {
        // Past the end of a full block: start the next one.
        nb.count = 1;
        std::memcpy(nb.record(0), rec.data(), rec.size());
        nids.push_back(id);
        return nb.no;
    }
    // In key order the records after this one follow it into the block it goes to; a split
    // there leaves that block at least half full either way.
    const int half = splitAtSlot_ && slot >= b.count / 2 ? slot : b.count / 2;
    const int moved = b.count - half;
    std::memcpy(nb.record(0), b.record(half), std::size_t(moved) * std::size_t(recordSize_));
    nb.count = moved;
    b.count = half;
    nids.assign(bids.begin() + half, bids.end());
    bids.resize(std::size_t(half));
    for (RecordId m : nids)
        setIdBlock(m, nb.no);
    Block& target = slot <= half ? b : nb;
    auto& tids = slot <= half ? bids : nids;
    const int s = slot <= half ? slot : slot - half;
    std::memmove(target.record(s + 1), target.record(s),
                 std::size_t(target.count - s) * std::size_t(recordSize_));
    std::memcpy(target.record(s), rec.data(), rec.size());
    ++target.count;
    tids.insert(tids.begin() + s, id);
    return target.no;
}

void ParadoxTable::removeAt(std::uint16_t blockNo, int slot) {
    tailKeyValid_ = false;
    int pos = posOf_[blockNo];
    Block b = loadBlock(blockNo);
    auto& ids = idsOf(b.no, b.count);
    std::memmove(b.record(slot), b.record(slot + 1),
                 std::size_t(b.count - slot - 1) * std::size_t(recordSize_));
    --b.count;
    ids.erase(ids.begin() + slot);
    structureChanged_ = true;
    if (b.count == 0 && chain_.size() > 1) {
        if (pos == 0) {
            // The first block stays first: it takes over its successor's records.
            Block s = loadBlock(chain_[1]);
            std::vector<RecordId> moved = idsOf(s.no, s.count);
            idsOf(s.no, s.count).clear();
            std::memcpy(b.record(0), s.record(0), std::size_t(s.count) * std::size_t(recordSize_));
            b.count = s.count;
            b.setNext(s.next());
            for (RecordId m : moved)
                setIdBlock(m, b.no);
            idsOf(b.no, 0) = std::move(moved);
            storeBlock(b);
            if (s.next() != 0) {
                std::uint8_t p[2];
                putLe16(p, b.no);
                files_->write(0, blockOffset(s.next()) + 2, p, 2);
            }
            counts_[0] = counts_[1];
            firstKeys_[0] = firstKeys_[1];
            chainErase(1);
            freeBlock(s.no);
        } else {
            unlinkAt(pos);
        }
        return;
    }
    storeBlock(b);
    counts_[std::size_t(pos)] = std::uint16_t(b.count);
    if (slot == 0 && b.count > 0)
        firstKeys_[std::size_t(pos)] = keyOf(b.record(0));
}

RecordId ParadoxTable::insert(const Record& record) {
    bool own = ownWrite();
    try {
        auto rec = encodeRecord(record, nullptr);
        RecordId id = 0;
        if (auto spot = spotInPlace(rec.data())) {
            writeBlobs(record, rec.data(), nullptr);
            id = newId(0);
            placeInPlace(*spot, rec, id);
            raiseAutoIncrementTo(rec.data());
            recordsChanged_ = true;
        } else {
            ensureChain();
            id = insertEncoded(rec, &record);
        }
        finishOwnWrite(own);
        return id;
    } catch (...) {
        failOwnWrite(own);
        throw;
    }
}

int ParadoxTable::positionAfterLastPlaced(const std::uint8_t* key) {
    if (h_.keyFields == 0 || !chainValid_ || lastPlaced_ == 0 || lastPlaced_ >= posOf_.size())
        return -1;
    const int pos = posOf_[lastPlaced_];
    if (pos < 0 || std::size_t(pos) + 1 >= chain_.size())
        return -1;
    const int count = counts_[std::size_t(pos)];
    if (count == 0 || counts_[std::size_t(pos) + 1] == 0)
        return -1;
    std::string last(keySize_, '\0');
    files_->read(
        0, blockOffset(lastPlaced_) + 6 + std::uint64_t(count - 1) * std::uint64_t(recordSize_),
        last.data(), keySize_);
    const auto* next =
        reinterpret_cast<const std::uint8_t*>(firstKeys_[std::size_t(pos) + 1].data());
    if (compareKey(key, reinterpret_cast<const std::uint8_t*>(last.data())) != 1 ||
        compareKey(key, next) != -1)
        return -1;
    return pos;
}

void ParadoxTable::appendAfter(int pos, const std::vector<std::uint8_t>& rec, RecordId id) {
    tailKeyValid_ = false;
    const std::uint16_t no = chain_[std::size_t(pos)];
    const int count = counts_[std::size_t(pos)];
    std::uint16_t at = no;
    if (count < perBlock_) {
        noteBlockChange(no, true);
        auto& ids = idsOf(no, count);
        std::uint8_t add[2];
        putLe16(add, std::uint32_t(std::uint16_t(count * recordSize_)));
        files_->write(0, blockOffset(no) + 6 + std::uint64_t(count) * std::uint64_t(recordSize_),
                      rec.data(), rec.size());
        files_->write(0, blockOffset(no) + 4, add, 2);
        ids.push_back(id);
        counts_[std::size_t(pos)] = std::uint16_t(count + 1);
        if (count == 0)
            firstKeys_[std::size_t(pos)] = keyOf(rec.data());
    } else {
        const std::uint16_t after =
            std::size_t(pos) + 1 < chain_.size() ? chain_[std::size_t(pos) + 1] : 0;
        std::uint8_t link[2];
        Block nb;
        nb.no = allocateBlock();
        nb.recordSize = recordSize_;
        nb.bytes.assign(std::size_t(blockSize_), 0);
        nb.setPrev(no);
        nb.setNext(after);
        nb.count = 1;
        std::memcpy(nb.record(0), rec.data(), rec.size());
        storeBlock(nb);
        putLe16(link, nb.no);
        files_->write(0, blockOffset(no), link, 2);
        if (after != 0)
            files_->write(0, blockOffset(after) + 2, link, 2);
        idsOf(nb.no, 0).push_back(id);
        chainInsert(pos + 1, nb.no, 1, keyOf(rec.data()));
        at = nb.no;
    }
    setIdBlock(id, at);
    lastPlaced_ = at;
    structureChanged_ = true;
}

RecordId ParadoxTable::insertEncoded(std::vector<std::uint8_t>& rec, const Record* values,
                                     bool inKeyOrder) {
    if (inKeyOrder && !values) {
        // Right behind the record placed last: no search, and only the record is written.
        const int pos = positionAfterLastPlaced(rec.data());
        if (pos >= 0) {
            const RecordId id = newId(0);
            appendAfter(pos, rec, id);
            ++h_.numRecords;
            recordsChanged_ = true;
            return id;
        }
    }
    // A key past the last one (the common case of rows arriving in key order) cannot be
    // taken yet and goes behind the last record without a search.
    Block probe;
    Place place;
    const bool searched = h_.keyFields > 0 && !chain_.empty() && !sortsAfterTail(rec.data());
    if (searched) {
        place = findKey(rec.data(), &probe);
        if (place.found)
            throw KeyViolation();
    }
    if (values)
        writeBlobs(*values, rec.data(), nullptr);
    RecordId id = newId(0);
    // The block found above is still as it was: blobs live in their own file.
    splitAtSlot_ = inKeyOrder;
    try {
        placeRecord(rec, id, searched ? &probe : nullptr, searched ? &place : nullptr);
    } catch (...) {
        splitAtSlot_ = false;
        throw;
    }
    splitAtSlot_ = false;
    raiseAutoIncrementTo(rec.data());
    ++h_.numRecords;
    recordsChanged_ = true;
    return id;
}

// Records are encoded when taken, so that a value the table cannot take is refused then, in the
// order the records came; the keys of kept records are checked when they are stored.
class ParadoxSortedInsert final : public SortedInsert {
  public:
    explicit ParadoxSortedInsert(ParadoxTable& t)
        : t_(t),
          runs_(std::size_t(t.recordSize_), t.keySize_, t.path_),
          layout_(layoutOf(t)),
          generation_(t.generation_) {}

    bool add(const Record& record, std::string_view note) override {
        auto rec = t_.encodeRecord(record, nullptr);
        if (!keeping_) {
            // Keys compare in byte order here (see sortedInsert()).
            const std::string_view key(reinterpret_cast<const char*>(rec.data()), t_.keySize_);
            if (!anyStored_ || key >= lastKey_) {
                lastKey_.assign(key);
                anyStored_ = true;
                storeEncoded(rec);
                return true;
            }
            keeping_ = true;
        }
        runs_.add(rec.data(), note);
        return false;
    }
    std::uint64_t count() const override { return runs_.count(); }
    bool next() override { return runs_.next(); }
    std::string_view note() const override { return runs_.note(); }
    void store() override {
        rec_.assign(runs_.record(), runs_.record() + t_.recordSize_);
        storeEncoded(rec_);
    }
    std::uint64_t pendingBytes() const override { return t_.files_->pendingBytes(); }

  private:
    void storeEncoded(std::vector<std::uint8_t>& rec) {
        const bool own = t_.ownWrite();
        try {
            // Another process may have restructured the table since the records were encoded.
            if (t_.generation_ != generation_) {
                if (layoutOf(t_) != layout_)
                    throw EngineError(t_.label_ + " changed its fields while rows were being read");
                generation_ = t_.generation_;
            }
            t_.ensureChain();
            t_.insertEncoded(rec, nullptr, true);
            t_.finishOwnWrite(own);
        } catch (...) {
            t_.failOwnWrite(own);
            throw;
        }
    }
    static std::string layoutOf(const ParadoxTable& t) {
        std::string layout = std::to_string(t.recordSize_) + "/" + std::to_string(t.h_.keyFields);
        for (const auto& f : t.h_.fields)
            layout += "/" + std::to_string(f.code) + ":" + std::to_string(f.size);
        return layout;
    }

    ParadoxTable& t_;
    KeySortedRuns runs_;
    std::string layout_;
    std::uint64_t generation_;
    std::vector<std::uint8_t> rec_;
    bool keeping_ = false;
    bool anyStored_ = false;
    std::string lastKey_;
};

std::unique_ptr<SortedInsert> ParadoxTable::sortedInsert() {
    if (h_.keyFields == 0 || !order_.bytewise() || !damage_.empty() || !files_->writable())
        return nullptr;
    for (const auto& f : h_.fields)
        if (isBlobCode(f.code) || f.code == kAutoInc)
            return nullptr;
    return std::make_unique<ParadoxSortedInsert>(*this);
}

void ParadoxTable::update(RecordId id, const Record& record) {
    bool own = ownWrite();
    try {
        std::uint16_t block = 0;
        int slot = 0;
        if (!locate(id, block, slot))
            throw EngineError(label_ + ": the record no longer exists");
        Block b = loadBlock(block);
        std::vector<std::uint8_t> old(b.record(slot), b.record(slot) + recordSize_);
        auto rec = encodeRecord(record, old.data());
        bool keyMoves = h_.keyFields > 0 && compareKey(rec.data(), old.data()) != 0;
        // A moving key goes by the index alone as a delete and an insert do, once its new place
        // is known to be free: the record leaves its block, and its new one is looked for again
        // (the chain is read when the index cannot tell it after all).
        if (keyMoves && spotInPlace(rec.data()) && removeInPlace(b, slot, false)) {
            writeBlobs(record, rec.data(), old.data());
            if (auto spot = spotInPlace(rec.data())) {
                placeInPlace(*spot, rec, id);
            } else {
                ensureChain();
                placeRecord(rec, id);
                ++h_.numRecords;
            }
            raiseAutoIncrementTo(rec.data());
            recordsChanged_ = true;
            finishOwnWrite(own);
            return;
        }
        // A record that keeps its key is rewritten where it is, which needs no chain (reading
        // the whole primary index for it costs more than the update) once the index confirms
        // that its block is in use; a moving key or a block the index does not lead to take
        // the chain as every other write does.
        if (!chainValid_ && (keyMoves || !indexLeadsTo(old.data(), block))) {
            ensureChain();
            if (block >= posOf_.size() || posOf_[block] < 0)
                throw EngineError(label_ + ": the record no longer exists");
        }
        if (keyMoves) {
            Block probe;
            if (findKey(rec.data(), &probe).found)
                throw KeyViolation();
            // Under a national sort order the new place must be decided before anything moves.
            if (!order_.bytewise())
                checkPlacement(rec.data(), block, slot);
        }
        writeBlobs(record, rec.data(), old.data());
        if (keyMoves) {
            removeAt(block, slot);
            placeRecord(rec, id);
        } else {
            noteBlockChange(block, true);  // the index or the chain found it in use
            std::memcpy(b.record(slot), rec.data(), rec.size());
            storeBlock(b);
            if (slot == 0 && h_.keyFields > 0 && chainValid_)
                firstKeys_[std::size_t(posOf_[block])] = keyOf(rec.data());
        }
        raiseAutoIncrementTo(rec.data());
        recordsChanged_ = true;
        finishOwnWrite(own);
    } catch (...) {
        failOwnWrite(own);
        throw;
    }
}

void ParadoxTable::remove(RecordId id) {
    bool own = ownWrite();
    try {
        std::uint16_t block = 0;
        int slot = 0;
        if (!locate(id, block, slot))
            throw EngineError(label_ + ": the record no longer exists");
        Block b = loadBlock(block);
        if (!removeInPlace(b, slot, true)) {
            // Without the chain, locate could not tell whether the block is still in use.
            const bool checked = chainValid_;
            ensureChain();
            if (!checked && !locate(id, block, slot))
                throw EngineError(label_ + ": the record no longer exists");
            freeBlobs(b.record(slot));
            removeAt(block, slot);
            --h_.numRecords;
        }
        if (id >= kNewIdBase)
            setIdBlock(id, 0);
        else if (movedIds_.count(id))
            setIdBlock(id, std::uint16_t(id >> 16));
        recordsChanged_ = true;
        finishOwnWrite(own);
    } catch (...) {
        failOwnWrite(own);
        throw;
    }
}

}  // namespace orn::db::paradox
