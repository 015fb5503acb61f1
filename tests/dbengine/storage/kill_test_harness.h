#pragma once

// Kills a writing child process at random moments and checks what it leaves behind. Works on
// any table format through the Table interface.

#include <gtest/gtest.h>
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
// record 0 with the batch number. Never returns.
[[noreturn]] inline void killTestWriter(const std::filesystem::path& file,
                                        const KillTestSubject& s) {
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
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "writer failed: %s\n", e.what());
        _exit(3);
    }
}

// Returns the number of records found intact after the last round.
inline std::int64_t runKillTest(const std::filesystem::path& file, const KillTestSubject& s,
                                int rounds, unsigned seed) {
    s.createEmpty(file);
    std::mt19937 rng(seed);
    std::int64_t previous = 0;
    for (int round = 0; round < rounds; ++round) {
        pid_t child = fork();
        if (child < 0) {
            ADD_FAILURE() << "fork failed";
            return previous;
        }
        if (child == 0) {
            // Slow page writes make kills land inside commits, not only between them.
            TableFiles::setPauseBetweenPageWrites(std::chrono::microseconds(2000));
            killTestWriter(file, s);
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
