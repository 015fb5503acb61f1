#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "errors/ErrorCom.h"
#include "errors/qt/ErrorCom.h"
#include "errors/qt/erroropt.h"
#include "errors/qt/zErrors.h"
#include "input/qt/ZParam.h"
#include "input/qt/numerot.h"
#include "qt_fixture.h"
#include "text/dialogs.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

int CountLines(const std::string& text) {
    int n = 0;
    for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) {
        ++n;
    }
    return n;
}

// The process-wide error log made afresh in the test's working directory, with the window.
class ErrorWindowTest : public test::QtSettingsFixture {
  protected:
    void SetUp() override {
        QtSettingsFixture::SetUp();
        ReleaseGlobalErrorLog();
        SetNumberDialogs(&dialogs);
    }
    void TearDown() override {
        DestroyErrorWindow();
        ReleaseGlobalErrorLog();
        SetNumberDialogs(nullptr);
        QtSettingsFixture::TearDown();
    }
    TErrors& Window() {
        TErrors& w = ErrorWindow();
        w.SetDialogs(&dialogs);
        return w;
    }
    static TCommError& Sql() {
        TCommError* kind = nullptr;
        RegisterError(kind, "sql", "SQL debug", false, true, true);
        return *kind;
    }
    static void Serve() { QCoreApplication::processEvents(); }
    std::string LogText() const { return ReadFile((fs::path(workDir_) / "errorlog.txt").string()); }
    QString Memo() { return Window().ErrorScreen()->toPlainText(); }

    TScriptedDialogs dialogs;
};

TEST_F(ErrorWindowTest, LinesReportedBeforeTheFirstShowWaitInTheMemo) {
    TErrors& w = Window();
    Sql().Report("select 1");
    EXPECT_TRUE(Memo().isEmpty());  // nothing until the event loop runs
    Serve();
    EXPECT_TRUE(Memo().endsWith("\tsql\tselect 1"));
    EXPECT_EQ(CountLines(LogText()), 1);
    w.show();
    EXPECT_TRUE(Memo().contains("select 1"));
}

TEST_F(ErrorWindowTest, HiddenAfterShowingStopsTheMemoNotTheFile) {
    TErrors& w = Window();
    w.show();
    w.hide();
    Sql().Report("while hidden");
    Serve();
    EXPECT_TRUE(Memo().isEmpty());
    EXPECT_EQ(CountLines(LogText()), 1);
    // A kind with Show only gives nothing at all while hidden.
    TCommError* shown = nullptr;
    RegisterError(shown, "sh", "Shown only", false, true, false);
    shown->Report("nowhere");
    Serve();
    EXPECT_EQ(CountLines(LogText()), 1);
    w.show();
    w.CheckBoxErr()->setChecked(false);
    Sql().Report("box unticked");
    Serve();
    EXPECT_TRUE(Memo().isEmpty());
}

