// The statement window: all lines of the memo are one statement, run in the working directory.
#include "shell/qt/exec.h"

#include <QTest>

#include "shell_qt_fixture.h"

namespace orn::testing {
namespace {

class ExecTest : public MainFormTest {
  protected:
    long long Count(const std::string& table) {
        db::Query query(dir_);
        query.setSql("SELECT COUNT(*) AS N FROM \"" + table + "\"");
        query.open();
        return std::stoll(query.field(0).asString());
    }
};

TEST_F(ExecTest, LinesAreOneStatementInTheWorkingDirectory) {
    TFormExec* exec = main_->NewExec();
    ASSERT_NE(exec, nullptr);
    EXPECT_EQ(exec->windowTitle(), "Exec");
    EXPECT_EQ(exec->ButtonExec()->text(), "&Exec");
    EXPECT_TRUE(exec->ButtonExec()->isDefault());

    exec->MemoExec()->setPlainText("CREATE TABLE \"parts.db\"\n(PartNo INTEGER,\nName CHAR(20))");
    EXPECT_TRUE(exec->Exec());
    EXPECT_TRUE(std::filesystem::exists(dir_ / "parts.db"));

    // The window has no directory of its own: it follows the working directory.
    std::filesystem::create_directories(dir_ / "other");
    std::filesystem::current_path(dir_ / "other");
    exec->MemoExec()->setPlainText("CREATE TABLE \"parts.db\" (PartNo INTEGER)");
    QTest::mouseClick(exec->ButtonExec(), Qt::LeftButton);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "other" / "parts.db"));
    EXPECT_TRUE(dialogs_.Requests().empty());

    std::filesystem::current_path(dir_);
    exec->MemoExec()->setPlainText("INSERT INTO \"parts.db\"\nVALUES (1, 'bolt')");
    EXPECT_TRUE(exec->Exec());
    EXPECT_TRUE(exec->Exec());
    EXPECT_EQ(Count("parts.db"), 2);
}

TEST_F(ExecTest, AFailureIsShownAndTheTextStays) {
    TFormExec* exec = main_->NewExec();
    const QString text = "INSERT INTO nosuchtable VALUES (1)";
    exec->MemoExec()->setPlainText(text);
    EXPECT_FALSE(exec->Exec());
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].kind, DialogKind::Error);
    EXPECT_NE(dialogs_.Requests()[0].text.find("nosuchtable"), std::string::npos)
        << dialogs_.Requests()[0].text;
    EXPECT_EQ(exec->MemoExec()->toPlainText(), text);

    // After a failure the window still works.
    MakeTable("t.db");
    exec->MemoExec()->setPlainText("DELETE FROM \"t.db\"");
    EXPECT_TRUE(exec->Exec());
    EXPECT_EQ(Count("t.db"), 0);
}

TEST_F(ExecTest, EmptyMemoIsReportedNotIgnored) {
    TFormExec* exec = main_->NewExec();
    exec->MemoExec()->setPlainText("  \n  ");
    EXPECT_FALSE(exec->Exec());
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_FALSE(dialogs_.Requests()[0].text.empty());
}

}  // namespace
}  // namespace orn::testing
