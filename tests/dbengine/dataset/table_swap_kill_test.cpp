// Replacing a table's files (ALTER TABLE, DROP INDEX ... PRIMARY, saving an answer over a table)
// is all or nothing: a writer killed at any step of the swap leaves a table that the next open
// shows complete in its new form, and killed before the swap, the old table untouched.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "dataset_test_support.h"
#include "dbengine/dataset/answer_table.h"
#include "dbengine/dataset/query.h"
#include "dbengine/storage/table_files.h"
#include "dbengine/storage/table_swap.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

constexpr int kRows = 300;

struct Operation {
    const char* name;
    TableFormat format;
    std::function<void(const fs::path& dir)> prepare;  // the tables before
    std::function<void(const fs::path& dir)> run;
    fs::path target;  // the table replaced, relative to the directory
    std::function<void(Table& t)> expectDone;
    std::function<void(Table& t)> expectOld;
    std::vector<std::string> files;  // the directory afterwards
};

void execute(const fs::path& dir, const std::string& sql) {
    Query q(dir);
    q.setSql(sql);
    q.execute();
}

std::int64_t rows(Table& t) {
    std::int64_t n = 0;
    for (auto c = t.scan(); c->next();) {
        ++n;
    }
    return n;
}

std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<Operation> operations() {
    std::vector<Operation> ops;
    ops.push_back({"AlterTableAddParadox",
                   TableFormat::Paradox,
                   [](const fs::path& d) { makeKeyedTable(d, "items", kRows); },
                   [](const fs::path& d) { execute(d, "ALTER TABLE items ADD Note CHAR(12)"); },
                   "items.db",
                   [](Table& t) {
                       EXPECT_EQ(t.fields().size(), 4u);
                       EXPECT_EQ(t.keyFieldCount(), 1);
                       EXPECT_EQ(rows(t), kRows);
                   },
                   [](Table& t) {
                       EXPECT_EQ(t.fields().size(), 3u);
                       EXPECT_EQ(rows(t), kRows);
                   },
                   {"items.db", "items.px"}});
    ops.push_back({"AlterTableDropDbase",
                   TableFormat::DBase,
                   [](const fs::path& d) { makeKeyedTable(d, "items", kRows, TableFormat::DBase); },
                   [](const fs::path& d) { execute(d, "ALTER TABLE items DROP Amount"); },
                   "items.dbf",
                   [](Table& t) {
                       EXPECT_EQ(t.fields().size(), 2u);
                       EXPECT_EQ(rows(t), kRows);
                   },
                   [](Table& t) { EXPECT_EQ(t.fields().size(), 3u); },
                   {"items.dbf"}});
    ops.push_back({"DropPrimaryIndex",
                   TableFormat::Paradox,
                   [](const fs::path& d) { makeKeyedTable(d, "items", kRows); },
                   [](const fs::path& d) { execute(d, "DROP INDEX items.PRIMARY"); },
                   "items.db",
                   [](Table& t) {
                       EXPECT_EQ(t.keyFieldCount(), 0);
                       EXPECT_EQ(rows(t), kRows);
                   },
                   [](Table& t) { EXPECT_EQ(t.keyFieldCount(), 1); },
                   {"items.db"}});
    ops.push_back({"SaveAnswerOverATable",
                   TableFormat::Paradox,
                   [](const fs::path& d) {
                       makeKeyedTable(d, "items", kRows);
                       makeKeyedTable(d, "answer", 7);
                   },
                   [](const fs::path& d) {
                       Query q(d);
                       q.setSql("SELECT Id, Name FROM items");
                       q.open();
                       saveAnswerAsTable(q, "answer");
                   },
                   "answer.db",
                   [](Table& t) {
                       EXPECT_EQ(t.fields().size(), 2u);
                       EXPECT_EQ(rows(t), kRows);
                   },
                   [](Table& t) { EXPECT_EQ(rows(t), 7); },
                   {"answer.db", "items.db", "items.px"}});
    return ops;
}

void PrintTo(const Operation& op, std::ostream* os) {
    *os << op.name;
}

class TableSwapKill : public ::testing::TestWithParam<Operation> {};

// Runs the operation in a child; `inChild` arms the kill. Returns whether the child was killed.
bool runChild(const Operation& op, const fs::path& dir, const std::function<void()>& inChild,
              std::chrono::milliseconds killAfter = std::chrono::milliseconds(0)) {
    const pid_t child = fork();
    if (child == 0) {
        try {
            inChild();
            op.run(dir);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child failed: %s\n", e.what());
            _exit(3);
        }
        _exit(0);
    }
    if (killAfter.count() > 0) {
        std::this_thread::sleep_for(killAfter);
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
        << "the child failed";
    return WIFSIGNALED(status);
}

TEST_P(TableSwapKill, AKillAtAnyStepOfTheSwapIsFinishedOnTheNextOpen) {
    const Operation& op = GetParam();
    int killed = 0;
    for (int at = 0; at < 20; ++at) {
        TempDir dir;
        op.prepare(dir.path());
        const bool wasKilled = runChild(op, dir.path(), [at] {
            setSwapStepHook([at](int step) {
                if (step == at) {
                    raise(SIGKILL);
                }
            });
        });
        if (!wasKilled) {
            break;  // past the last step: the swap ran through
        }
        ++killed;
        fs::path record = dir.path() / op.target;
        record += ".orn-swap";
        EXPECT_TRUE(fs::exists(record)) << "killed at step " << at;
        {
            auto t = Table::open(dir.path() / op.target, OpenMode::ReadOnly);
            op.expectDone(*t);
        }
        EXPECT_EQ(filesIn(dir.path()), op.files) << "killed at step " << at;
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
    EXPECT_GE(killed, 2);
}

TEST_P(TableSwapKill, AKillWhileTheNewTableIsWrittenLeavesTheOldOne) {
    const Operation& op = GetParam();
    TempDir dir;
    op.prepare(dir.path());
    ASSERT_TRUE(runChild(
        op, dir.path(),
        [] { TableFiles::setPauseBetweenPageWrites(std::chrono::microseconds(50000)); },
        std::chrono::milliseconds(60)))
        << "the child finished before it was killed";
    {
        auto t = Table::open(dir.path() / op.target, OpenMode::ReadOnly);
        op.expectOld(*t);
    }
    // The remains of the unfinished table do not stand in the way of the next attempt.
    op.run(dir.path());
    auto t = Table::open(dir.path() / op.target, OpenMode::ReadOnly);
    op.expectDone(*t);
    EXPECT_EQ(filesIn(dir.path()), op.files);
}

INSTANTIATE_TEST_SUITE_P(Operations, TableSwapKill, ::testing::ValuesIn(operations()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orn::db
