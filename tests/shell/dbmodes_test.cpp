// EXEC, INDEX and CHANGE from the command line: no window, errors through ReportError, and an
// exit code that tells scripts whether the operation worked.
#include <gtest/gtest.h>

#include <fstream>

#include "shell/run_orn.h"
#include "workbench/workbench_test_support.h"

namespace orn {
namespace {

using Outcome = testing::OrnOutcome;

class DbModesTest : public testing::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        testing::MakePeople(dir_, 3);
    }
    Outcome Orn(const std::vector<std::string>& args) { return testing::RunOrn(args, dir_, dir_); }
    std::size_t Rows() const { return testing::ReadAll(dir_ / "people.dbf").size(); }
};

TEST_F(DbModesTest, ExecSucceedsOrReportsAndFails) {
    EXPECT_EQ(Orn({"EXEC", "delete from people where ID = 1"}).status, 0);
    EXPECT_EQ(Rows(), 2u);
    Outcome bad = Orn({"EXEC", "delete from nosuchtable"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err.rfind("Error: EXEC delete from nosuchtable\n", 0), 0u) << bad.err;
    EXPECT_EQ(bad.err.find("-> OK"), std::string::npos) << bad.err;  // no choice, no answer line
    EXPECT_EQ(bad.err.back(), '\n');

    WriteFile("s.sql", "delete from people where ID = 2\n\ndelete from people\n");
    Outcome file = Orn({"/error=err.txt", "EXEC", "file:s.sql", "/error=errors.txt"});
    EXPECT_EQ(file.status, 0);
    EXPECT_EQ(Rows(), 1u);
    Outcome missing = Orn({"EXEC", "/error=errors.txt", "file:none.sql"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "");
    EXPECT_EQ(ReadFile(Path("errors.txt")), "EXEC file:none.sql\r\nCan not open file none.sql\r\n");
    EXPECT_FALSE(std::filesystem::exists(Path("err.txt")));
}

TEST_F(DbModesTest, IndexAndChange) {
    WriteFile("errors.txt", "kept\r\n");
    Outcome index = Orn({"INDEX", "people", "/error=errors.txt"});
    EXPECT_EQ(index.status, 1);
    EXPECT_EQ(ReadFile(Path("errors.txt")).rfind("kept\r\nINDEX people \r\n", 0), 0u);

    Outcome size = Orn({"/error=errors.txt", "CHANGE", "people", "NAME", "A"});
    EXPECT_EQ(size.status, 1);
    EXPECT_NE(ReadFile(Path("errors.txt")).find("CHANGE people NAME A \r\n"), std::string::npos);
    EXPECT_EQ(Orn({"CHANGE", "people", "NAME", "A", "12x"}).status, 1);

    EXPECT_EQ(Orn({"CHANGE", "people", "NAME", "A", "40"}).status, 0);
    auto table = db::Table::open(dir_ / "people.dbf", db::OpenMode::ReadOnly);
    EXPECT_EQ(table->fields()[1].size, 40);
    EXPECT_EQ(table->recordCount(), 3u);
}

// The corpus events table, with its composite index marked descending: ORN cannot keep such an
// index in order, so the first write removes it and says so. False without the corpus.
bool CopyEventsWithDescendingIndex(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    const fs::path corpus = fs::path(ORN_CORPUS_DIR) / "open/paradox/dbdemos";
    if (!fs::exists(corpus / "events.xg0")) {
        return false;
    }
    for (const char* ext : {".db", ".px", ".mb", ".xg0", ".yg0"}) {
        const fs::path to = dir / (std::string("events") + ext);
        fs::copy_file(corpus / (std::string("events") + ext), to);
        fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
    }
    std::fstream x(dir / "events.xg0", std::ios::in | std::ios::out | std::ios::binary);
    x.seekp(0x55);
    x.put('\x11');
    return true;
}

TEST_F(DbModesTest, AnIndexRemovedByAWriteIsToldOnceOnStandardError) {
    if (!CopyEventsWithDescendingIndex(dir_)) {
        GTEST_SKIP() << "corpus not found";
    }
    auto warning = [](const std::filesystem::path& table) {
        return "orn: warning: Removed the secondary index events.xg0/events.yg0 of " +
               table.string() + ": it is descending.\n";
    };
    Outcome exec = Orn({"EXEC", "delete from events where EventNo = 1"});
    EXPECT_EQ(exec.status, 0);
    EXPECT_EQ(exec.err, warning(dir_ / "events.db"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "events.xg0"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "events.yg0"));
    EXPECT_EQ(Orn({"EXEC", "delete from events where EventNo = 2"}).err, "");

    // A program's SQL line that writes tells it the same way.
    std::filesystem::remove_all(dir_ / "again");
    std::filesystem::create_directory(dir_ / "again");
    ASSERT_TRUE(CopyEventsWithDescendingIndex(dir_ / "again"));
    WriteProgram("p.orn", {"SQL update \"again/events.db\" set Ticket_price = 1",
                           "EXEC delete from \"again/events.db\" where EventNo = 3"});
    Outcome run = Orn({"RUN", "p.orn"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, warning(dir_ / "again/events.db"));
}

TEST_F(DbModesTest, LowerCaseWordsAreNoModes) {
    // "exec" is a file name, not a mode: with a display the windowed start refuses its
    // extension, without one the windowed mode says it needs a display. Either way no row goes.
    Outcome o = Orn({"exec", "delete from people"});
    EXPECT_TRUE(o.status == 1 || o.status == 3) << o.status;
    EXPECT_EQ(Rows(), 3u);
    EXPECT_TRUE(o.err.find("exec") != std::string::npos ||
                o.err.find("Unknow extension") != std::string::npos)
        << o.err;
}

}  // namespace
}  // namespace orn
