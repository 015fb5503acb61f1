// Copy, paste and text export over a live result.
#include "workbench/textexchange.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

#include "dbengine/dataset/query.h"
#include "text/zstring.h"
#include "workbench/errorreports.h"
#include "workbench_test_support.h"

namespace orn {
namespace {

using db::makeField;
using testing::MakeTable;

std::size_t CountLines(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++n;
    }
    return n;
}

class TextExchangeTest : public testing::TempDirTest {
  protected:
    std::unique_ptr<db::Query> Open(const std::string& sql) {
        auto q = std::make_unique<db::Query>(dir_, true);
        q->setSql(sql);
        q->open();
        return q;
    }
    TMemoryClipboard clipboard;
};

TEST_F(TextExchangeTest, CopyTakes400RecordsExportTakesAllAndBothReturnToTheRecord) {
    testing::MakePeople(dir_, 1000);
    auto q = Open("select * from people order by ID");
    q->setRecNo(7);
    EXPECT_EQ(CopyToClipboard(*q, ";", clipboard), "");
    const std::string copied = clipboard.Text();
    EXPECT_EQ(CountLines(copied), 401u);
    EXPECT_EQ(copied.substr(0, copied.find("\r\n", 16) + 2), "ID;NAME;SCORE\r\n1;name1;1.5\r\n");
    EXPECT_EQ(q->recNo(), 7);
    EXPECT_FALSE(q->controlsDisabled());

    EXPECT_EQ(SaveAsText(*q, Path("all.txt"), "\t"), "");
    const std::string saved = ReadFile(Path("all.txt"));
    EXPECT_EQ(CountLines(saved), 1001u);
    EXPECT_EQ(saved.substr(saved.size() - 21), "\n1000\tname1000\t1500\r\n");
    EXPECT_EQ(q->recNo(), 7);
}

TEST_F(TextExchangeTest, EmptyResultGivesTheHeaderOnlyAndDisplayFormatsApply) {
    testing::MakePeople(dir_, 3);
    auto q = Open("select ID, SCORE from people where ID > 100");
    EXPECT_EQ(SaveAsText(*q, Path("empty.txt"), ","), "");
    EXPECT_EQ(ReadFile(Path("empty.txt")), "ID,SCORE\r\n");
    CopyToClipboard(*q, "\t", clipboard);
    EXPECT_EQ(clipboard.Text(), "ID\tSCORE\r\n");

    auto all = Open("select ID, SCORE from people order by ID");
    all->fieldByName("SCORE").setDisplayFormat("000.0");
    EXPECT_EQ(SaveAsText(*all, Path("fmt.txt"), ";;"), "");
    EXPECT_EQ(ReadFile(Path("fmt.txt")), "ID;;SCORE\r\n1;;001.5\r\n2;;003.0\r\n3;;004.5\r\n");
}

TEST_F(TextExchangeTest, ExportToAnUnwritablePlaceKeepsTheOldFile) {
    testing::MakePeople(dir_, 2);
    auto q = Open("select * from people");
    const std::string bad = Path("no/such/dir/out.txt");
    EXPECT_EQ(SaveAsText(*q, bad, "\t"), "Can not open file " + bad);
    WriteFile("keep.txt", "old");
    std::filesystem::create_directory(dir_ / "adir");
    EXPECT_EQ(SaveAsText(*q, Path("adir"), "\t"), "Can not open file " + Path("adir"));
    EXPECT_EQ(ReadFile(Path("keep.txt")), "old");
    EXPECT_EQ(SaveAsText(*q, Path("keep.txt"), "\t").size(), 0u);
    EXPECT_EQ(CountLines(ReadFile(Path("keep.txt"))), 3u);
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

// An export replaces the file whole but keeps what the old one was: its permissions, the other
// names of a hard-linked file, the user's link with its target; a file the user may not write is
// refused (root may write any file: the unit test checks that case as another user).
TEST_F(TextExchangeTest, ExportKeepsModeLinksAndRefusesReadOnlyFiles) {
    testing::MakePeople(dir_, 2);
    auto q = Open("select * from people");
    namespace fs = std::filesystem;

    WriteFile("ro.txt", "old");
    fs::permissions(dir_ / "ro.txt", fs::perms::owner_read);
    if (::access(Path("ro.txt").c_str(), W_OK) != 0) {
        EXPECT_EQ(SaveAsText(*q, Path("ro.txt"), "\t"), "Can not open file " + Path("ro.txt"));
        EXPECT_EQ(ReadFile(Path("ro.txt")), "old");
        EXPECT_EQ(fs::status(dir_ / "ro.txt").permissions(), fs::perms::owner_read);
    }

    WriteFile("private.txt", "old");
    fs::permissions(dir_ / "private.txt", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(SaveAsText(*q, Path("private.txt"), "\t"), "");
    EXPECT_EQ(fs::status(dir_ / "private.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(CountLines(ReadFile(Path("private.txt"))), 3u);

    WriteFile("shared.txt", "old");
    fs::create_hard_link(dir_ / "shared.txt", dir_ / "other-name.txt");
    EXPECT_EQ(SaveAsText(*q, Path("shared.txt"), "\t"), "");
    EXPECT_EQ(CountLines(ReadFile(Path("other-name.txt"))), 3u);
    EXPECT_EQ(fs::hard_link_count(dir_ / "shared.txt"), 2u);

    fs::create_directory(dir_ / "real");
    WriteFile("real/target.txt", "old");
    fs::create_symlink(dir_ / "real" / "target.txt", dir_ / "link.txt");
    EXPECT_EQ(SaveAsText(*q, Path("link.txt"), "\t"), "");
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
    EXPECT_EQ(CountLines(ReadFile(Path("real/target.txt"))), 3u);

    fs::create_symlink(dir_ / "real" / "new.txt", dir_ / "dangling.txt");
    EXPECT_EQ(SaveAsText(*q, Path("dangling.txt"), "\t"), "");
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.txt"));
    EXPECT_EQ(CountLines(ReadFile(Path("real/new.txt"))), 3u);
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().filename().string().find("~orn"), std::string::npos) << entry.path();
    }
}

TEST_F(TextExchangeTest, PastingACopyInsertsTheHeaderLineToo) {
    MakeTable(dir_ / "notes.dbf", db::TableFormat::DBase,
              {makeField("A", db::FieldType::Alpha, 10), makeField("B", db::FieldType::Alpha, 10)},
              {{std::string("x"), std::string("y")}});
    auto q = Open("select * from notes");
    CopyToClipboard(*q, "||", clipboard);
    EXPECT_EQ(clipboard.Text(), "A||B\r\nx||y\r\n");
    clipboard.SetText("one||two||three\nonly\r\n");
    EXPECT_EQ(PasteFromClipboard(*q, "||", clipboard), "");
    clipboard.SetText("A||B\r\nx||y\r\n");
    PasteFromClipboard(*q, "||", clipboard);
    auto rows = testing::ReadAll(dir_ / "notes.dbf");
    std::multiset<std::string> seen;
    for (const auto& r : rows) {
        const auto* a = std::get_if<std::string>(&r[0]);
        const auto* b = std::get_if<std::string>(&r[1]);
        seen.insert(Trim(a ? *a : "") + "|" + Trim(b ? *b : ""));
    }
    EXPECT_EQ(seen, (std::multiset<std::string>{"x|y", "x|y", "one|two", "only|", "A|B"}));
}

TEST_F(TextExchangeTest, PasteStopsAtAValueTheFieldCannotTake) {
    testing::MakePeople(dir_, 1);
    auto q = Open("select * from people");
    clipboard.SetText("5\tfive\t5.5\r\nnot a number\tx\t1\r\n");
    EXPECT_THROW(PasteFromClipboard(*q, "\t", clipboard), db::EngineError);
    q->cancel();
    q.reset();
    EXPECT_EQ(testing::ReadAll(dir_ / "people.dbf").size(), 2u);
}

TEST_F(TextExchangeTest, OpenSqlReportsTheTextToTheSqlKind) {
    struct Host : TErrorHost {
        std::vector<std::string> memo;
        void ScheduleService() override { GlobalErrorLog().ServePending(); }
        void AppendMemo(const std::vector<std::string>& lines) override {
            memo.insert(memo.end(), lines.begin(), lines.end());
        }
        void ShowLogFileError(const std::string&) override {}
    } host;
    ReleaseGlobalErrorLog();
    EXPECT_EQ(SqlDebugKind().Code(), "sql");
    EXPECT_EQ(SqlDebugKind().Description(), "SQL debug");
    EXPECT_TRUE(SqlDebugKind().Show());
    EXPECT_TRUE(SqlDebugKind().Log());
    SqlDebugKind().SetLog(false);  // no errorlog.txt from a test
    GlobalErrorLog().SetHost(&host);
    testing::MakePeople(dir_, 1);
    db::Query q(dir_, true);
    EXPECT_TRUE(OpenSql(q, "select NAME from people"));
    ASSERT_EQ(host.memo.size(), 1u);
    EXPECT_TRUE(host.memo[0].ends_with("\tsql\tselect NAME from people")) << host.memo[0];
    EXPECT_EQ(q.field(0).asString(), "name1");
    GlobalErrorLog().SetHost(nullptr);
    ReleaseGlobalErrorLog();
}

}  // namespace
}  // namespace orn
