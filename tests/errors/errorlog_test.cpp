#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "errors/ErrorCom.h"
#include "errors/errorswitches.h"
#include "errors/logfile.h"
#include "errors/zErrors.h"
#include "settings/IniName.h"
#include "settings/IniReadOrder.h"
#include "settings/zRegistryIniFile.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", from)) {
        out.push_back(text.substr(from, p - from));
        from = p + 2;
    }
    EXPECT_EQ(from, text.size()) << "text after the last CR LF";
    return out;
}

// A host that serves only when the test says so, as an event loop would.
class TestHost : public TErrorHost {
  public:
    void ScheduleService() override { ++scheduled; }
    void AppendMemo(const std::vector<std::string>& lines) override {
        memo.insert(memo.end(), lines.begin(), lines.end());
    }
    void ShowErrors() override { ++shown; }
    double ErrorLimit() const override { return limit; }
    void ShowLogFileError(const std::string& message) override { boxes.push_back(message); }

    int scheduled = 0;
    int shown = 0;
    double limit = 5;
    std::vector<std::string> memo;
    std::vector<std::string> boxes;
};

class ErrorLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/orn-errors-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        logName_ = (dir_ / "errorlog.txt").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    std::vector<std::string> LogLines() { return Lines(ReadFile(logName_)); }
    // A kind on `log`, as a unit registers it.
    static TCommError& Kind(TErrorLog& log, const std::string& code, bool show, bool log_,
                            bool counted = false) {
        TCommError* kind = nullptr;
        log.NewErrorKind(kind, code, code + " kind", counted, show, log_);
        return *kind;
    }

    fs::path dir_;
    std::string logName_;
};

TEST_F(ErrorLogTest, KindsAndTheirSwitches) {
    TErrorLog log(logName_);
    ASSERT_NE(log.FindError("ne"), nullptr);
    EXPECT_EQ(log.FindError("ma")->Description(), "An mark");
    EXPECT_FALSE(log.FindError("ne")->Active());

    TCommError* sql = nullptr;
    EXPECT_TRUE(log.NewErrorKind(sql, "sql", "SQL debug", false, true, true));
    EXPECT_EQ(sql->Owner(), &log);
    TCommError* again = nullptr;
    EXPECT_FALSE(log.NewErrorKind(again, "SQL", "other", true, false, false));
    EXPECT_EQ(again, sql);
    EXPECT_EQ(log.Kinds().size(), 3u);

    sql->SetShow(false);
    sql->SetLog(false);
    EXPECT_FALSE(sql->Active());
    sql->SetExt(true);
    EXPECT_TRUE(sql->Active());
}

TEST_F(ErrorLogTest, LineFormatAndCrLf) {
    TErrorLog log(logName_);
    TestHost host;
    log.SetHost(&host);
    TCommError& sql = Kind(log, "sql", true, true);
    sql.Report("select * from x");
    log.ServePending();
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex(R"(\d{6} \d{6}\.\d{2} \tsql\tselect \* from x)")))
        << lines[0];
    ASSERT_EQ(host.memo.size(), 1u);
    EXPECT_EQ(host.memo[0], lines[0]);
}

TEST_F(ErrorLogTest, RepeatedMessageIsDroppedAcrossKindsUntilClear) {
    TErrorLog log(logName_);
    TestHost host;
    log.SetHost(&host);
    TCommError& a = Kind(log, "aa", true, true);
    TCommError& b = Kind(log, "bb", true, true);
    a.Report("same");
    b.Report("same");
    a.Report("other");
    a.Report("same");
    log.ServePending();
    EXPECT_EQ(LogLines().size(), 3u);
    log.Clear();
    a.Report("same");  // the last accepted one, accepted again after Clear
    log.ServePending();
    EXPECT_EQ(LogLines().size(), 4u);
    EXPECT_EQ(host.memo.size(), 4u);
}

TEST_F(ErrorLogTest, AcceptRuleFollowsShowActiveAndLog) {
    TErrorLog log(logName_);
    TestHost host;
    log.SetHost(&host);
    TCommError& shown = Kind(log, "sh", true, false);
    TCommError& extOnly = Kind(log, "ex", false, false);
    extOnly.SetExt(true);
    std::vector<std::string> extra;
    log.ExtraWriter = [&](const std::string& line) { return extra.push_back(line), true; };
    log.SetShowActive(false);  // hidden after having been shown
    shown.Report("not kept");
    EXPECT_EQ(log.LastMessage(), "");
    extOnly.Report("nowhere");  // Ext alone gives no output at all
    log.AddError(extOnly, "nowhere either");
    log.ServePending();
    EXPECT_TRUE(host.memo.empty());
    EXPECT_TRUE(extra.empty());
    EXPECT_FALSE(fs::exists(logName_));  // created only with the first line

    extOnly.SetLog(true);
    extOnly.Report("to file and extra");
    log.ServePending();
    EXPECT_EQ(extra.size(), 1u);
    EXPECT_EQ(LogLines().size(), 1u);
}