TEST_F(ErrorWindowTest, ButtonsMarkClearClose) {
    TErrors& w = Window();
    w.show();
    EXPECT_EQ(w.windowTitle(), "Errors");
    EXPECT_EQ(w.Button("ButtonMark")->text(), "&Mark");
    EXPECT_EQ(w.Button("ButtonMark")->toolTip(), "Mark's a searchpoint");
    MarkError().SetShow(true);
    QTest::mouseClick(w.Button("ButtonMark"), Qt::LeftButton);
    Serve();
    EXPECT_TRUE(Memo().endsWith("\tma\tMark: ----------------------------"));
    QTest::mouseClick(w.Button("ButtonMark"), Qt::LeftButton);  // a repeat: dropped
    Serve();
    EXPECT_EQ(Memo().count('\n'), 0);
    QTest::mouseClick(w.Button("ButtonClear"), Qt::LeftButton);
    EXPECT_TRUE(Memo().isEmpty());
    QTest::mouseClick(w.Button("ButtonMark"), Qt::LeftButton);  // accepted again after Clear
    Serve();
    EXPECT_FALSE(Memo().isEmpty());
    QTest::mouseClick(w.Button("ButtonClose"), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(fs::exists(fs::path(workDir_) / "errorlog.txt"));  // "ma" does not log
}

TEST_F(ErrorWindowTest, ErrorLimitIsAParamStoredOnTheWindow) {
    TErrors& w = Window();
    TzParam* limit = w.ParamErrorLimit();
    EXPECT_EQ(limit->Caption(), "Error limit");
    EXPECT_EQ(limit->Value(), 5);
    EXPECT_EQ(limit->MaxValue, 100000);
    EXPECT_EQ(limit->MinValue, 0);
    EXPECT_EQ(limit->Ini().GetSection(), "Errors-Params");
    EXPECT_EQ(limit->Ini().GetKey(), "ErrorLimit");
    dialogs.QueueNumber(2);
    w.show();
    QTest::mouseClick(limit->DisplayPanel(), Qt::LeftButton);
    EXPECT_EQ(limit->Value(), 2);
    ASSERT_FALSE(dialogs.NumberRequests().empty());
    EXPECT_EQ(dialogs.NumberRequests()[0].prompt, "Error limit");
    EXPECT_EQ(dialogs.NumberRequests()[0].decimals, 0);
    bool stored = false;
    for (const auto& write : Writes()) {
        stored = stored || (write.key == "ErrorLimit" && write.value == "2");
    }
    EXPECT_TRUE(stored);
}

TEST_F(ErrorWindowTest, ProgramErrorsAtTheLimitBringTheWindowForward) {
    TErrors& w = Window();
    w.ParamErrorLimit()->SetValueQuiet(3);
    ProgramErrorKind().Report("line 1 failed");
    ProgramErrorKind().Report("line 2 failed");
    Serve();
    EXPECT_FALSE(w.isVisible());
    ProgramErrorKind().Report("line 3 failed");
    Serve();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Log().ErrorCount(), 0);
    // Closed by the user: it stays closed.
    w.hide();
    for (int i = 4; i < 10; ++i) {
        ProgramErrorKind().Report("line " + std::to_string(i) + " failed");
    }
    Serve();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(CountLines(LogText()), 9);
}

TEST_F(ErrorWindowTest, UnwritableLogShowsOneMessage) {
    // errorlog.txt on a full disk: every write fails, whoever runs the test.
    const fs::path log = fs::path(workDir_) / "errorlog.txt";
    fs::create_symlink("/dev/full", log);
    Window();
    for (int i = 0; i < 5; ++i) {
        Sql().Report("q" + std::to_string(i));
        Serve();
    }
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].text, "Can't write log file " + log.string() + "!");
    EXPECT_TRUE(Memo().contains("q4"));
}

TEST_F(ErrorWindowTest, WaitingLogLinesAreWrittenWhenTheWindowGoes) {
    Window();
    Sql().Report("last words");
    DestroyErrorWindow();  // before the event loop served it
    EXPECT_NE(LogText().find("\tsql\tlast words\r\n"), std::string::npos);
}

