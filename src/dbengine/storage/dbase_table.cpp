#include "dbengine/storage/dbase_table.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/dbase_language.h"
#include "dbengine/storage/value_text.h"

namespace orn::db::dbase {

namespace {

constexpr std::size_t kWindowBytes = std::size_t{1} << 20;

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
void putLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Walks the records through a window of whole records read in one go.
class DBaseCursor final : public TableCursor {
  public:
    explicit DBaseCursor(DBaseTable& table)
        : table_(table),
          length_(table.recordLength()),
          end_(table.slotCount()),
          generation_(table.generation()) {
        perWindow_ = std::max<std::size_t>(1, kWindowBytes / length_);
        values_.resize(table.fields().size());
        decodedRow_.resize(table.fields().size());
    }

    bool next() override {
        table_.files().ensureRead();
        if (generation_ != table_.generation()) {
            // another process committed while this cursor let go of its read lock
            generation_ = table_.generation();
            end_ = table_.slotCount();
            windowCount_ = 0;
        }
        for (;;) {
            if (index_ + 1 >= end_ + 1 && started_)
                return false;
            std::uint64_t candidate = started_ ? index_ + 1 : 0;
            started_ = true;
            index_ = candidate;
            if (index_ >= end_)
                return false;
            if (table_.files().changeCount() != seen_)
                windowCount_ = 0;  // written since the window was read
            if (index_ < windowFirst_ || index_ >= windowFirst_ + windowCount_)
                load();
            if (index_ >= windowFirst_ + windowCount_)
                return false;  // file shrank
            current_ = window_.data() + (index_ - windowFirst_) * length_;
            if (current_[0] == '*')
                continue;
            ++row_;  // values decoded for earlier records are stale now
            return true;
        }
    }

    RecordId id() const override { return index_ + 1; }

    const Value& value(std::size_t field) override {
        if (decodedRow_.at(field) != row_) {
            values_[field] = table_.decodeField(field, current_);
            decodedRow_[field] = row_;
        }
        return values_[field];
    }

    bool plainText(std::size_t field, std::string_view& out) override {
        return field < values_.size() && table_.plainText(field, current_, out);
    }

  private:
    void load() {
        std::uint64_t count = std::min<std::uint64_t>(perWindow_, end_ - index_);
        window_.resize(static_cast<std::size_t>(count) * length_);
        std::size_t got =
            table_.files().read(0, table_.recordOffset(index_), window_.data(), window_.size());
        windowFirst_ = index_;
        windowCount_ = got / length_;
        seen_ = table_.files().changeCount();
    }

    DBaseTable& table_;
    std::size_t length_;
    std::uint64_t end_;
    std::size_t perWindow_;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowFirst_ = 0, windowCount_ = 0, index_ = 0;
    std::uint64_t seen_ = 0;  // change count of the files when window_ was read
    std::uint64_t generation_;
    bool started_ = false;
    const std::uint8_t* current_ = nullptr;
    std::vector<Value> values_;
    std::vector<std::uint64_t> decodedRow_;  // value i holds record row_ when equal to it
    std::uint64_t row_ = 0;
};

}  // namespace

DBaseTable::DBaseTable(const std::filesystem::path& file, OpenMode mode,
                       const std::string& codePage)
    : path_(file), fallbackCodePage_(codePage), files_(file, mode) {
    loadHeader();
    if (header_.memo != MemoKind::None) {
        const char* ext = header_.memo == MemoKind::Fpt ? ".fpt" : ".dbt";
        auto found = findCompanion(file, ext);
        if (found) {
            memo_ = std::make_unique<MemoFile>(files_, files_.addCompanion(*found), header_.memo);
        } else if (header_.hasMemoFields()) {
            // Making a new, empty memo file would leave every stored memo pointer pointing
            // nowhere for good: the table stays as it is, read-only.
            markDamaged(std::string("its memo file (") + ext + ") is missing");
        }
    }
    files_.setChangeListener([this] {
        refresh();
        liveCount_.reset();
        if (memo_)
            memo_->refresh();
        ++generation_;
    });
}

void DBaseTable::markDamaged(const std::string& what) {
    if (damage_.empty())
        damage_ = what;
}

std::vector<std::uint8_t> DBaseTable::headerBytes() {
    std::vector<std::uint8_t> bytes(header_.headerLength);
    bytes.resize(files_.read(0, 0, bytes.data(), bytes.size()));
    return bytes;
}

std::vector<std::uint8_t> DBaseTable::memoHeaderBytes() {
    if (!memo_)
        return {};
    std::vector<std::uint8_t> bytes(512);
    bytes.resize(files_.read(memo_->fileIndex(), 0, bytes.data(), bytes.size()));
    return bytes;
}

void DBaseTable::loadHeader() {
    std::uint8_t first[32] = {};
    std::uint64_t size = files_.size(0);
    if (files_.read(0, 0, first, sizeof first) < sizeof first) {
        throw EngineError(path_.string() +
                          " is damaged (not a valid dBASE table): the file is shorter "
                          "than a header.");
    }
    std::uint16_t headerLength = static_cast<std::uint16_t>(first[8] | (first[9] << 8));
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(headerLength, 32));
    bytes.resize(files_.read(0, 0, bytes.data(), bytes.size()));
    bool vfp = first[0] >= 0x30 && first[0] <= 0x32;
    codePage_ = CodePage(tableCodePage(first[29], vfp, fallbackCodePage_));
    header_ = parseHeader(bytes.data(), bytes.size(), size, path_, codePage_.name());
    codec_ = std::make_unique<RecordCodec>(header_, codePage_);
    fields_.clear();
    visible_.clear();
    for (std::size_t i = 0; i < header_.fields.size(); ++i) {
        if (header_.fields[i].hidden)
            continue;
        fields_.push_back(header_.fields[i].field);
        visible_.push_back(i);
    }
    slots_ = slotsIn(size);
    liveCount_.reset();
}

