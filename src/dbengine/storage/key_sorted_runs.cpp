#include "dbengine/storage/key_sorted_runs.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "dbengine/storage/table.h"

namespace orn::db {

namespace {

std::size_t runBytes = std::size_t{8} << 20;

// Bytes the readers of all runs may buffer together, and what each gets at least and at most.
constexpr std::size_t kMergeBytes = std::size_t{8} << 20;
constexpr std::size_t kReaderMin = std::size_t{16} << 10;
constexpr std::size_t kReaderMax = std::size_t{1} << 20;

std::size_t noteLength(const std::uint8_t* item) {
    return std::size_t(item[0]) | (std::size_t(item[1]) << 8);
}

}  // namespace

void KeySortedRuns::setRunBytes(std::size_t bytes) {
    runBytes = std::max<std::size_t>(bytes, 1);
}

KeySortedRuns::KeySortedRuns(std::size_t recordSize, std::size_t keySize,
                             std::filesystem::path spillBase)
    : recordSize_(recordSize),
      keySize_(std::min(keySize, recordSize)),
      spillBase_(std::move(spillBase)) {}

KeySortedRuns::~KeySortedRuns() = default;

std::size_t KeySortedRuns::itemSize(const std::uint8_t* item) const {
    return 2 + recordSize_ + noteLength(item);
}

std::string_view KeySortedRuns::note() const {
    return {reinterpret_cast<const char*>(current_ + 2 + recordSize_), noteLength(current_)};
}

void KeySortedRuns::add(const std::uint8_t* record, std::string_view note) {
    if (reading_)
        throw EngineError("Internal error: a record added to runs already being read.");
    if (note.size() > 0xFFFF)
        throw EngineError("Internal error: a note of a sorted record is too long.");
    const std::size_t size = 2 + recordSize_ + note.size();
    if (!order_.empty() && collected_.size() + size > runBytes)
        spill();
    const std::size_t at = collected_.size();
    if (collected_.capacity() < at + size)  // grown by doubling, it would overshoot the bound
        collected_.reserve(std::max(std::min(runBytes, std::max(2 * at, at + size)), at + size));
    collected_.resize(at + size);
    std::uint8_t* item = collected_.data() + at;
    item[0] = std::uint8_t(note.size() & 0xFF);
    item[1] = std::uint8_t(note.size() >> 8);
    std::memcpy(item + 2, record, recordSize_);
    if (!note.empty())
        std::memcpy(item + 2 + recordSize_, note.data(), note.size());
    order_.push_back(at);
    largestItem_ = std::max(largestItem_, size);
    ++count_;
}

void KeySortedRuns::sortCollected() {
    const std::uint8_t* base = collected_.data();
    const std::size_t keySize = keySize_;
    // Stable: equal keys keep the order they came in.
    std::stable_sort(order_.begin(), order_.end(), [base, keySize](std::size_t a, std::size_t b) {
        return std::memcmp(base + a + 2, base + b + 2, keySize) < 0;
    });
}

void KeySortedRuns::openSpill(const std::filesystem::path& base) {
    // A name of its own, gone again as soon as the file is open.
    const std::string stem = base.string() + ".orn-sort-" + std::to_string(::getpid());
    for (int n = 0;; ++n) {
        const std::filesystem::path name = stem + "-" + std::to_string(n);
        std::error_code ec;
        try {
            spill_ = PosixFile(name, PosixFile::Access::CreateNew);
        } catch (const EngineError&) {
            // A name left by a process of this number that died: the next one.
            if (n < 100 && std::filesystem::symlink_status(name, ec).type() !=
                               std::filesystem::file_type::not_found)
                continue;
            throw;
        }
        std::filesystem::remove(name, ec);
        return;
    }
}

void KeySortedRuns::spill() {
    sortCollected();
    if (!spill_.isOpen()) {
        // Beside the table (where there is room for the table), else in the temp directory.
        try {
            openSpill(spillBase_);
        } catch (const EngineError&) {
            std::error_code ec;
            const auto temp = std::filesystem::temp_directory_path(ec);
            if (ec)
                throw;
            openSpill(temp / spillBase_.filename());
        }
    }
    Run run;
    run.begin = spillEnd_;
    std::vector<std::uint8_t> out;
    out.reserve(std::min<std::size_t>(collected_.size(), std::size_t{1} << 20));
    for (std::size_t at : order_) {
        const std::uint8_t* item = collected_.data() + at;
        const std::size_t size = itemSize(item);
        if (out.size() + size > out.capacity() && !out.empty()) {
            spill_.writeAt(spillEnd_, out.data(), out.size());
            spillEnd_ += out.size();
            out.clear();
        }
        out.insert(out.end(), item, item + size);
    }
    if (!out.empty()) {
        spill_.writeAt(spillEnd_, out.data(), out.size());
        spillEnd_ += out.size();
    }
    run.end = spillEnd_;
    runs_.push_back(run);
    collected_.clear();
    order_.clear();
}

void KeySortedRuns::startMerge() {
    if (!order_.empty())
        spill();
    std::vector<std::uint8_t>().swap(collected_);
    std::vector<std::size_t>().swap(order_);
    merging_ = true;
    const std::size_t each = std::max(
        std::clamp(kMergeBytes / std::max<std::size_t>(runs_.size(), 1), kReaderMin, kReaderMax),
        largestItem_);
    readers_.resize(runs_.size());
    for (std::size_t r = 0; r < runs_.size(); ++r) {
        Reader& rd = readers_[r];
        rd.pos = runs_[r].begin;
        rd.end = runs_[r].end;
        rd.buf.resize(each);
        if (advance(r, true))
            heap_.push_back(r);
    }
    auto later = [this](std::size_t a, std::size_t b) { return after(a, b); };
    std::make_heap(heap_.begin(), heap_.end(), later);
}

bool KeySortedRuns::ensure(Reader& rd, std::size_t bytes) {
    if (rd.have - rd.at >= bytes)
        return true;
    // Keeps the unread bytes and fills the rest of the buffer from the run.
    const std::size_t left = rd.have - rd.at;
    std::memmove(rd.buf.data(), rd.buf.data() + rd.at, left);
    rd.at = 0;
    rd.have = left;
    const std::size_t want =
        std::size_t(std::min<std::uint64_t>(rd.buf.size() - left, rd.end - rd.pos));
    if (want > 0) {
        const std::size_t got = spill_.readAt(rd.pos, rd.buf.data() + left, want);
        if (got != want)
            throw EngineError("The sort file of " + spillBase_.string() + " ended early.");
        rd.pos += got;
        rd.have += got;
    }
    return rd.have >= bytes;
}

bool KeySortedRuns::advance(std::size_t r, bool first) {
    Reader& rd = readers_[r];
    if (!first)
        rd.at += itemSize(rd.buf.data() + rd.at);
    if (rd.at == rd.have && rd.pos == rd.end)
        return false;
    if (!ensure(rd, 2) || !ensure(rd, itemSize(rd.buf.data() + rd.at)))
        throw EngineError("The sort file of " + spillBase_.string() + " ended early.");
    return true;
}

bool KeySortedRuns::after(std::size_t a, std::size_t b) const {
    const Reader& x = readers_[a];
    const Reader& y = readers_[b];
    const int c = std::memcmp(x.buf.data() + x.at + 2, y.buf.data() + y.at + 2, keySize_);
    // Among equal keys the earlier run (records taken earlier) comes first.
    return c > 0 || (c == 0 && a > b);
}

bool KeySortedRuns::next() {
    if (!reading_) {
        reading_ = true;
        if (runs_.empty())
            sortCollected();
        else
            startMerge();
    }
    if (!merging_) {
        if (nextCollected_ == order_.size()) {
            current_ = nullptr;
            return false;
        }
        current_ = collected_.data() + order_[nextCollected_++];
        return true;
    }
    auto later = [this](std::size_t a, std::size_t b) { return after(a, b); };
    if (currentReader_ != SIZE_MAX) {
        if (advance(currentReader_, false)) {
            heap_.push_back(currentReader_);
            std::push_heap(heap_.begin(), heap_.end(), later);
        }
        currentReader_ = SIZE_MAX;
    }
    if (heap_.empty()) {
        current_ = nullptr;
        return false;
    }
    std::pop_heap(heap_.begin(), heap_.end(), later);
    currentReader_ = heap_.back();
    heap_.pop_back();
    const Reader& rd = readers_[currentReader_];
    current_ = rd.buf.data() + rd.at;
    return true;
}

}  // namespace orn::db