TEST_F(ErrorWindowTest, OptionsRowsFollowAndStoreTheSwitches) {
    Sql();
    CommentError();
    TErrors& w = Window();
    TFormErrorOpt* opt = w.Options();
    EXPECT_EQ(opt->windowTitle(), "Error options");
    EXPECT_TRUE(opt->EditLogFile()->isReadOnly());
    // Registration defaults: sql shown and logged, co logged, ne and ma off.
    EXPECT_TRUE(opt->Box("Error_sqlShow")->isChecked());
    EXPECT_TRUE(opt->Box("Error_sqlLog")->isChecked());
    EXPECT_FALSE(opt->Box("Error_sqlExt")->isChecked());
    EXPECT_TRUE(opt->Box("Error_coLog")->isChecked());
    EXPECT_FALSE(opt->Box("Error_coShow")->isChecked());
    EXPECT_FALSE(opt->Box("Error_neShow")->isChecked());
    EXPECT_FALSE(opt->Box("Error_maLog")->isChecked());
    // Row layout and captions.
    TzErrCheckBox* show = opt->Box("Error_sqlShow");
    EXPECT_EQ(show->text(), "sql");
    EXPECT_EQ(show->x(), 10);
    EXPECT_EQ(show->width(), 40);
    EXPECT_EQ(opt->Box("Error_sqlLog")->x(), 60);
    EXPECT_EQ(opt->Box("Error_sqlLog")->text(), "");
    EXPECT_EQ(opt->Box("Error_sqlExt")->x(), 80);
    EXPECT_EQ(opt->Box("Error_sqlExt")->width(), 200);
    EXPECT_EQ(opt->Box("Error_sqlExt")->text(), "SQL debug");
    EXPECT_EQ(opt->Box("Error_maShow")->y() - opt->Box("Error_neShow")->y(), 20);
    EXPECT_EQ(show->Ini().GetSection(), "FormErrorOpt-Params");
    EXPECT_EQ(show->Ini().GetKey(), "Error_sqlShow");
    EXPECT_EQ(opt->FindError("SQL"), &Sql());

    opt->show();
    QTest::mouseClick(opt->Box("Error_maLog"), Qt::LeftButton);
    EXPECT_TRUE(MarkError().Log());
    bool stored = false;
    for (const auto& write : Writes()) {
        stored = stored || (write.section == "FormErrorOpt-Params" && write.key == "Error_maLog" &&
                            write.value == "1");
    }
    EXPECT_TRUE(stored);
    QTest::mouseClick(opt->Box("Error_sqlShow"), Qt::LeftButton);
    EXPECT_FALSE(Sql().Show());
    EXPECT_TRUE(Sql().Active());

    // A new kind registered later gets its row; a repeated code does not.
    TCommError* late = nullptr;
    EXPECT_TRUE(RegisterError(late, "late", "Late kind", false, false, false));
    EXPECT_NE(opt->Box("Error_lateExt"), nullptr);
    const int rows = opt->RowTop();
    EXPECT_FALSE(RegisterError(late, "LATE", "again", false, true, true));
    EXPECT_EQ(opt->RowTop(), rows);
    // A code that cannot be a component name still gets a working, unnamed row.
    TCommError* odd = nullptr;
    RegisterError(odd, "a b", "Blank in code", false, false, false);
    EXPECT_EQ(opt->RowTop(), rows + 20);
}

TEST_F(ErrorWindowTest, StoredSwitchesApplyOnTheNextStart) {
    StoreInUser("FormErrorOpt-Params", "Error_maLog", "1");
    StoreInUser("FormErrorOpt-Params", "Error_sqlShow", "0");
    StoreInUser("FormErrorOpt-Params", "Error_sqlLog", "7");  // grayed: off
    Sql();
    TErrors& w = Window();
    EXPECT_TRUE(MarkError().Log());
    EXPECT_FALSE(Sql().Show());
    EXPECT_FALSE(Sql().Log());
    w.show();
    QTest::mouseClick(w.Button("ButtonMark"), Qt::LeftButton);
    Serve();
    EXPECT_NE(LogText().find("\tma\tMark: "), std::string::npos);
}

TEST_F(ErrorWindowTest, CommentButtonReportsTheComment) {
    TErrors& w = Window();
    w.SetCommentAsker([](std::string& text) { return text = "checked the totals", true; });
    w.show();
    QTest::mouseClick(w.Button("ButtonComment"), Qt::LeftButton);
    Serve();
    EXPECT_NE(LogText().find("\tco\tchecked the totals\r\n"), std::string::npos);
    EXPECT_TRUE(Memo().isEmpty());  // "co" is not shown
    w.SetCommentAsker([](std::string&) { return false; });
    QTest::mouseClick(w.Button("ButtonComment"), Qt::LeftButton);
    Serve();
    EXPECT_EQ(CountLines(LogText()), 1);
}