std::uint64_t DBaseTable::slotsIn(std::uint64_t fileSize) {
    const std::uint64_t whole = fileSize > header_.headerLength
                                    ? (fileSize - header_.headerLength) / header_.recordLength
                                    : 0;
    if (everyWholeRecord_)
        return whole;
    // Inside a transaction the records it added lie past the count until commit writes it.
    if (!files_.inTransaction() && whole != header_.headerCount) {
        const std::string counts = std::to_string(header_.headerCount);
        const std::string repair = "; orn PACK repairs it, keeping every whole record";
        if (whole < header_.headerCount) {
            countDamaged_ = countDamaged_ || damage_.empty();
            markDamaged("its header counts " + counts + " records, but the file holds only " +
                        std::to_string(whole) + repair);
        } else {
            // Records past the count are the table's unless the end-of-file mark stands first:
            // what follows the mark is left over and is written over by new records.
            std::uint8_t mark = 0;
            files_.read(0, recordOffset(header_.headerCount), &mark, 1);
            if (mark != 0x1A && damage_.empty())
                countDamaged_ = true;
            if (mark != 0x1A)
                markDamaged("the file holds " + std::to_string(whole) +
                            " records, but its header counts only " + counts + repair);
        }
    }
    return std::min<std::uint64_t>(header_.headerCount, whole);
}

void DBaseTable::takeEveryWholeRecord() {
    everyWholeRecord_ = true;
    if (countDamaged_)
        damage_.clear();
    countDamaged_ = false;
    slots_ = slotsIn(files_.size(0));
    liveCount_.reset();
}

void DBaseTable::refresh() {
    std::uint8_t first[32] = {};
    if (files_.read(0, 0, first, 32) < 32)
        return;
    std::uint16_t hl = static_cast<std::uint16_t>(first[8] | (first[9] << 8));
    std::uint16_t rl = static_cast<std::uint16_t>(first[10] | (first[11] << 8));
    if (hl != header_.headerLength || rl != header_.recordLength) {
        loadHeader();
        return;
    }
    header_.headerCount = le32(first + 4);
    header_.tableFlags = first[28];
    std::uint64_t slots = slotsIn(files_.size(0));
    if (slots != slots_)
        liveCount_.reset();
    slots_ = slots;
}

std::uint64_t DBaseTable::recordCountBound() const {
    if (!files_.inTransaction())
        const_cast<DBaseTable&>(*this).refresh();
    return slots_;
}

