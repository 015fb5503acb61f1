#include "dbengine/storage/table_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "dbengine/storage/journal.h"
#include "kill_test_harness.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

using testing::readAll;
using testing::TempDir;
using testing::writeAll;

std::vector<unsigned char> pattern(std::size_t n, unsigned char seed) {
    std::vector<unsigned char> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<unsigned char>(seed + i * 7);
    return v;
}

TEST(TableFiles, WritesAreVisibleToTheWriterAndLandOnlyAtCommit) {
    TempDir dir;
    auto main = dir / "t.dat";
    auto original = pattern(10000, 1);
    writeAll(main, original);
    TableFiles files(main, OpenMode::Shared);
    files.begin();
    const char text[] = "changed";
    files.write(0, 5000, text, sizeof text);
    files.write(0, 12000, text, sizeof text);  // past the end: a gap of zeros, then text
    EXPECT_EQ(files.size(0), 12000 + sizeof text);
    char back[sizeof text] = {};
    files.read(0, 5000, back, sizeof back);
    EXPECT_STREQ(back, text);
    unsigned char gap[4] = {1, 1, 1, 1};
    files.read(0, 10500, gap, 4);
    EXPECT_EQ(gap[0] | gap[1] | gap[2] | gap[3], 0);
    EXPECT_EQ(readAll(main), original);  // nothing on disk yet
    files.commit();
    auto now = readAll(main);
    ASSERT_EQ(now.size(), 12000 + sizeof text);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&now[5000])), "changed");
    EXPECT_FALSE(std::filesystem::exists(journalPath(main)));
}

// Another process replaces the table (SAVE over it: new files renamed over the old) just after
// this one opened the file and before it locked it. Working on in the old file would lose every
// change: the open goes to the file now at the name.
TEST(TableFiles, AFileReplacedBeforeItWasLockedIsOpenedAgainAtItsName) {
    TempDir dir;
    auto main = dir / "t.dat";
    writeAll(main, pattern(5000, 1));
    const auto replacement = pattern(6000, 2);
    int calls = 0;
    TableFiles::setBetweenOpenAndLock([&](const std::filesystem::path& file) {
        if (calls++ == 0) {
            writeAll(dir / "new.dat", replacement);
            std::filesystem::rename(dir / "new.dat", file);
        }
    });
    {
        TableFiles files(main, OpenMode::Shared);
        TableFiles::setBetweenOpenAndLock(nullptr);
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(files.size(0), replacement.size());
        files.begin();
        const char text[] = "kept";
        files.write(0, 100, text, sizeof text);
        files.commit();
    }
    const auto now = readAll(main);
    ASSERT_EQ(now.size(), replacement.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&now[100])), "kept");
}

TEST(TableFiles, RollbackAfterSpillingRestoresEveryFile) {
    TempDir dir;
    auto main = dir / "t.dat";
    auto memo = dir / "t.memo";
    auto original = pattern(3 * 4096 + 100, 3);
    writeAll(main, original);
    TableFiles files(main, OpenMode::Shared);
    std::size_t m = files.addCompanion(memo, true);
    files.begin();
    TableFiles::setSpillLimit(1 << 20);
    auto big = pattern(3 << 20, 9);  // more than the in-memory limit: pages spill to disk
    files.write(0, 10, big.data(), big.size());
    files.write(m, 0, "memo", 4);
    EXPECT_GT(std::filesystem::file_size(main), original.size());
    files.rollback();
    TableFiles::setSpillLimit(256 << 20);
    EXPECT_EQ(readAll(main), original);
    EXPECT_FALSE(std::filesystem::exists(memo));
    EXPECT_FALSE(std::filesystem::exists(journalPath(main)));
    EXPECT_EQ(files.size(0), original.size());
}

TEST(TableFiles, JournalOfAKilledWriterIsRolledBackOnOpen) {
    TempDir dir;
    auto main = dir / "t.dat";
    auto original = pattern(5000, 5);
    writeAll(main, original);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TableFiles files(main, OpenMode::Shared);
        files.begin();
        TableFiles::setSpillLimit(1 << 20);
        auto big = pattern(3 << 20, 11);
        files.write(0, 0, big.data(), big.size());  // spills: journal and data are on disk
        _exit(0);                                   // dies without commit or rollback
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(std::filesystem::exists(journalPath(main)));
    ASSERT_NE(readAll(main), original);
    TableFiles files(main, OpenMode::ReadOnly);
    EXPECT_EQ(readAll(main), original);
    EXPECT_FALSE(std::filesystem::exists(journalPath(main)));
}

TEST(TableFiles, ALargeJournalIsWrittenAsItGrowsAndRestoresEveryRange) {
    TempDir dir;
    auto main = dir / "t.dat";
    const auto original = pattern(3 << 20, 21);
    writeAll(main, original);
    const auto jp = journalPath(main);
    {
        JournalWriter j(main);
        j.recordFile(1, main, original.size(), true);
        for (std::size_t at = 0; at < original.size(); at += 4096)
            j.recordOriginal(1, at, original.data() + at, 4096);
        // Most of it is in the file before the sync, not in memory.
        ASSERT_TRUE(std::filesystem::exists(jp));
        EXPECT_GT(std::filesystem::file_size(jp), original.size() - JournalWriter::kWriteAhead);
        j.sync();
        EXPECT_GT(std::filesystem::file_size(jp), original.size());
    }
    // The writer overwrote every byte, grew the file and died.
    writeAll(main, pattern((3 << 20) + 5000, 99));
    ASSERT_TRUE(rollBackJournal(main));
    EXPECT_EQ(readAll(main), original);
    EXPECT_FALSE(std::filesystem::exists(jp));
}

