// Several processes working on one table at once: statements that write keep every change, and
// readers see one committed state. Children are forked; each uses a session of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "dataset_test_support.h"
#include "dbengine/dataset/answer_table.h"
#include "dbengine/dataset/query.h"
#include "dbengine/storage/file_lock.h"
#include "dbengine/storage/posix_file.h"
#include "dbengine/storage/table_files.h"
#include "dbengine/vtab/sql_session.h"
#include "dbengine/vtab/statement_gateway.h"

namespace orn::db {
namespace {

// Runs `count` children that all start `body(i)` at the same moment; returns how many failed.
// A child fails when body throws or returns false.
int runTogether(int count, const std::function<bool(int)>& body) {
    int go[2];
    if (pipe(go) != 0)
        return count;
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(go[1]);
            char c = 0;
            (void)!read(go[0], &c, 1);  // returns when the parent closes its end
            bool ok = false;
            try {
                ok = body(i);
            } catch (const std::exception& e) {
                fprintf(stderr, "child %d: %s\n", i, e.what());
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    close(go[0]);
    close(go[1]);
    int failed = 0;
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        failed += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    }
    return failed;
}

// A child process that does `hold`, which calls the wait it is given once it holds what it should
// (a lock, an open table, a transaction): the child then keeps it until release().
class HoldingChild {
  public:
    explicit HoldingChild(const std::function<void(const std::function<void()>& wait)>& hold) {
        if (pipe(ready_) != 0 || pipe(release_) != 0) {
            ADD_FAILURE() << "pipe failed";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            bool ok = false;
            try {
                hold([this] {
                    (void)!write(ready_[1], "x", 1);
                    char c = 0;
                    (void)!read(release_[0], &c, 1);
                });
                ok = true;
            } catch (const std::exception& e) {
                fprintf(stderr, "holding child: %s\n", e.what());
            }
            _exit(ok ? 0 : 1);
        }
        char c = 0;
        if (read(ready_[0], &c, 1) != 1)
            ADD_FAILURE() << "the child never held";
    }
    HoldingChild(const HoldingChild&) = delete;
    HoldingChild& operator=(const HoldingChild&) = delete;
    ~HoldingChild() { release(); }
    // Lets the child go on and waits for its end; true when it ended well.
    bool release() {
        if (pid_ <= 0)
            return false;
        (void)!write(release_[1], "x", 1);
        int status = -1;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        for (int fd : {ready_[0], ready_[1], release_[0], release_[1]})
            close(fd);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    int ready_[2] = {-1, -1}, release_[2] = {-1, -1};
    pid_t pid_ = -1;
};

void run(SqlSession& session, const std::string& sql) {
    auto prepared = prepareDialect(session, sql);
    if (prepared.statement) {
        while (prepared.statement->step()) {
        }
    }
}

double number(const Value& v) {
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    ADD_FAILURE() << "not a number";
    return 0;
}

std::string quoted(const std::filesystem::path& file) {
    return "\"" + file.filename().string() + "\"";
}

// A folder in memory when there is one: thousands of commits then cost no disk syncs.
class MemoryDir {
  public:
    MemoryDir() {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string tmpl = (base / "orn_mp_XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~MemoryDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

class ManyProcesses : public ::testing::TestWithParam<TableFormat> {
  protected:
    std::filesystem::path makeTable(int rows) {
        return makeKeyedTable(dir_.path(), "t", rows, GetParam());
    }
    MemoryDir dir_;
};

// Each increment reads the row and writes it back: without the write lock from the statement's
// start, two processes read the same value and one increment is lost.
TEST_P(ManyProcesses, FourProcessesIncrementingOneRowLoseNothing) {
    const auto file = makeTable(20);
    constexpr int kProcesses = 4;
    constexpr int kIncrements = 500;
    const std::string update = "UPDATE " + quoted(file) + " SET Amount = Amount + 1 WHERE Id = 5";
    const int failed = runTogether(kProcesses, [&](int) {
        SqlSession session(dir_.path());  // one session: its open table must notice the others
        for (int i = 0; i < kIncrements; ++i) {
            run(session, update);
        }
        return true;
    });
    EXPECT_EQ(failed, 0);
    const auto rows = readAll(file);
    ASSERT_EQ(rows.size(), 20u);
    EXPECT_DOUBLE_EQ(number(rows[4][2]), 5 * 1.5 + kProcesses * kIncrements);
}

// Two statements that change different fields of every row at the same time: both changes stay.
TEST_P(ManyProcesses, ConcurrentStatementsOnAllRowsBothStay) {
    const auto file = makeTable(600);
    const int failed = runTogether(2, [&](int i) {
        SqlSession session(dir_.path());
        for (int round = 0; round < 5; ++round) {
            run(session, i == 0 ? "UPDATE " + quoted(file) + " SET Amount = Amount + 1000"
                                : "UPDATE " + quoted(file) + " SET Name = 'a' || Name");
        }
        return true;
    });
    EXPECT_EQ(failed, 0);
    const auto rows = readAll(file);
    ASSERT_EQ(rows.size(), 600u);
    for (const auto& r : rows) {
        const double id = number(r[0]);
        EXPECT_DOUBLE_EQ(number(r[2]), id * 1.5 + 5000) << "row " << id;
        EXPECT_EQ(std::get<std::string>(r[1]), "aaaaaname" + std::to_string(int(id)));
    }
}

// A writer changes every row in each commit, slowly (pages written one at a time with a pause);
// a reader running whole statements meanwhile must always find all rows changed alike.
TEST_P(ManyProcesses, ReadersNeverSeeHalfACommit) {
    const auto file = makeTable(1500);
    const std::string sql =
        "SELECT min(Amount - Id * 1.5), max(Amount - Id * 1.5), count(*) FROM " + quoted(file);
    int done[2];
    ASSERT_EQ(pipe(done), 0);
    const pid_t writer = fork();
    if (writer == 0) {
        close(done[0]);
        int status = 0;
        try {
            TableFiles::setPauseBetweenPageWrites(std::chrono::microseconds(300));
            SqlSession session(dir_.path());
            for (int i = 0; i < 12; ++i)
                run(session, "UPDATE " + quoted(file) + " SET Amount = Amount + 1");
        } catch (const std::exception& e) {
            fprintf(stderr, "writer: %s\n", e.what());
            status = 1;
        }
        _exit(status);
    }
    close(done[1]);
    SqlSession session(dir_.path());
    int mixed = 0;
    int reads = 0;
    for (;;) {
        int status = 0;
        const bool writerDone = waitpid(writer, &status, WNOHANG) == writer;
        auto prepared = prepareDialect(session, sql);
        ASSERT_TRUE(prepared.statement->step());
        const double low = sqlite3_column_double(prepared.statement->handle(), 0);
        const double high = sqlite3_column_double(prepared.statement->handle(), 1);
        EXPECT_EQ(sqlite3_column_int64(prepared.statement->handle(), 2), 1500);
        mixed += low != high ? 1 : 0;
        ++reads;
        if (writerDone) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_EQ(low, 12.0);
            break;
        }
    }
    close(done[0]);
    EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
}

// A result fetched in parts holds no lock between the parts; what it fetches after another
// process committed comes whole from the new state, going on after the last row it returned.
TEST_P(ManyProcesses, ResultFetchedInPartsGoesOnInTheNewState) {
    const auto file = makeTable(400);
    SqlSession session(dir_.path());
    auto prepared = prepareDialect(session, "SELECT Id, Name, Amount FROM " + quoted(file));
    auto& stmt = *prepared.statement;
    std::vector<int> ids;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(stmt.step());
        ids.push_back(sqlite3_column_int(stmt.handle(), 0));
    }
    stmt.pause();
    // Another process deletes the next 100 rows and changes all others.
    const int failed = runTogether(1, [&](int) {
        setLockWait(std::chrono::milliseconds(2000));
        SqlSession other(dir_.path());
        run(other, "DELETE FROM " + quoted(file) + " WHERE Id > 50 AND Id <= 150");
        run(other, "UPDATE " + quoted(file) + " SET Amount = Amount + 1000, Name = 'new'");
        return true;
    });
    ASSERT_EQ(failed, 0) << "the writer was kept waiting by a paused result";
    int previous = ids.back();
    int count = 0;
    while (stmt.step()) {
        const int id = sqlite3_column_int(stmt.handle(), 0);
        EXPECT_GT(id, 150) << "a deleted row came back";
        EXPECT_GT(id, previous);
        previous = id;
        EXPECT_DOUBLE_EQ(sqlite3_column_double(stmt.handle(), 2), id * 1.5 + 1000);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt.handle(), 1)), "new");
        ++count;
    }
    EXPECT_EQ(count, 250);
}

// SAVE over a table: the answer is read and the table replaced under the locks of the table, so
// no other process's commit falls between them, and nobody goes on in the replaced files.
std::string saveOver(const std::filesystem::path& dir, const std::string& select,
                     const std::string& name) {
    Query q(dir);
    q.setSql(select);
    q.open();
    try {
        saveAnswerAsTable(q, name);
    } catch (const EngineError& e) {
        return e.what();
    }
    return {};
}

TEST_P(ManyProcesses, SaveOverATableOtherProcessesUpdateKeepsEveryUpdate) {
    const auto file = makeTable(30);
    const std::string name = file.filename().string();
    int counted[2];
    ASSERT_EQ(pipe(counted), 0);
    const pid_t updater = fork();
    if (updater == 0) {
        setLockWait(std::chrono::milliseconds(3000));
        int done = 0;
        for (int i = 0; i < 60; ++i) {
            try {
                SqlSession session(dir_.path());  // holds the table only for the statement
                run(session, "UPDATE " + quoted(file) + " SET Amount = Amount + 1 WHERE Id = 5");
                ++done;
            } catch (const EngineError&) {
                // in use by the save: this one did not happen, and exits as failed
            }
        }
        (void)!write(counted[1], &done, sizeof done);
        _exit(0);
    }
    int saved = 0, refused = 0;
    for (int i = 0; i < 12; ++i) {
        const std::string error = saveOver(dir_.path(), "SELECT * FROM " + quoted(file), name);
        if (error.empty())
            ++saved;
        else if (error.find("is in use by another process") != std::string::npos)
            ++refused;
        else
            ADD_FAILURE() << error;
    }
    int done = -1;
    ASSERT_EQ(read(counted[0], &done, sizeof done), ssize_t(sizeof done));
    waitpid(updater, nullptr, 0);
    close(counted[0]);
    close(counted[1]);
    const auto rows = readAll(file);
    ASSERT_EQ(rows.size(), 30u);
    EXPECT_DOUBLE_EQ(number(rows[4][2]), 5 * 1.5 + done)
        << done << " updates, " << saved << " saves, " << refused << " saves refused";
}

INSTANTIATE_TEST_SUITE_P(Formats, ManyProcesses,
                         ::testing::Values(TableFormat::Paradox, TableFormat::DBase),
                         [](const auto& info) {
                             return info.param == TableFormat::Paradox ? "Paradox" : "DBase";
                         });

// Waits are bounded both ways: a writer does not wait for ever on a reader in the middle of a
// statement, and a reader does not wait for ever on a commit.
class LockWaits : public ::testing::Test {
  protected:
    void SetUp() override { setLockWait(std::chrono::milliseconds(150)); }
    void TearDown() override { setLockWait(std::chrono::seconds(10)); }
    TempDir dir_;
};

TEST_F(LockWaits, AWriterGivesUpOnAReaderInTheMiddleOfAStatement) {
    const auto file = makeKeyedTable(dir_.path(), "t", 10);
    HoldingChild reader([&](const std::function<void()>& wait) {
        SqlSession session(dir_.path());
        auto prepared = prepareDialect(session, "SELECT * FROM \"t.db\"");
        prepared.statement->step();  // in the middle of the statement
        wait();
    });
    SqlSession session(dir_.path());
    try {
        run(session, "UPDATE \"t.db\" SET Amount = 0");
        ADD_FAILURE() << "the update did not wait for the reader";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("is in use by another process"), std::string::npos)
            << e.what();
    }
    EXPECT_DOUBLE_EQ(number(readAll(file)[0][2]), 1.5);  // nothing of it was written
    EXPECT_TRUE(reader.release());
    run(session, "UPDATE \"t.db\" SET Amount = 0");
    EXPECT_DOUBLE_EQ(number(readAll(file)[0][2]), 0);
}

