// Recovery from a rollback journal reads it a piece at a time: a journal of any size comes back
// with the memory of one piece, entries larger than a piece or lying across pieces apply whole,
// and a journal torn anywhere in its last entry is used up to the entry before.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "dbengine/storage/journal.h"
#include "dbengine/storage/posix_file.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

using testing::readAll;
using testing::TempDir;
using testing::writeAll;

std::vector<unsigned char> bytesOf(std::size_t n, unsigned seed) {
    std::vector<unsigned char> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

struct Range {
    std::uint64_t offset;
    std::size_t len;
};

// A table file "t.dat" of `size` bytes and a synced journal of its original bytes at `ranges`,
// after which every byte of the file was overwritten and the file grew: the state a writer
// killed after spilling leaves. Returns the original file.
std::vector<unsigned char> crashedWriter(const std::filesystem::path& main, std::size_t size,
                                         const std::vector<Range>& ranges) {
    const auto original = bytesOf(size, 5);
    writeAll(main, original);
    {
        JournalWriter j(main);
        j.recordFile(1, main, original.size(), true);
        for (const Range& r : ranges)
            j.recordOriginal(1, r.offset, original.data() + r.offset, r.len);
        j.sync();
    }
    writeAll(main, bytesOf(size + 777, 6));
    return original;
}

// The file as a rollback of the first `entries` ranges leaves it (the size always restored
// because the file entry comes first).
std::vector<unsigned char> rolledBack(const std::vector<unsigned char>& original,
                                      const std::vector<Range>& ranges, std::size_t entries) {
    auto now = bytesOf(original.size() + 777, 6);
    now.resize(original.size());
    for (std::size_t i = 0; i < entries; ++i) {
        std::copy_n(original.begin() + static_cast<std::ptrdiff_t>(ranges[i].offset), ranges[i].len,
                    now.begin() + static_cast<std::ptrdiff_t>(ranges[i].offset));
    }
    return now;
}

// Ranges of many lengths: empty, single bytes, larger than small pieces, one of 200,000 bytes,
// overlapping others.
std::vector<Range> mixedRanges(std::size_t size) {
    std::vector<Range> ranges;
    std::mt19937 rng(3);
    for (std::size_t len : {std::size_t{0}, std::size_t{1}, std::size_t{15}, std::size_t{16},
                            std::size_t{17}, std::size_t{4096}, std::size_t{10000}}) {
        ranges.push_back({rng() % (size - len), len});
    }
    for (int i = 0; i < 40; ++i) {
        const std::size_t len = 1 + rng() % 300;
        ranges.push_back({rng() % (size - len), len});
    }
    ranges.push_back({size - 200'000, 200'000});
    return ranges;
}

TEST(JournalRecovery, AJournalLargerThanAPieceIsReadInPiecesAndRestoresEveryRange) {
    TempDir dir;
    const auto main = dir / "t.dat";
    constexpr std::size_t kSize = 3 * kJournalPiece + 12345;
    std::vector<Range> ranges;
    for (std::size_t at = 0; at + 4096 <= kSize; at += 4096)
        ranges.push_back({at, 4096});
    const auto original = crashedWriter(main, kSize, ranges);
    const auto journalSize = std::filesystem::file_size(journalPath(main));
    ASSERT_GT(journalSize, 3 * kJournalPiece);

    const auto before = PosixFile::readCounters();
    ASSERT_TRUE(rollBackJournal(main));
    const auto after = PosixFile::readCounters();
    EXPECT_EQ(readAll(main), rolledBack(original, ranges, ranges.size()));
    EXPECT_FALSE(std::filesystem::exists(journalPath(main)));
    // Every byte of the journal read, none of it more than a piece at a time.
    EXPECT_GE(after.bytes - before.bytes, journalSize);
    EXPECT_LE(after.bytes - before.bytes, (after.calls - before.calls) * kJournalPiece);
    EXPECT_GT(after.calls - before.calls, journalSize / kJournalPiece);
}

TEST(JournalRecovery, EveryPieceSizeGivesTheSameFile) {
    constexpr std::size_t kSize = 300'000;
    const auto ranges = mixedRanges(kSize);
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{16}, std::size_t{17}, std::size_t{4095}, std::size_t{4109},
          std::size_t{65536}, kJournalPiece, std::size_t{64} << 20}) {
        SCOPED_TRACE(piece);
        TempDir dir;
        const auto main = dir / "t.dat";
        const auto original = crashedWriter(main, kSize, ranges);
        ASSERT_TRUE(rollBackJournal(main, piece));
        EXPECT_EQ(readAll(main), rolledBack(original, ranges, ranges.size()));
        EXPECT_FALSE(std::filesystem::exists(journalPath(main)));
    }
}

