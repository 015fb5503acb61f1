// The SQL history file rules and the file-list helpers of the query window.
#include "workbench/queryhistory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "text/inifile.h"
#include "text/safefile.h"
#include "workbench/filelists.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

class HistoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orn_history_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = (dir_ / "orn.ini").string();
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    void Write(const std::string& text) { std::ofstream(file_) << text; }
    fs::path dir_;
    std::string file_;
};

TEST_F(HistoryTest, XxxEndsLoadingAndTheNextSaveDropsWhatFollows) {
    Write("[SQLHistory]\n0=select a from t\n1=xxx\n2=select b from t\n[Other]\nk=v\n");
    TQueryHistory history(file_);
    history.Load();
    ASSERT_EQ(history.Items(), std::vector<std::string>{"select a from t"});
    history.Save();
    EXPECT_EQ(ReadProfileString(file_, "SQLHistory", "2", "gone"), "gone");
    EXPECT_EQ(ReadProfileString(file_, "SQLHistory", "0"), "select a from t");
    EXPECT_EQ(ReadProfileString(file_, "Other", "k"), "v");  // other sections stay
}

TEST_F(HistoryTest, ShortBlankAndControlValuesAreSkippedWithoutEndingTheLoad) {
    // Key 1 is empty, key 2 holds a control character first; neither ends the loading.
    Write("[SQLHistory]\n0=a\n1=\n2=\"\x01x\"\n3=select 3\n");
    TQueryHistory history(file_);
    history.Load();
    EXPECT_EQ(history.Items(), (std::vector<std::string>{"a", "select 3"}));
    // A missing key ends the loading like "xxx".
    Write("[SQLHistory]\n0=a\n2=b\n");
    history.Load();
    EXPECT_EQ(history.Items(), std::vector<std::string>{"a"});
}

TEST_F(HistoryTest, AddNeedsMoreThanBlanksAndKeepsOneCopy) {
    TQueryHistory history(file_);
    EXPECT_TRUE(history.Add("t"));  // a letter compares above a blank
    EXPECT_FALSE(history.Add(std::string(33, ' ')));
    EXPECT_FALSE(history.Add(""));
    EXPECT_TRUE(history.Add("t"));
    EXPECT_EQ(history.Items(), std::vector<std::string>{"t"});
    // 34 blanks pass the add rule; the ini file drops blanks around values, so it reads back
    // empty and the load rule skips it.
    EXPECT_TRUE(history.Add(std::string(34, ' ')));
    history.Load();
    EXPECT_EQ(history.Items(), std::vector<std::string>{"t"});
}

TEST_F(HistoryTest, TwoWindowsAddingOneAfterTheOtherKeepBothEntries) {
    TQueryHistory first(file_), second(file_);
    first.Load();
    second.Load();
    first.Add("select 1");
    second.Add("select 2");  // reads the file again before writing
    first.Load();
    EXPECT_EQ(first.Items(), (std::vector<std::string>{"select 1", "select 2"}));
    // Del also reads again: the entry the other window added is deleted.
    auto next = second.Del("select 1");
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, "select 2");
    EXPECT_EQ(second.Del("select 2").value_or("?"), "");  // the last one: the box empties
    EXPECT_FALSE(second.Del("select 9"));
    first.Load();
    EXPECT_TRUE(first.Items().empty());
}

TEST_F(HistoryTest, LongStatementsAndManyEntries) {
    TQueryHistory history(file_);
    const std::string longSql = "select " + std::string(5000, 'x') + " from t";
    history.Add(longSql);
    history.Load();
    ASSERT_EQ(history.Items().size(), 1u);
    EXPECT_EQ(history.Items()[0], longSql);  // not cut at the profile value limit

    std::string text = "[SQLHistory]\n";
    for (int i = 0; i < 5000; ++i) {
        text += std::to_string(i) + "=select " + std::to_string(i) + "\n";
    }
    Write(text);
    history.Load();
    EXPECT_EQ(history.Items().size(), 1001u);  // keys 0 to 1000
    EXPECT_EQ(history.Items().back(), "select 1000");

    // The entries not shown stay stored: a full history refuses to add rather than drop them,
    // and a delete lets the next one move up into sight.
    EXPECT_THROW(history.Add("select new"), THistoryFull);
    EXPECT_EQ(ReadProfileString(file_, "SQLHistory", "4999"), "select 4999");
    ASSERT_EQ(history.Del("select 3"), "select 4");
    EXPECT_EQ(history.Items().size(), 1001u);
    EXPECT_EQ(history.Items().back(), "select 1001");
    EXPECT_EQ(ReadProfileString(file_, "SQLHistory", "4998"), "select 4999");
    EXPECT_EQ(ReadProfileString(file_, "SQLHistory", "4999"), "");
    // An entry already there is no addition, full or not.
    EXPECT_TRUE(history.Add("select 7"));
}

