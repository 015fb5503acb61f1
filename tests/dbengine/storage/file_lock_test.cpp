#include "dbengine/storage/file_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dbengine/storage/table_files.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

using testing::TempDir;
using testing::writeAll;

// Runs `hold` in a child process that keeps the table open until the parent has run `check`.
template <typename Hold, typename Check>
void withChildHolding(Hold hold, Check check) {
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char c = 0;
        {
            auto held = hold();
            (void)!write(ready[1], "x", 1);
            (void)!read(done[0], &c, 1);
        }
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    check();
    (void)!write(done[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);
}

TEST(FileLock, ExclusiveOpenFailsWhileAnotherProcessHasTheTableOpen) {
    TempDir dir;
    auto main = dir / "shared.dbf";
    writeAll(main, {1, 2, 3});
    withChildHolding(
        [&] { return std::make_unique<TableFiles>(main, OpenMode::ReadOnly); },
        [&] {
            try {
                TableFiles t(main, OpenMode::Exclusive);
                ADD_FAILURE() << "exclusive open succeeded";
            } catch (const EngineError& e) {
                EXPECT_NE(std::string(e.what()).find(main.string()), std::string::npos);
                EXPECT_NE(std::string(e.what()).find("exclusively"), std::string::npos);
            }
            TableFiles shared(main, OpenMode::Shared);  // sharing is fine
        });
    TableFiles t(main, OpenMode::Exclusive);  // the child is gone
}

TEST(FileLock, SharedOpenFailsWhileAnotherProcessHoldsItExclusively) {
    TempDir dir;
    auto main = dir / "excl.db";
    writeAll(main, {1, 2, 3});
    withChildHolding([&] { return std::make_unique<TableFiles>(main, OpenMode::Exclusive); },
                     [&] {
                         EXPECT_THROW(TableFiles(main, OpenMode::Shared), EngineError);
                         EXPECT_THROW(TableFiles(main, OpenMode::ReadOnly), EngineError);
                     });
}

TEST(FileLock, TwoObjectsOfOneProcessExcludeEachOtherToo) {
    TempDir dir;
    auto main = dir / "t.dbf";
    writeAll(main, {1});
    TableFiles a(main, OpenMode::Shared);
    EXPECT_THROW(TableFiles(main, OpenMode::Exclusive), EngineError);
}

TEST(FileLock, WritersWaitForEachOther) {
    TempDir dir;
    auto main = dir / "w.dbf";
    writeAll(main, {0});
    withChildHolding(
        [&] {
            auto t = std::make_unique<TableFiles>(main, OpenMode::Shared);
            t->begin();  // holds the write lock until the parent has checked
            return t;
        },
        [&] {
            PosixFile f(main, PosixFile::Access::ReadWrite);
            EXPECT_FALSE(tryLockTableWrite(f));
        });
    PosixFile f(main, PosixFile::Access::ReadWrite);
    EXPECT_TRUE(tryLockTableWrite(f));
}

}  // namespace
}  // namespace orn::db