// Where each entry of the journal ends: the magic, then per entry kind, length, payload and
// checksum.
std::vector<std::uint64_t> entryEnds(const std::vector<unsigned char>& journal) {
    std::vector<std::uint64_t> ends;
    std::uint64_t pos = 8;
    while (pos + 9 <= journal.size()) {
        const std::uint32_t len = journal[pos + 1] | journal[pos + 2] << 8 |
                                  journal[pos + 3] << 16 | std::uint32_t(journal[pos + 4]) << 24;
        pos += 9 + std::uint64_t{len};
        ends.push_back(pos);
    }
    return ends;
}

TEST(JournalRecovery, AJournalTornInItsLastEntryIsUsedUpToTheEntryBefore) {
    // The last entry is larger than the pieces it is read in.
    constexpr std::size_t kSize = 50'000;
    const std::vector<Range> ranges = {{100, 300}, {5000, 20}, {20'000, 9000}};
    TempDir dir;
    const auto main = dir / "t.dat";
    const auto original = crashedWriter(main, kSize, ranges);
    const auto whole = readAll(journalPath(main));
    const auto ends = entryEnds(whole);
    ASSERT_EQ(ends.size(), 1 + ranges.size());
    ASSERT_EQ(ends.back(), whole.size());
    const std::uint64_t lastStart = ends[ends.size() - 2];
    const auto expected = rolledBack(original, ranges, ranges.size() - 1);

    std::vector<std::vector<unsigned char>> torn;
    // Cut inside the header, the range's offset, its bytes, and its checksum.
    for (const std::uint64_t cut : {lastStart + 1, lastStart + 5, lastStart + 9, lastStart + 20,
                                    lastStart + 4000, whole.size() - 4, whole.size() - 1}) {
        torn.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    }
    // Whole in length but not in content: a byte of its bytes or of its checksum never written.
    auto changed = whole;
    changed[lastStart + 5000] ^= 0x40;
    torn.push_back(changed);
    changed = whole;
    changed.back() ^= 1;
    torn.push_back(changed);
    // A length that reaches past the end of the journal.
    changed = whole;
    changed[lastStart + 4] = 0x7f;
    torn.push_back(changed);

    for (std::size_t i = 0; i < torn.size(); ++i) {
        for (const std::size_t piece : {std::size_t{16}, std::size_t{1000}, kJournalPiece}) {
            SCOPED_TRACE("torn journal " + std::to_string(i) + ", piece " + std::to_string(piece));
            writeAll(main, bytesOf(kSize + 777, 6));
            writeAll(journalPath(main), torn[i]);
            ASSERT_TRUE(rollBackJournal(main, piece));
            EXPECT_EQ(readAll(main), expected);
            EXPECT_FALSE(std::filesystem::exists(journalPath(main)));
        }
    }
    // Untorn, the last entry applies too.
    writeAll(main, bytesOf(kSize + 777, 6));
    writeAll(journalPath(main), whole);
    ASSERT_TRUE(rollBackJournal(main, 16));
    EXPECT_EQ(readAll(main), rolledBack(original, ranges, ranges.size()));
}

TEST(JournalRecovery, AJournalWithoutAWholeMagicRestoresNothingAndGoes) {
    TempDir dir;
    const auto main = dir / "t.dat";
    const auto changed = bytesOf(1000, 9);
    for (const std::string& journal :
         {std::string(), std::string("ORNJ"), std::string("XRNJRNL1")}) {
        writeAll(main, changed);
        writeAll(journalPath(main), std::vector<unsigned char>(journal.begin(), journal.end()));
        ASSERT_TRUE(rollBackJournal(main, 16));
        EXPECT_EQ(readAll(main), changed);
        EXPECT_FALSE(std::filesystem::exists(journalPath(main)));
    }
    EXPECT_FALSE(rollBackJournal(main));  // none left
}

}  // namespace
}  // namespace orn::db