TEST(TableFiles, AWriterKilledInTheMiddleOfLargeTransactionsLeavesOneWholeState) {
    // Each transaction rewrites the whole file, just under 2 MiB: its journal is written ahead
    // once and synced with the rest, so kills land while entries are written ahead as well as
    // while pages are written, over either part of the journal.
    constexpr std::size_t kSize = (2 << 20) - 100 * 1024;
    std::mt19937 rng(31);
    int inside = 0, later = 0;
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        TempDir dir;
        auto main = dir / "t.dat";
        writeAll(main, pattern(kSize, 0));
        const int committed = testing::killStepsAfter(
            std::chrono::milliseconds(20 + rng() % 500), std::chrono::microseconds(200),
            [&](const std::function<void(int)>& done) {
                TableFiles files(main, OpenMode::Shared);
                for (int gen = 1;; ++gen) {
                    files.begin();
                    const auto bytes = pattern(kSize, static_cast<unsigned char>(gen));
                    files.write(0, 0, bytes.data(), bytes.size());
                    files.commit();
                    done(gen);
                }
            });
        if (::testing::Test::HasFailure())
            return;
        inside += std::filesystem::exists(journalPath(main));
        later += committed > 0;
        { TableFiles reopened(main, OpenMode::ReadOnly); }
        EXPECT_FALSE(std::filesystem::exists(journalPath(main)));
        const auto now = readAll(main);
        const bool before = now == pattern(kSize, static_cast<unsigned char>(committed));
        const bool after = now == pattern(kSize, static_cast<unsigned char>(committed + 1));
        EXPECT_TRUE(before || after) << "after " << committed << " commits";
    }
    // Some kills came while a transaction was being written, some after commits.
    EXPECT_GT(inside, 0);
    EXPECT_GT(later, 0);
}

TEST(TableFiles, TornJournalTailIsIgnored) {
    TempDir dir;
    auto main = dir / "t.dat";
    writeAll(main, pattern(100, 1));
    {
        JournalWriter j(main);
        auto old = pattern(10, 50);
        j.recordFile(1, main, 100, true);
        j.recordOriginal(1, 0, old.data(), old.size());
        j.sync();
    }
    auto jp = journalPath(main);
    auto bytes = readAll(jp);
    bytes.push_back(2);  // start of a second entry that never got written
    bytes.push_back(200);
    writeAll(jp, bytes);
    // Writer gone: the first entry applies, the torn one does not.
    ASSERT_TRUE(rollBackJournal(main));
    auto now = readAll(main);
    auto expect = pattern(100, 1);
    auto old = pattern(10, 50);
    std::copy(old.begin(), old.end(), expect.begin());
    EXPECT_EQ(now, expect);
}

TEST(TableFiles, TruncationLandsAtCommitAndComesBackOnRollbackOrCrash) {
    TempDir dir;
    auto main = dir / "t.dat";
    auto original = pattern(5 * 4096 + 100, 7);
    writeAll(main, original);
    {
        TableFiles files(main, OpenMode::Shared);
        files.begin();
        files.truncate(0, 4096 + 10);
        EXPECT_EQ(files.size(0), 4096u + 10);
        unsigned char past[4] = {};
        EXPECT_EQ(files.read(0, 4096 + 10, past, 4), 0u);
        files.write(0, 4096 + 20, "x", 1);  // growing again: the cut-off bytes read as zeros
        unsigned char gap[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
        files.read(0, 4096 + 10, gap, sizeof gap);
        EXPECT_EQ(std::count(gap, gap + 10, 0), 10);
        files.rollback();
        EXPECT_EQ(readAll(main), original);
        EXPECT_EQ(files.size(0), original.size());

        // Spilled to disk before the rollback: the journal brings the cut pages back.
        TableFiles::setSpillLimit(1 << 20);
        std::size_t m = files.addCompanion(dir / "t.memo", true);
        files.begin();
        files.truncate(0, 100);
        auto big = pattern(3 << 20, 9);
        files.write(m, 0, big.data(), big.size());
        EXPECT_EQ(std::filesystem::file_size(main), 100u);
        files.rollback();
        TableFiles::setSpillLimit(256 << 20);
        EXPECT_EQ(readAll(main), original);

        files.begin();
        files.truncate(0, 4096 + 10);
        files.commit();
    }
    auto now = readAll(main);
    ASSERT_EQ(now.size(), 4096u + 10);
    EXPECT_TRUE(std::equal(now.begin(), now.end(), original.begin()));

    // A writer killed after its cut reached the disk: opening the table undoes the cut.
    writeAll(main, original);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TableFiles files(main, OpenMode::Shared);
        std::size_t m = files.addCompanion(dir / "t.memo", true);
        files.begin();
        TableFiles::setSpillLimit(1 << 20);
        files.truncate(0, 10);
        auto big = pattern(3 << 20, 11);
        files.write(m, 0, big.data(), big.size());  // spills: journal, cut and data on disk
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(std::filesystem::file_size(main), 10u);
    TableFiles files(main, OpenMode::ReadOnly);
    EXPECT_EQ(readAll(main), original);
}

TEST(TableFiles, ReadOnlyTablesRefuseWrites) {
    TempDir dir;
    auto main = dir / "t.dat";
    writeAll(main, pattern(10, 1));
    TableFiles files(main, OpenMode::ReadOnly);
    EXPECT_FALSE(files.writable());
    EXPECT_THROW(files.begin(), EngineError);
}

}  // namespace
}  // namespace orn::db