// The reads an open query or a failed statement began do not outlive them: a result window
// that shows its first rows, or a statement whose column is unknown after its table was opened,
// leaves other processes free to commit.
TEST_F(LockWaits, NothingStaysLockedForReadingAfterAnOpenOrAFailedStatement) {
    const auto file = makeKeyedTable(dir_.path(), "t", 10);
    HoldingChild reader([&](const std::function<void()>& wait) {
        Query shown(dir_.path(), true);
        shown.setSql("SELECT * FROM \"t.db\"");
        shown.open();
        SqlSession session(dir_.path());
        EXPECT_THROW(prepareDialect(session, "SELECT NoSuchField FROM \"t.db\""), EngineError);
        wait();
    });
    SqlSession session(dir_.path());
    run(session, "UPDATE \"t.db\" SET Amount = 0");
    EXPECT_DOUBLE_EQ(number(readAll(file)[0][2]), 0);
    EXPECT_TRUE(reader.release());
}

TEST_F(LockWaits, AReaderGivesUpOnACommitThatDoesNotEnd) {
    const auto file = makeKeyedTable(dir_.path(), "t", 10);
    HoldingChild writer([&](const std::function<void()>& wait) {
        PosixFile main(file, PosixFile::Access::ReadWrite);
        SharedLock::of(main)->beginCommit(file);  // as a commit writing its pages in place
        wait();
    });
    try {
        readAll(file);
        ADD_FAILURE() << "read while a commit was writing";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot read"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("is in use by another process"), std::string::npos);
    }
    EXPECT_TRUE(writer.release());
    EXPECT_EQ(readAll(file).size(), 10u);
}

