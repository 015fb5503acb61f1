// The result tool bar: the system clipboard, Save as text, SaveAs, and progress with Cancel.
#include <QClipboard>
#include <QGuiApplication>
#include <QProgressDialog>
#include <fstream>
#include <sstream>

#include "formquery_fixture.h"
#include "text/progress.h"
#include "workbench/qt/filelistbox.h"
#include "workbench/qt/progress_qt.h"
#include "workbench/qt/querygridmodel.h"

namespace orn::testing {
namespace {

class ToolsTest : public FormQueryTest {
  protected:
    void Run(const std::string& sql) {
        Form().EditCond->setEditText(QString::fromStdString(sql));
        Form().QueryClick();
    }
    std::string Slurp(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(ToolsTest, CopyGoesToTheSystemClipboardAndPasteComesBack) {
    MakePeople(dir_, 2);
    TFormQuery& form = Form();
    form.EditSeparator->setText(";");
    Run("select ID, NAME from people");
    QTest::mouseClick(form.ButtonCopy, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "ID;NAME\r\n1;name1\r\n2;name2\r\n");

    // Rows typed in another program paste in as new records.
    QGuiApplication::clipboard()->setText("7;seven\n8;eight\n");
    QTest::mouseClick(form.ButtonPaste, Qt::LeftButton);
    EXPECT_TRUE(Errors().empty());
    Run("select ID, NAME from people order by ID");
    EXPECT_EQ(form.GridModel().rowCount(), 4);
    EXPECT_EQ(form.GridModel().data(form.GridModel().index(3, 1), Qt::DisplayRole), "eight");
}

TEST_F(ToolsTest, SaveAsTextUsesTheBoxesAndShowsFailures) {
    MakePeople(dir_, 2);
    TFormQuery& form = Form();
    Run("select ID from people");
    form.EditSaveAsTextName->setText("ids.txt");
    form.EditSeparator->setText(",");
    QTest::mouseClick(form.ButtonSaveAsText, Qt::LeftButton);
    EXPECT_EQ(Slurp("ids.txt"), "ID\r\n1\r\n2\r\n");
    form.EditSaveAsTextName->setText("no/such/dir/x.txt");
    QTest::mouseClick(form.ButtonSaveAsText, Qt::LeftButton);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "Can not open file no/such/dir/x.txt");

    form.EditSaveName->setText("copy");
    QTest::mouseClick(form.ButtonSaveAs, Qt::LeftButton);
    EXPECT_EQ(ReadAll(dir_ / "copy.db").size(), 2u);
    EXPECT_EQ(form.FileListBoxSQL->findItems("copy.db", Qt::MatchExactly).size(), 1);
}

// Cancels at the first report.
class CancelAtOnce : public TProgress {
  public:
    bool Step(const std::string&, std::int64_t, std::int64_t) override {
        ++steps;
        return false;
    }
    int steps = 0;
};

TEST_F(ToolsTest, LongWorkReportsToTheWindowsProgressAndCanBeCancelled) {
    MakePeople(dir_, 1500);
    TFormQuery& form = Form();
    Run("select * from people");
    std::ofstream(dir_ / "big.txt") << "old";
    CancelAtOnce cancel;
    form.SetProgress(&cancel);
    form.EditSaveAsTextName->setText("big.txt");
    QTest::mouseClick(form.ButtonSaveAsText, Qt::LeftButton);
    EXPECT_EQ(cancel.steps, 1);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "Cancelled: big.txt was not written");
    EXPECT_EQ(Slurp("big.txt"), "old");
    form.SetProgress(nullptr);
}

TEST(QtProgress, ShowsADialogOnlyForLongTasksAndItsCancelStops) {
    QWidget parent;
    TQtProgress progress(&parent, 1000);
    EXPECT_TRUE(progress.Step("Saving a", 500, 0));
    EXPECT_EQ(progress.Dialog(), nullptr);
    EXPECT_TRUE(progress.Step("Saving a", 1000, 0));
    ASSERT_NE(progress.Dialog(), nullptr);
    EXPECT_EQ(progress.Dialog()->labelText(), "Saving a");
    progress.Dialog()->cancel();
    EXPECT_FALSE(progress.Step("Saving a", 1500, 0));
    progress.Finish("Saving a");
    EXPECT_EQ(progress.Dialog(), nullptr);
    // A task known to be long shows at once, with its length.
    EXPECT_TRUE(progress.Step("Pasting", 1, 5000));
    ASSERT_NE(progress.Dialog(), nullptr);
    EXPECT_EQ(progress.Dialog()->maximum(), 5000);
    progress.Finish("Pasting");
}

}  // namespace
}  // namespace orn::testing
