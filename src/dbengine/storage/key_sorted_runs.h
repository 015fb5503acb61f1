#pragma once

// Fixed-size records whose leading bytes are a key that sorts in byte order, each with a short
// note of the caller's, taken in any order and given back in key order; among equal keys in the
// order they were taken. They collect in memory up to a bound; past it each full collection is
// sorted and written as a run to a spill file that has no name (made beside `spillBase`, or in
// the temp directory when that fails, and unlinked at once, so that nothing is left behind
// however the process ends), and the runs are merged when read back. Memory stays flat however many
// records there are.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "dbengine/storage/posix_file.h"

namespace orn::db {

class KeySortedRuns {
  public:
    // `recordSize` bytes a record, of which the first `keySize` are its key. A spill file is
    // named after `spillBase` (a table's file) while it is being made.
    KeySortedRuns(std::size_t recordSize, std::size_t keySize, std::filesystem::path spillBase);
    ~KeySortedRuns();
    KeySortedRuns(const KeySortedRuns&) = delete;
    KeySortedRuns& operator=(const KeySortedRuns&) = delete;

    // Takes a record (`recordSize` bytes) and its note (at most 65535 bytes). Only before the
    // first next().
    void add(const std::uint8_t* record, std::string_view note);
    std::uint64_t count() const { return count_; }
    // Moves to the next record in order (the first call ends taking them); false at the end.
    bool next();
    // The current record and its note, valid until the next call of next().
    const std::uint8_t* record() const { return current_ + 2; }
    std::string_view note() const;
    // Runs written to the spill file so far.
    std::size_t runCount() const { return runs_.size(); }

    // Bytes of records and notes collected in memory before they are written as a run
    // (process-wide; 8 MiB unless changed, e.g. by tests to make many runs of few records).
    static void setRunBytes(std::size_t bytes);

  private:
    struct Run {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
    };
    // Reads one run back through a bounded buffer.
    struct Reader {
        std::uint64_t pos = 0;  // next byte of the run to read from the file
        std::uint64_t end = 0;
        std::vector<std::uint8_t> buf;
        std::size_t at = 0;    // the current item in buf
        std::size_t have = 0;  // bytes of buf filled
    };

    std::size_t itemSize(const std::uint8_t* item) const;
    void sortCollected();
    void openSpill(const std::filesystem::path& base);
    void spill();
    void startMerge();
    // Moves reader `r` to its next item; false at the end of its run.
    bool advance(std::size_t r, bool first);
    bool ensure(Reader& rd, std::size_t bytes);
    // Whether the current item of reader `a` goes after that of reader `b`.
    bool after(std::size_t a, std::size_t b) const;

    std::size_t recordSize_;
    std::size_t keySize_;
    std::filesystem::path spillBase_;
    std::uint64_t count_ = 0;
    std::size_t largestItem_ = 0;

    std::vector<std::uint8_t> collected_;  // items: note length (2 bytes), record, note
    std::vector<std::size_t> order_;       // offsets of the collected items
    std::size_t nextCollected_ = 0;

    PosixFile spill_;
    std::uint64_t spillEnd_ = 0;
    std::vector<Run> runs_;

    bool reading_ = false;
    bool merging_ = false;
    std::vector<Reader> readers_;
    std::vector<std::size_t> heap_;  // readers with an item left, the smallest on top
    std::size_t currentReader_ = SIZE_MAX;
    const std::uint8_t* current_ = nullptr;
};

}  // namespace orn::db