std::uint64_t DBaseTable::recordCount() const {
    auto& self = const_cast<DBaseTable&>(*this);
    if (!files_.inTransaction()) {
        // Another process may have deleted or added records since they were counted.
        // File times are coarse, so a count taken within a second of the file's last change
        // is not trusted for later calls (two quick writes can leave the same time behind).
        auto stamp = files_.changeStamp(0);
        const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        if (stamp != liveStamp_ || liveCountedAt_ - stamp.second < 1'000'000'000)
            liveCount_.reset();
        if (!liveCount_) {
            self.refresh();
            liveStamp_ = stamp;
            liveCountedAt_ = now;
        }
    }
    if (!liveCount_) {
        std::uint64_t live = 0;
        const std::size_t rl = header_.recordLength;
        std::vector<std::uint8_t> window(std::max<std::size_t>(rl, kWindowBytes / rl * rl));
        for (std::uint64_t i = 0; i < slots_;) {
            std::size_t want = static_cast<std::size_t>(
                std::min<std::uint64_t>(window.size() / rl, slots_ - i) * rl);
            std::size_t got = self.files_.read(0, recordOffset(i), window.data(), want) / rl;
            if (got == 0)
                break;
            for (std::size_t r = 0; r < got; ++r)
                live += window[r * rl] != '*';
            i += got;
        }
        liveCount_ = live;
    }
    return *liveCount_;
}

bool DBaseTable::plainText(std::size_t visibleIndex, const std::uint8_t* rec,
                           std::string_view& out) const {
    const DbfField& f = header_.fields[visible_[visibleIndex]];
    return !RecordCodec::isMemoField(header_, f) && codec_->plainText(f, rec, out);
}

Value DBaseTable::decodeField(std::size_t visibleIndex, const std::uint8_t* rec) {
    const DbfField& f = header_.fields[visible_[visibleIndex]];
    if (!RecordCodec::isMemoField(header_, f))
        return codec_->decode(f, rec);
    std::uint32_t block = codec_->memoBlock(f, rec);
    if (block == 0)
        return {};
    // A memo that cannot be read is NULL; the table says once what is damaged.
    if (!memo_ || files_.size(1) == 0) {
        markDamaged(std::string("its memo file (") +
                    (header_.memo == MemoKind::Fpt ? ".fpt" : ".dbt") + ") is missing");
        return {};
    }
    std::vector<std::uint8_t> data;
    try {
        data = memo_->read(block);
    } catch (const EngineError& e) {
        markDamaged("a memo of field " + f.field.name + " cannot be read: " + e.what());
        return {};
    }
    if (f.type == 'M' && !(f.flags & 0x04)) {
        if (data.empty())
            return {};
        return codePage_.toUtf8({reinterpret_cast<const char*>(data.data()), data.size()});
    }
    // Binary memos written by the desktop engine carry an 8-byte prefix: 01 00 00 01 and the
    // length.
    if (!header_.isFoxPro() && data.size() >= 8 && data[0] == 1 && data[1] == 0 && data[2] == 0 &&
        data[3] == 1 && le32(data.data() + 4) == data.size() - 8) {
        data.erase(data.begin(), data.begin() + 8);
    }
    return Bytes(std::move(data));
}

std::unique_ptr<TableCursor> DBaseTable::scan() {
    if (!files_.inTransaction())
        refresh();
    return std::make_unique<DBaseCursor>(*this);
}

std::unique_ptr<TableCursor> DBaseTable::range(const Record& low, bool, const Record& high, bool) {
    if (low.empty() && high.empty())
        return scan();
    throw EngineError(path_.string() + " has no primary key.");
}

void DBaseTable::readRecord(RecordId id, std::vector<std::uint8_t>& rec) {
    if (!files_.inTransaction())
        refresh();
    if (id < 1 || id > slots_) {
        throw EngineError(path_.string() + ": record " + std::to_string(id) + " does not exist.");
    }
    rec.resize(header_.recordLength);
    if (files_.read(0, recordOffset(id - 1), rec.data(), rec.size()) < rec.size()) {
        throw EngineError(path_.string() + ": record " + std::to_string(id) + " is cut short.");
    }
}

bool DBaseTable::isDeleted(RecordId id) {
    std::vector<std::uint8_t> rec;
    readRecord(id, rec);
    return rec[0] == '*';
}

Record DBaseTable::read(RecordId id) {
    std::vector<std::uint8_t> rec;
    readRecord(id, rec);
    if (rec[0] == '*') {
        throw EngineError(path_.string() + ": record " + std::to_string(id) + " is deleted.");
    }
    Record out;
    out.reserve(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i)
        out.push_back(decodeField(i, rec.data()));
    return out;
}

void DBaseTable::prepareWrite() {
    if (!damage_.empty())
        throw EngineError(damagedRefusal(path_, damage_));
    refresh();
    liveCount_.reset();  // another process may have deleted records since they were counted
    if (memo_)
        memo_->refresh();
    if (!indexFlagsCleared_) {
        // We do not maintain .mdx/.cdx indexes: a stale production index must not be opened by
        // other programs, so the flags that announce it go.
        if (header_.tableFlags & 0x01) {
            header_.tableFlags = static_cast<std::uint8_t>(header_.tableFlags & ~0x01);
            files_.write(0, 28, &header_.tableFlags, 1);
            headerDirty_ = true;
        }
        if (!header_.visualFoxPro) {
            const std::size_t flagAt = header_.level7 ? 0x25 : 0x1F;
            for (const auto& f : header_.fields) {
                std::uint8_t flag = 0;
                files_.read(0, f.descriptorOffset + flagAt, &flag, 1);
                if (flag != 0) {
                    flag = 0;
                    files_.write(0, f.descriptorOffset + flagAt, &flag, 1);
                }
            }
        }
        indexFlagsCleared_ = true;
    }
}

void DBaseTable::writeHeaderFields() {
    if (!headerDirty_)
        return;
    std::uint8_t h[8];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    h[0] = static_cast<std::uint8_t>(tm.tm_year);
    h[1] = static_cast<std::uint8_t>(tm.tm_mon + 1);
    h[2] = static_cast<std::uint8_t>(tm.tm_mday);
    putLe32(h + 3, static_cast<std::uint32_t>(slots_));
    files_.write(0, 1, h, 7);
    header_.headerCount = static_cast<std::uint32_t>(slots_);
    headerDirty_ = false;
}

void DBaseTable::begin() {
    files_.begin();
    try {
        prepareWrite();
    } catch (...) {
        rollback();
        throw;
    }
}

void DBaseTable::commit() {
    try {
        writeHeaderFields();
        files_.commit();
    } catch (...) {
        rollback();
        throw;
    }
}

void DBaseTable::rollback() {
    files_.rollback();
    headerDirty_ = false;
    indexFlagsCleared_ = false;
    refresh();
    liveCount_.reset();
    if (memo_)
        memo_->refresh();
}

namespace {
// Runs one change as its own transaction unless the caller began one.
template <typename Table, typename Fn>
auto writing(Table& t, TableFiles& files, Fn&& fn) {
    const bool own = !files.inTransaction();
    if (own)
        t.begin();
    try {
        auto result = fn();
        if (own)
            t.commit();
        return result;
    } catch (...) {
        if (own && files.inTransaction())
            t.rollback();
        throw;
    }
}
}  // namespace

void DBaseTable::encodeRecord(const Record& record, std::vector<std::uint8_t>& rec,
                              const std::uint8_t* old) {
    if (record.size() != fields_.size()) {
        throw EngineError(path_.string() + ": a record needs " + std::to_string(fields_.size()) +
                          " values, not " + std::to_string(record.size()) + ".");
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        DbfField& f = header_.fields[visible_[i]];
        const Value& v = record[i];
        if (!RecordCodec::isMemoField(header_, f)) {
            if (header_.level7 && f.type == '+') {
                // dBASE 7 keeps the next value to issue in the descriptor; an explicit value
                // at or past it moves it on, so that the next program does not issue it again.
                if (isBlank(v) && old)
                    continue;  // an update without a value keeps the number
                std::uint8_t d[4];
                files_.read(0, f.descriptorOffset + 0x2A, d, 4);
                std::uint32_t next = le32(d);
                std::int64_t issued = 0;
                if (isBlank(v) && !old) {
                    if (next == 0) {  // a writer that kept no counter: continue after the largest
                        auto cursor = scan();
                        while (cursor->next())
                            if (auto* n = std::get_if<std::int64_t>(&cursor->value(i)))
                                next = std::max<std::uint32_t>(next, std::uint32_t(*n));
                        ++next;
                    }
                    issued = next;
                    codec_->encode(f, Value{issued}, rec.data());
                } else {
                    codec_->encode(f, v, rec.data());
                    if (auto* n = std::get_if<std::int64_t>(&v))
                        issued = *n;
                }
                if (issued >= std::int64_t(next) && issued < 0x7FFFFFFF) {
                    putLe32(d, std::uint32_t(issued + 1));
                    files_.write(0, f.descriptorOffset + 0x2A, d, 4);
                }
                continue;
            }
            if (f.field.type == FieldType::AutoInc && isBlank(v) && !old) {
                // Visual FoxPro keeps the next value and the step in the descriptor.
                if (header_.visualFoxPro) {
                    std::uint8_t d[5];
                    files_.read(0, f.descriptorOffset + 19, d, 5);
                    std::uint32_t next = le32(d);
                    codec_->encode(f, Value{std::int64_t{next}}, rec.data());
                    putLe32(d, next + (d[4] ? d[4] : 1));
                    files_.write(0, f.descriptorOffset + 19, d, 4);
                    continue;
                }
                std::int64_t max = 0;
                auto cursor = scan();
                while (cursor->next()) {
                    const Value& x = cursor->value(i);
                    if (auto* n = std::get_if<std::int64_t>(&x))
                        max = std::max(max, *n);
                }
                codec_->encode(f, Value{max + 1}, rec.data());
                continue;
            }
            codec_->encode(f, v, rec.data());
            continue;
        }
        if (isBlank(v)) {
            codec_->encodeMemoBlock(f, 0, rec.data());
            continue;
        }
        std::string bytes;
        std::uint32_t fptType = 1;
        if (auto* b = std::get_if<Bytes>(&v)) {
            bytes.assign(b->begin(), b->end());
            fptType = f.type == 'G' ? 2 : 0;
        } else if (f.type == 'M' && !(f.flags & 0x04)) {
            bytes = codePage_.fromUtf8(valueText(v));
        } else {
            throw EngineError("Field " + f.field.name + " holds binary data, not \"" +
                              valueText(v) + "\".");
        }
        if (f.type != 'M' && !header_.isFoxPro() && header_.memo == MemoKind::Dbt4) {
            std::string prefix = {1, 0, 0, 1, 0, 0, 0, 0};
            putLe32(reinterpret_cast<std::uint8_t*>(prefix.data() + 4),
                    static_cast<std::uint32_t>(bytes.size()));
            bytes = prefix + bytes;
        }
        if (!memo_) {
            throw EngineError(path_.string() + ": its memo file cannot be written.");
        }
        if (old) {
            std::uint32_t oldBlock = codec_->memoBlock(f, old);
            if (oldBlock != 0) {
                try {
                    std::vector<std::uint8_t> was = memo_->read(oldBlock);
                    if (was.size() == bytes.size() &&
                        std::memcmp(was.data(), bytes.data(), bytes.size()) == 0) {
                        codec_->encodeMemoBlock(f, oldBlock, rec.data());
                        continue;
                    }
                } catch (const EngineError&) {
                    // A broken old memo is simply replaced.
                }
            }
        }
        if (bytes.empty()) {
            codec_->encodeMemoBlock(f, 0, rec.data());
            continue;
        }
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const std::uint32_t oldBlock = old ? codec_->memoBlock(f, old) : 0;
        std::uint32_t block = oldBlock != 0 ? memo_->replace(oldBlock, data, bytes.size(), fptType)
                                            : memo_->append(data, bytes.size(), fptType);
        codec_->encodeMemoBlock(f, block, rec.data());
    }
}

RecordId DBaseTable::insert(const Record& record) {
    return writing(*this, files_, [&] {
        std::vector<std::uint8_t> rec(header_.recordLength);
        codec_->blankRecord(rec.data());
        encodeRecord(record, rec, nullptr);
        // The header counts records in 32 bits, and most programs read the count as signed.
        if (slots_ >= 0x7FFFFFFFu)
            throw EngineError(path_.string() +
                              " is full: a dBASE table holds at most 2147483647 records.");
        files_.write(0, recordOffset(slots_), rec.data(), rec.size());
        ++slots_;
        const std::uint8_t eof = 0x1A;
        files_.write(0, recordOffset(slots_), &eof, 1);
        if (liveCount_)
            ++*liveCount_;
        headerDirty_ = true;
        return static_cast<RecordId>(slots_);
    });
}

void DBaseTable::update(RecordId id, const Record& record) {
    writing(*this, files_, [&] {
        std::vector<std::uint8_t> old;
        readRecord(id, old);
        if (old[0] == '*') {
            throw EngineError(path_.string() + ": record " + std::to_string(id) + " is deleted.");
        }
        std::vector<std::uint8_t> rec = old;
        encodeRecord(record, rec, old.data());
        files_.write(0, recordOffset(id - 1), rec.data(), rec.size());
        headerDirty_ = true;
        return 0;
    });
}

void DBaseTable::remove(RecordId id) {
    writing(*this, files_, [&] {
        std::vector<std::uint8_t> rec;
        readRecord(id, rec);
        if (rec[0] == '*')
            return 0;
        const std::uint8_t mark = '*';
        files_.write(0, recordOffset(id - 1), &mark, 1);
        if (liveCount_)
            --*liveCount_;
        headerDirty_ = true;
        return 0;
    });
}

}  // namespace orn::db::dbase