TEST_F(HistoryTest, ReadOnlyFileRaisesAndKeepsTheFile) {
    Write("[SQLHistory]\n0=select 1\n");
    fs::permissions(file_, fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes read-only files";
    }
    TQueryHistory history(file_);
    EXPECT_THROW(history.Add("select 2"), TProfileWriteError);
    EXPECT_EQ(ReadProfileString(file_, "SQLHistory", "0"), "select 1");
}

TEST(FileLists, MasksIgnoreCaseAndJoinWithSemicolons) {
    EXPECT_TRUE(MatchesMask("CUSTOMER.DB", "*.db"));
    EXPECT_TRUE(MatchesMask("ready.db", "r*.db"));
    EXPECT_FALSE(MatchesMask("clients.db", "r*.db"));
    EXPECT_FALSE(MatchesMask("x.dbf", "*.db"));
    EXPECT_TRUE(MatchesMask("x.dbf", "*.db;*.dbf"));
    EXPECT_TRUE(MatchesMask("a.b.orn", "*.orn"));
    EXPECT_TRUE(MatchesMask("abc", "a?c"));
    EXPECT_FALSE(MatchesMask("abbc", "a?c"));
    EXPECT_TRUE(MatchesMask("anything", ""));
    EXPECT_TRUE(MatchesMask("aXbXc", "a*b*c"));
}

TEST(FileLists, FilterAndTypedTexts) {
    const auto filters = ParseFilter("All db's (*.db)|*.db|Ready files (r*.db)|r*.db");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[1].first, "Ready files (r*.db)");
    EXPECT_EQ(filters[1].second, "r*.db");

    FileNameText t = SplitFileNameText("sub/r*.db", "/data");
    EXPECT_EQ(t.directory, "/data/sub");
    EXPECT_EQ(t.mask, "r*.db");
    t = SplitFileNameText("*.orn", "/data");
    EXPECT_EQ(t.directory, "");
    EXPECT_EQ(t.mask, "*.orn");
    t = SplitFileNameText("/other/", "/data");
    EXPECT_EQ(t.directory, "/other");
    EXPECT_EQ(t.mask, "");
    t = SplitFileNameText("x.db", "/data");
    EXPECT_EQ(t.select, "x.db");
    EXPECT_EQ(t.directory, "");
}

TEST(FileLists, ListsSortedFilesAndReportsUnreadableDirectories) {
    const fs::path dir = fs::temp_directory_path() / ("orn_lists_" + std::to_string(getpid()));
    fs::create_directories(dir / "sub");
    fs::create_directories(dir / ".hidden");
    for (const char* name : {"b.db", "A.DB", "c.txt"}) {
        std::ofstream(dir / name) << "x";
    }
    // A temporary of a writer that was killed goes when its directory is listed.
    const pid_t writer = fork();
    if (writer == 0) {
        std::ofstream(dir / TempFileName("t.db.tmp")) << "x";
        _exit(0);
    }
    waitpid(writer, nullptr, 0);
    EXPECT_EQ(ListFiles(dir.string(), "*.db"), (std::vector<std::string>{"A.DB", "b.db"}));
    EXPECT_EQ(ListDirectories(dir.string()), std::vector<std::string>{"sub"});
    EXPECT_EQ(ListFiles(dir.string(), "*"), (std::vector<std::string>{"A.DB", "b.db", "c.txt"}));
    std::string error;
    EXPECT_TRUE(ListFiles((dir / "missing").string(), "*", &error).empty());
    EXPECT_NE(error, "");
    fs::remove_all(dir);
    EXPECT_EQ(MountedVolumes().front(), "/");
}

}  // namespace
}  // namespace orn
