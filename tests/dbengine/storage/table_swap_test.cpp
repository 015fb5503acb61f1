// Swapping a finished table in: companions follow the table, stale ones go, and a swap record is
// finished only once the process that wrote it is gone.
#include "dbengine/storage/table_swap.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "storage_test_support.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

// A one-record table with field A holding `text`; keyed tables get a .px file.
void makeTable(const fs::path& file, const std::string& text, int keys) {
    TableCreate layout;
    layout.fields = {makeField("A", FieldType::Alpha, 10)};
    layout.keyFields = keys;
    Table::create(file, TableFormat::Paradox, layout)->insert({text});
}

std::string firstValue(const fs::path& file) {
    auto t = Table::open(file, OpenMode::ReadOnly);
    auto c = t->scan();
    return c->next() ? std::get<std::string>(c->value(0)) : "<empty>";
}

std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(TableSwap, CompanionsFollowAndStaleOnesAreRemoved) {
    testing::TempDir dir;
    const fs::path table = dir / "items.db";
    makeTable(table, "old", 1);
    testing::writeAll(dir / "items.X02", {1, 2, 3});  // an index over the old fields
    const fs::path temp = swapTempPath(table);
    EXPECT_EQ(temp.parent_path(), dir.path());
    EXPECT_EQ(temp.filename().string().substr(0, 4), "~orn");
    EXPECT_NE(swapTempPath(table), temp) << "every call has a name of its own";
    makeTable(temp, "new", 1);
    swapInTable(table, TableFormat::Paradox, temp);
    EXPECT_EQ(firstValue(table), "new");
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"items.db", "items.px"}));

    // Into a place no table held before
    makeTable(temp, "newer", 0);
    swapInTable(dir / "fresh.db", TableFormat::Paradox, temp);
    EXPECT_EQ(firstValue(dir / "fresh.db"), "newer");
    EXPECT_FALSE(fs::exists(temp));
}

TEST(TableSwap, ARecordStillLockedByItsWriterIsLeftAlone) {
    testing::TempDir dir;
    const fs::path table = dir / "items.db";
    makeTable(table, "old", 0);
    const fs::path temp = swapTempPath(table);
    makeTable(temp, "new", 0);
    const std::string text = "R\t" + temp.string() + "\t" + table.string() + "\nEND\n";
    testing::writeAll(dir / "items.db.orn-swap", {text.begin(), text.end()});

    // Another process in the middle of this swap holds the record locked.
    const int fd = ::open((dir / "items.db.orn-swap").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(finishInterruptedSwap(table));
    EXPECT_EQ(firstValue(table), "old");
    EXPECT_TRUE(fs::exists(temp));

    ::close(fd);  // the writer died
    EXPECT_EQ(firstValue(table), "new");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"items.db"});
}

// A new table whose name another process took meanwhile: nothing of that table changes, the
// new files go, and the error says what happened.
TEST(TableSwap, ANewTableNeverReplacesOneThatAppearedMeanwhile) {
    testing::TempDir dir;
    const fs::path table = dir / "fresh.db";
    const fs::path temp = swapTempPath(table);
    makeTable(temp, "mine", 1);
    makeTable(table, "theirs", 0);  // made by another process while this one built its table
    try {
        swapInTable(table, TableFormat::Paradox, temp, SwapMode::CreateNew);
        ADD_FAILURE() << "the other table was replaced";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("created a table of that name meanwhile"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(firstValue(table), "theirs");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"fresh.db"});
}

}  // namespace
}  // namespace orn::db