TEST_F(ErrorLogTest, ReportingWaitsForNothingAndServesInOrder) {
    TErrorLog log(logName_);
    TestHost host;
    log.SetHost(&host);
    TCommError& k = Kind(log, "k", true, true);
    for (int i = 0; i < 500; ++i) {
        k.Report("line " + std::to_string(i));
    }
    // Nothing is written before the event loop serves; one service was asked for.
    EXPECT_FALSE(fs::exists(logName_));
    EXPECT_TRUE(host.memo.empty());
    EXPECT_EQ(host.scheduled, 1);
    log.ServePending();
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 500u);
    ASSERT_EQ(host.memo.size(), 500u);
    for (int i = 0; i < 500; ++i) {
        const std::string tail = "\tk\tline " + std::to_string(i);
        EXPECT_TRUE(lines[i].ends_with(tail)) << i;
        EXPECT_TRUE(host.memo[i].ends_with(tail)) << i;
    }
    k.Report("next");
    EXPECT_EQ(host.scheduled, 2);
}

TEST_F(ErrorLogTest, FloodIsServedWithoutLosingOrRepeatingLines) {
    // More lines than the event loop gets to: they are served when too many wait, none lost.
    TErrorLog log(logName_);
    TestHost host;
    log.SetHost(&host);
    TCommError& k = Kind(log, "k", true, false);
    const int n = static_cast<int>(TErrorLog::kMaxWaiting) * 2 + 7;
    for (int i = 0; i < n; ++i) {
        k.Report(std::to_string(i));
        ASSERT_LE(log.Waiting(), TErrorLog::kMaxWaiting);
    }
    log.ServePending();
    ASSERT_EQ(host.memo.size(), static_cast<std::size_t>(n));
    for (int i = 0; i < n; i += 997) {
        EXPECT_TRUE(host.memo[i].ends_with("\t" + std::to_string(i))) << i;
    }
    EXPECT_TRUE(host.memo.back().ends_with("\t" + std::to_string(n - 1)));
}

TEST_F(ErrorLogTest, LinesWaitForAHostAndTheFinalFlushWritesThem) {
    TErrorLog log(logName_);
    TCommError& k = Kind(log, "k", true, true);
    k.Report("one");
    k.Report("two");
    EXPECT_EQ(log.Waiting(), 4u);  // memo and file each
    log.FinalFlush();
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[1].ends_with("\tk\ttwo"));
    EXPECT_EQ(log.Waiting(), 0u);
}

TEST_F(ErrorLogTest, MessagesWithControlCharactersAndAMegabyte) {
    TErrorLog log(logName_);
    TestHost host;
    log.SetHost(&host);
    TCommError& k = Kind(log, "k", false, true);
    const std::string odd = std::string("tab\there nul") + '\0' + "x cr\rend";
    const std::string big(1 << 20, 'm');
    k.Report(odd);
    k.Report(big);
    log.ServePending();
    const std::string text = ReadFile(logName_);
    EXPECT_NE(text.find("\tk\t" + odd + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\tk\t" + big + "\r\n"), std::string::npos);
}

TEST_F(ErrorLogTest, CountedLinesShowTheWindowAtTheLimit) {
    TErrorLog log(logName_);
    TestHost host;
    host.limit = 3;
    log.SetHost(&host);
    TCommError& counted = Kind(log, "pe", true, false, true);
    TCommError& plain = Kind(log, "pl", true, false);
    log.AutoShow = true;
    counted.Report("1");
    plain.Report("not counted");
    counted.Report("2");
    log.ServePending();
    EXPECT_EQ(log.ErrorCount(), 2);
    EXPECT_EQ(host.shown, 0);
    counted.Report("3");
    log.ServePending();
    EXPECT_EQ(host.shown, 1);
    EXPECT_EQ(log.ErrorCount(), 0);
    // The memo holds the line that reached the limit before the window comes forward.
    EXPECT_EQ(host.memo.size(), 4u);
    log.AutoShow = false;
    for (int i = 4; i < 7; ++i) {
        counted.Report(std::to_string(i));
    }
    log.ServePending();
    EXPECT_EQ(host.shown, 1);
}

TEST_F(ErrorLogTest, MarkLineGoesWhereTheMarkKindSays) {
    TErrorLog log(logName_);
    TestHost host;
    log.SetHost(&host);
    log.Mark();
    log.ServePending();
    EXPECT_TRUE(host.memo.empty());
    log.FindError("ma")->SetLog(true);
    log.Mark();
    log.Mark();  // a repeat is dropped
    log.ServePending();
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with("\tma\tMark: ----------------------------"));
}

TEST_F(ErrorLogTest, UnwritableLogGivesOneMessageThenSilence) {
    // A full disk: every write fails, whoever runs the test.
    TErrorLog log("/dev/full");
    TestHost host;
    log.SetHost(&host);
    TCommError& k = Kind(log, "k", true, true);
    k.Report("a");
    k.Report("b");  // queued before the failure was known
    log.ServePending();
    k.Report("c");  // not queued for the file any more, still shown
    log.ServePending();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0], "Can't write log file /dev/full!");
    EXPECT_TRUE(log.LogFile().Failed);
    EXPECT_EQ(host.memo.size(), 3u);
}