// A process that holds the table open (a READ waiting at its question, a window) or writes to it
// keeps SAVE from replacing it, as it keeps DROP; a read-only table is never replaced.
class SaveOver : public ::testing::Test {
  protected:
    void SetUp() override { setLockWait(std::chrono::milliseconds(200)); }
    void TearDown() override { setLockWait(std::chrono::seconds(10)); }
    // A child that opens the table, runs `hold` on it and keeps it so until released; the
    // release commits what `hold` began.
    std::unique_ptr<HoldingChild> holdInChild(const std::function<void(Table&)>& hold = {}) {
        return std::make_unique<HoldingChild>([&](const std::function<void()>& wait) {
            std::unique_ptr<Table> t = Table::open(file_, OpenMode::Shared);
            if (hold)
                hold(*t);
            wait();
            if (hold)
                t->commit();
        });
    }
    std::string saveFirstThree() {
        return saveOver(dir_.path(), "SELECT Id, Name, Amount FROM t WHERE Id <= 3", "t");
    }
    TempDir dir_;
    std::filesystem::path file_ = makeKeyedTable(dir_.path(), "t", 10);
};

TEST_F(SaveOver, ATableAnotherProcessHasOpenStaysAndTheSaveSaysWhy) {
    auto child = holdInChild();
    EXPECT_EQ(saveFirstThree(), "Cannot open " + file_.string() +
                                    " exclusively: the table is in use by another process.");
    EXPECT_EQ(readAll(file_).size(), 10u);
    EXPECT_TRUE(child->release());
    EXPECT_EQ(saveFirstThree(), "");
    EXPECT_EQ(readAll(file_).size(), 3u);
}

TEST_F(SaveOver, AWriterInTheMiddleOfATransactionKeepsItsChange) {
    auto child = holdInChild([](Table& t) {
        t.begin();
        auto c = t.scan();
        c->next();
        t.update(c->id(), {std::int64_t{1}, std::string("changed"), 99.0});
    });
    const std::string error = saveFirstThree();
    EXPECT_NE(error.find("is in use by another process"), std::string::npos) << error;
    EXPECT_TRUE(child->release());  // commits
    EXPECT_EQ(saveFirstThree(), "");
    const auto rows = readAll(file_);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(std::get<std::string>(rows[0][1]), "changed");
    EXPECT_DOUBLE_EQ(number(rows[0][2]), 99.0);
}

TEST_F(SaveOver, AReadOnlyTableIsRefusedAndStaysReadOnly) {
    namespace fs = std::filesystem;
    fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(saveFirstThree(), "Cannot write " + file_.string() + ": the table is read-only.");
    EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(readAll(file_).size(), 10u);
}

}  // namespace
}  // namespace orn::db