class CommentDialogTest : public test::QtSettingsFixture {
  protected:
    std::string History() const { return ReadFile((fs::path(workDir_) / "Comments.txt").string()); }
    void WriteHistory(const std::string& text) {
        std::ofstream(fs::path(workDir_) / "Comments.txt", std::ios::binary) << text;
    }
    TScriptedDialogs dialogs;
};

TEST_F(CommentDialogTest, HistoryNewestFirstAndCaseInsensitiveRepeats) {
    WriteHistory("older\r\n\xC3\x84rger\r\n");
    TFormErrorComment form;
    EXPECT_EQ(form.windowTitle(), "Comment");
    form.Begin();
    ASSERT_EQ(form.CBComment()->count(), 2);
    EXPECT_EQ(form.CBComment()->currentText(), "");
    std::string comment = "untouched";
    EXPECT_FALSE(form.Finish(true, comment, &dialogs));  // empty text: nothing
    EXPECT_EQ(comment, "untouched");

    form.CBComment()->setEditText(QString::fromUtf8("\xC3\xA4RGER"));  // case differs only
    EXPECT_TRUE(form.Finish(true, comment, &dialogs));
    EXPECT_EQ(comment, "\xC3\xA4RGER");
    EXPECT_EQ(History(), "older\r\n\xC3\x84rger\r\n");

    TFormErrorComment second;
    second.Begin();
    QTest::keyClicks(second.CBComment(), "   ");
    EXPECT_TRUE(second.Finish(true, comment, &dialogs));
    EXPECT_EQ(comment, "   ");
    EXPECT_EQ(History(), "   \r\nolder\r\n\xC3\x84rger\r\n");
}

TEST_F(CommentDialogTest, DeletionsReachTheFileOnlyWithALaterOk) {
    WriteHistory("a\r\nb\r\nc\r\n");
    TFormErrorComment form;
    form.Begin();
    form.CBComment()->setCurrentIndex(2);
    QTest::mouseClick(form.ButtonDelete(), Qt::LeftButton);
    EXPECT_EQ(form.CBComment()->count(), 2);
    EXPECT_EQ(form.CBComment()->currentIndex(), 1);  // the new last
    form.CBComment()->setCurrentIndex(0);
    QTest::mouseClick(form.ButtonDelete(), Qt::LeftButton);
    EXPECT_EQ(form.CBComment()->currentText(), "b");
    std::string comment;
    EXPECT_FALSE(form.Finish(false, comment, &dialogs));  // Cancel
    EXPECT_EQ(History(), "a\r\nb\r\nc\r\n");

    TFormErrorComment again;
    again.Begin();
    again.CBComment()->setCurrentIndex(0);
    QTest::mouseClick(again.ButtonDelete(), Qt::LeftButton);
    again.CBComment()->setEditText("new one");
    EXPECT_TRUE(again.Finish(true, comment, &dialogs));
    EXPECT_EQ(History(), "new one\r\nb\r\nc\r\n");
}

TEST_F(CommentDialogTest, UnwritableHistoryRefusesTheComment) {
    const fs::path file = fs::path(workDir_) / "Comments.txt";
    fs::create_symlink("/dev/full", file);
    TFormErrorComment form;
    form.Begin();
    form.CBComment()->setEditText("b");
    std::string comment = "untouched";
    EXPECT_FALSE(form.Finish(true, comment, &dialogs));
    EXPECT_EQ(comment, "untouched");
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_NE(dialogs.Requests()[0].text.find("Comments.txt"), std::string::npos);
    // A missing file gives an empty history.
    fs::remove(file);
    TFormErrorComment missing;
    missing.Begin();
    EXPECT_EQ(missing.CBComment()->count(), 0);
}

}  // namespace
}  // namespace orn