TEST_F(ErrorLogTest, ReadOnlyLogFileIsLeftAsItWas) {
    { std::ofstream(logName_) << "old\r\n"; }
    ::chmod(logName_.c_str(), 0444);
    if (::access(logName_.c_str(), W_OK) == 0) {
        GTEST_SKIP() << "running with rights that ignore file modes";
    }
    TLogFile file(logName_);
    int boxes = 0;
    file.OnWriteError = [&](const std::string&) { ++boxes; };
    EXPECT_FALSE(file.Write("a"));
    EXPECT_FALSE(file.Write("b"));
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(ReadFile(logName_), "old\r\n");
}

TEST_F(ErrorLogTest, LogFileThatCannotBeCreatedFailsSilently) {
    TLogFile file((dir_ / "missing" / "errorlog.txt").string());
    EXPECT_TRUE(file.MustCreate);
    int boxes = 0;
    file.OnWriteError = [&](const std::string&) { ++boxes; };
    EXPECT_FALSE(file.Write("x"));
    EXPECT_TRUE(file.Failed);
    EXPECT_FALSE(file.MustCreate);
    EXPECT_EQ(boxes, 0);
    // The directory vanishing later: one message.
    TLogFile later(logName_);
    later.OnWriteError = [&](const std::string&) { ++boxes; };
    EXPECT_TRUE(later.Write("first"));
    fs::remove_all(dir_);
    EXPECT_FALSE(later.Write("second"));
    EXPECT_FALSE(later.Write("third"));
    EXPECT_EQ(boxes, 1);
}

TEST_F(ErrorLogTest, LogFileAppendsAndNeverTruncates) {
    { std::ofstream(logName_, std::ios::binary) << "kept\r\n"; }
    TLogFile file(logName_);
    EXPECT_FALSE(file.MustCreate);
    file.TimeStamp = [] { return std::string("T"); };
    EXPECT_TRUE(file.Write("x"));
    EXPECT_EQ(ReadFile(logName_), "kept\r\nT\tx\r\n");
}

TEST_F(ErrorLogTest, StampHasHundredthsAndABlank) {
    EXPECT_TRUE(std::regex_match(DefaultTimeStamp(), std::regex(R"(\d{6} \d{6}\.\d{2} )")));
}

TEST_F(ErrorLogTest, SwitchNamesAndStoredTexts) {
    EXPECT_EQ(ErrorSwitchName("sql", 0, ""), "Error_sqlShow");
    EXPECT_EQ(ErrorSwitchName("sql", 1, "2"), "Error_sqlLog2");
    EXPECT_EQ(ErrorSwitchName("sql", 2, ""), "Error_sqlExt");
    EXPECT_TRUE(IsComponentName("Error_sqlShow"));
    EXPECT_FALSE(IsComponentName("Error_s q-lShow"));
    EXPECT_FALSE(IsComponentName("Error_\xC3\xA4Show"));
    EXPECT_FALSE(IsComponentName("1abc"));
    auto taken = [](const std::string& name) {
        return name == "Error_xShow" || name == "Error_xShow1";
    };
    EXPECT_EQ(ErrorRowSuffix("x", taken), "2");
    EXPECT_EQ(ErrorRowSuffix("y", taken), "");
    EXPECT_TRUE(SwitchFromStored("1"));
    EXPECT_TRUE(SwitchFromStored(" 1 "));
    for (const char* off : {"0", "2", "7", "-1", "x", "", "1.5"}) {
        EXPECT_FALSE(SwitchFromStored(off)) << off;
    }
}

