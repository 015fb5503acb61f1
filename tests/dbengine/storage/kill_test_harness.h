#pragma once

// Kills a writing child process at random moments and checks what it leaves behind. Works on
// any table format through the Table interface.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "dbengine/storage/table.h"
#include "dbengine/storage/table_files.h"

namespace orn::db::testing {

struct KillTestSubject {
    // Creates the empty table.
    std::function<void(const std::filesystem::path&)> createEmpty;
    // The record with sequence number `seq` as the `batch`-th transaction writes it.
    std::function<Record(std::int64_t seq, std::int64_t batch)> makeRecord;
    std::function<std::int64_t(const Record&)> seqOf;
    // Optional: more checks of the files after each round, once the table has been reopened.
    std::function<void(const std::filesystem::path&)> check;
};

constexpr std::int64_t kKillBatch = 3;

// The child: appends batches of kKillBatch records, one transaction each, which also rewrites
// record 0 with the batch number, and writes a byte to `committed` (when >= 0) after each commit.
// Never returns.
[[noreturn]] inline void killTestWriter(const std::filesystem::path& file, const KillTestSubject& s,
                                        int committed = -1) {
    try {
        auto t = Table::open(file, OpenMode::Shared);
        std::int64_t count = 0;
        RecordId first = 0;
        auto c = t->scan();
        while (c->next()) {
            Record r;
            for (std::size_t i = 0; i < t->fields().size(); ++i)
                r.push_back(c->value(i));
            if (s.seqOf(r) == 0)
                first = c->id();
            ++count;
        }
        for (std::int64_t batch = count / kKillBatch;; ++batch) {
            t->begin();
            for (std::int64_t k = 0; k < kKillBatch; ++k) {
                std::int64_t seq = batch * kKillBatch + k;
                RecordId id = t->insert(s.makeRecord(seq, batch));
                if (seq == 0)
                    first = id;
            }
            if (batch > 0)
                t->update(first, s.makeRecord(0, batch));
            t->commit();
            if (committed >= 0)
                (void)!::write(committed, "c", 1);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "writer failed: %s\n", e.what());
        _exit(3);
    }
}

// Runs `steps` in a child process: an endless sequence of operations that calls `done(n)` after
// the n-th, with `pause` between page writes (slow writes make kills land inside commits, not
// only between them). Kills the child after `delay` and returns the last n it reported.
inline int killStepsAfter(std::chrono::microseconds delay, std::chrono::microseconds pause,
                          const std::function<void(const std::function<void(int)>&)>& steps) {
    int fds[2];
    if (::pipe(fds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return 0;
    }
    const pid_t child = fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed";
        return 0;
    }
    if (child == 0) {
        ::close(fds[0]);
        if (pause.count() > 0)
            TableFiles::setPauseBetweenPageWrites(pause);
        try {
            steps([&](int n) {
                if (::write(fds[1], &n, sizeof n) != sizeof n)
                    ::_exit(2);
            });
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(4);
    }
    ::close(fds[1]);
    std::this_thread::sleep_for(delay);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << WEXITSTATUS(status);
    int reported = 0, n = 0;
    while (::read(fds[0], &n, sizeof n) == sizeof n)
        reported = n;
    ::close(fds[0]);
    return reported;
}

// Returns the number of records found intact after the last round.
inline std::int64_t runKillTest(const std::filesystem::path& file, const KillTestSubject& s,
                                int rounds, unsigned seed) {
    s.createEmpty(file);
    std::mt19937 rng(seed);
    std::int64_t previous = 0;
    for (int round = 0; round < rounds; ++round) {
        // The first round is not killed before its first commit, however slow the machine: then
        // there is always something committed to lose.
        int committed[2] = {-1, -1};
        if (round == 0 && ::pipe2(committed, O_NONBLOCK) != 0)
            committed[0] = committed[1] = -1;
        pid_t child = fork();
        if (child < 0) {
            ADD_FAILURE() << "fork failed";
            return previous;
        }
        if (child == 0) {
            // Slow page writes make kills land inside commits, not only between them.
            TableFiles::setPauseBetweenPageWrites(std::chrono::microseconds(2000));
            killTestWriter(file, s, committed[1]);
        }
        if (committed[0] >= 0) {
            pollfd p{committed[0], POLLIN, 0};
            ::poll(&p, 1, 120000);
            ::close(committed[0]);
            ::close(committed[1]);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(5000 + rng() % 250000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself in round " << round;

        std::unique_ptr<Table> t;
        try {
            t = Table::open(file, OpenMode::ReadOnly);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "round " << round << ": " << e.what();
            return previous;
        }
        std::map<std::int64_t, Record> bySeq;
        try {
            auto c = t->scan();
            while (c->next()) {
                Record r;
                for (std::size_t i = 0; i < t->fields().size(); ++i)
                    r.push_back(c->value(i));
                bySeq.emplace(s.seqOf(r), r);
            }
        } catch (const std::exception& e) {
            ADD_FAILURE() << "round " << round << ": the table is damaged: " << e.what();
            return previous;
        }
        const auto count = static_cast<std::int64_t>(bySeq.size());
        EXPECT_EQ(static_cast<std::uint64_t>(count), t->recordCount()) << "round " << round;
        EXPECT_EQ(count % kKillBatch, 0) << "a transaction was half applied in round " << round;
        EXPECT_GE(count, previous) << "committed records were lost in round " << round;
        std::int64_t expectSeq = 0;
        for (const auto& [seq, rec] : bySeq) {
            EXPECT_EQ(seq, expectSeq) << "round " << round;
            std::int64_t batch = seq == 0 ? count / kKillBatch - 1 : seq / kKillBatch;
            EXPECT_EQ(rec, s.makeRecord(seq, batch)) << "record " << seq << " round " << round;
            ++expectSeq;
        }
        t.reset();
        if (s.check)
            s.check(file);
        if (::testing::Test::HasFailure())
            return count;
        previous = count;
    }
    // Nobody holds the table any more.
    EXPECT_NO_THROW(Table::open(file, OpenMode::Exclusive));
    return previous;
}

}  // namespace orn::db::testing