TEST_F(ErrorLogTest, CommentHistory) {
    const std::string name = (dir_ / "Comments.txt").string();
    TCommentHistory history(name);
    history.Load();  // missing: empty
    EXPECT_TRUE(history.Items.empty());
    std::string error;
    EXPECT_FALSE(history.Accept("", error));  // nothing typed: no comment
    EXPECT_FALSE(fs::exists(name));
    EXPECT_TRUE(history.Accept("first", error));
    EXPECT_TRUE(history.Accept("  ", error));  // blanks only are a comment
    EXPECT_EQ(ReadFile(name), "  \r\nfirst\r\n");
    EXPECT_TRUE(history.Accept("FIRST", error));  // already there, letter case ignored
    EXPECT_EQ(ReadFile(name), "  \r\nfirst\r\n");

    TCommentHistory again(name);
    again.Load();
    ASSERT_EQ(again.Items, (std::vector<std::string>{"  ", "first"}));
    EXPECT_EQ(again.Delete(1), 0);  // last removed: the new last is selected
    EXPECT_EQ(again.Delete(0), -1);
    EXPECT_EQ(ReadFile(name), "  \r\nfirst\r\n");  // deleting alone writes nothing
}

TEST_F(ErrorLogTest, CommentHistoryOddFiles) {
    const std::string name = (dir_ / "Comments.txt").string();
    {
        std::ofstream out(name, std::ios::binary);
        out << "bad \xFF\xFE bytes\nunix line\r\n";
        for (int i = 0; i < 50000; ++i) {
            out << "c" << i << "\r\n";
        }
    }
    TCommentHistory history(name);
    history.Load();
    ASSERT_EQ(history.Items.size(), 50002u);
    EXPECT_EQ(history.Items[0], "bad \xFF\xFE bytes");
    EXPECT_EQ(history.Items[1], "unix line");
    std::string error;
    EXPECT_TRUE(history.Accept("new", error));
    const std::string text = ReadFile(name);
    EXPECT_EQ(text.substr(0, 23), "new\r\nbad \xFF\xFE bytes\r\nunix");

    // A history that cannot be written (here: on a full disk) refuses the comment.
    const fs::path full = dir_ / "full";
    fs::create_directories(full);
    fs::create_symlink("/dev/full", full / "Comments.txt");
    TCommentHistory unwritable((full / "Comments.txt").string());
    unwritable.Load();  // a device is no history (and would never end)
    EXPECT_TRUE(unwritable.Items.empty());
    EXPECT_FALSE(unwritable.Accept("another", error));
    EXPECT_NE(error.find("Cannot write file \"" + (full / "Comments.txt").string() + "\""),
              std::string::npos)
        << error;
    // A folder where the file should be cannot even be created.
    fs::create_directories(dir_ / "dir" / "Comments.txt");
    TCommentHistory folder((dir_ / "dir" / "Comments.txt").string());
    folder.Load();
    EXPECT_TRUE(folder.Items.empty());
    EXPECT_FALSE(folder.Accept("x", error));
    EXPECT_NE(error.find("Cannot create file"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(name), text);
}

// Stored switches through the settings service (a registry folder of the test's own).
class StoredSwitchTest : public ErrorLogTest {
  protected:
    void SetUp() override {
        ErrorLogTest::SetUp();
        ::setenv("ORN_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
        savedProgram_ = ProgramFileName();
        SetProgramFileName((dir_ / "orn").string());
        ReleaseGlobalIniReadOrder();
    }
    void TearDown() override {
        ReleaseGlobalIniReadOrder();
        SetProgramFileName(savedProgram_);
        ::unsetenv("ORN_REGISTRY_DIR");
        ErrorLogTest::TearDown();
    }
    static void Store(const std::string& key, const std::string& value) {
        TzRegistryIniFile("HKEY_CURRENT_USER\\software\\Tarm\\orn")
            .WriteString(kErrorOptSection, key, value);
        GlobalIniReadOrder().ClearAll();
    }
    std::string savedProgram_;
};

TEST_F(StoredSwitchTest, HeadlessFollowsTheStoredSwitches) {
    Store("Error_sqlShow", "0");
    Store("Error_sqlExt", "1");
    Store("Error_maLog", "1");
    Store("Error_coLog", "x");  // not a state: off
    TErrorLog log(logName_);
    FollowStoredSwitches(log);
    EXPECT_TRUE(log.FindError("ma")->Log());
    TCommError& sql = Kind(log, "sql", true, true);
    EXPECT_FALSE(sql.Show());
    EXPECT_TRUE(sql.Log());  // nothing stored: the default
    EXPECT_TRUE(sql.Ext());
    TCommError& co = Kind(log, "co", false, true);
    EXPECT_FALSE(co.Log());
}

}  // namespace
}  // namespace orn
