// The query window's controls, SQL path, history, file lists, directories and drops.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>

#include "formquery_fixture.h"
#include "text/inifile.h"
#include "workbench/qt/filelistbox.h"
#include "workbench/qt/querygridmodel.h"

namespace orn::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(FormQueryTest, ControlsAreFoundByDesignNameAndByWhatTheUserSees) {
    struct Expect {
        const char* name;
        const char* accessible;
    };
    const Expect expected[] = {
        {"FormQuery", "Query"},
        {"PageSheetQueries", "PageSheetQueries"},
        {"TabSQL", "SQL"},
        {"TabDirectory", "Directory"},
        {"TabProg", "Programs"},
        {"ButtonAdd", "Add"},
        {"ButtonDel", "Del"},
        {"ButtonQuery", "Query"},
        {"EditCond", "SQL text"},
        {"FileListBoxSQL", "Tables"},
        {"ButtonRun", "Run"},
        {"ButtonSaveParams", "Save Params"},
        {"ButtonEditProgram", "Edit Program"},
        {"PanelStop", "Stop"},
        {"ButtonSaveAs", "SaveAs"},
        {"EditSaveName", "Name for database where to save"},
        {"ButtonCopy", "Copy"},
        {"ButtonPaste", "Paste"},
        {"ButtonSaveAsText", "Save as text"},
        {"EditSaveAsTextName", "Name for text file to save"},
        {"EditSeparator", "By what is the fields separated (#9=Tab)"},
        {"CBRunAutomatically", "Run automatically"},
        {"SplitterGrid", "SplitterGrid"},
        {"SplitterDBFiles", "SplitterDBFiles"},
        {"NBProgButtons", "NBProgButtons"},
        {"DBGrid1", "Result"},
    };
    TFormQuery& form = Form();
    for (const Expect& e : expected) {
        QWidget* w = std::string(e.name) == "FormQuery" ? &form : Find<QWidget>(e.name);
        ASSERT_NE(w, nullptr) << e.name;
        EXPECT_EQ(w->accessibleName().toStdString(), e.accessible) << e.name;
    }
    // The table lists filled themselves with nothing selected.
    EXPECT_EQ(form.windowTitle(), "Query []");
    EXPECT_EQ(form.EditCond->currentText(), "select * from ");
    EXPECT_EQ(form.PageSheetQueries->tabText(0), "S&QL");
    EXPECT_EQ(form.PageSheetQueries->tabText(2), "&Programs");
    EXPECT_EQ(form.ButtonSaveParams->text(), "Save Para&ms");
    EXPECT_EQ(form.ButtonAdd->toolTip(), "Add query to the history");
    EXPECT_EQ(form.EditSaveName->text(), "sub");
    EXPECT_EQ(form.EditSaveAsTextName->text(), "tmp.txt");
    EXPECT_EQ(form.EditSeparator->text(), "#9");
    EXPECT_EQ(form.FilterComboBoxSQL->count(), 2);
    EXPECT_EQ(form.FilterComboBoxSQL->itemText(1), "Ready files (r*.db)");
    EXPECT_EQ(form.NBProgButtons->currentIndex(), 1);
    EXPECT_TRUE(form.ButtonQuery->isDefault());
}

TEST_F(FormQueryTest, QueryJoinsTheMemoLinesAndAFailureKeepsTheText) {
    MakePeople(dir_, 3);
    TFormQuery& form = Shown();
    form.MemoQuery->setPlainText("select *\nfrom people");
    QTest::mouseClick(form.ButtonQuery, Qt::LeftButton);
    EXPECT_EQ(form.EditCond->currentText(), "select * from people");
    EXPECT_EQ(form.GridModel().rowCount(), 3);
    EXPECT_EQ(form.StatusPanels[1]->text(), "3");
    EXPECT_EQ(form.StatusPanels[0]->text(), "1");
    EXPECT_TRUE(Errors().empty());

    // An empty memo leaves the box alone; a failing query shows its message and keeps it.
    form.MemoQuery->clear();
    form.EditCond->setEditText("select * from nosuchtable");
    form.EditCond->setFocus();
    QTest::keyClick(form.EditCond, Qt::Key_Q, Qt::ControlModifier);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("nosuchtable"), std::string::npos) << Errors()[0];
    EXPECT_EQ(form.EditCond->currentText(), "select * from nosuchtable");

    // Ctrl+Enter in the memo runs the memo's text (the memo wins).
    form.MemoQuery->setPlainText("select ID from people where ID > 1");
    form.MemoQuery->setFocus();
    QTest::keyClick(form.MemoQuery, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(form.EditCond->currentText(), "select ID from people where ID > 1");
    EXPECT_EQ(form.GridModel().rowCount(), 2);
    EXPECT_EQ(form.MemoQuery->toPlainText(), "select ID from people where ID > 1");
}

TEST_F(FormQueryTest, HistoryLoadsOnFirstShowAndTheButtonsEditTheFile) {
    WriteFile("history.ini", "[SQLHistory]\n0=select 1 from people\n1=select 2 from people\n");
    EXPECT_EQ(Form().EditCond->count(), 0);  // not before the window is shown
    TFormQuery& form = Shown();
    ASSERT_EQ(form.EditCond->count(), 2);
    form.EditCond->setEditText("select 3 from people");
    QTest::mouseClick(form.ButtonAdd, Qt::LeftButton);
    EXPECT_EQ(form.EditCond->count(), 3);
    EXPECT_EQ(ReadProfileString((dir_ / "history.ini").string(), "SQLHistory", "2"),
              "select 3 from people");
    EXPECT_EQ(form.EditCond->currentText(), "select 3 from people");

    form.EditCond->setEditText("select 1 from people");
    QTest::mouseClick(form.ButtonDel, Qt::LeftButton);
    EXPECT_EQ(form.EditCond->currentText(), "select 2 from people");
    form.EditCond->setEditText("select 3 from people");
    QTest::mouseClick(form.ButtonDel, Qt::LeftButton);
    EXPECT_EQ(form.EditCond->currentText(), "");  // the last entry: the box empties
    EXPECT_EQ(form.EditCond->count(), 1);
    form.EditCond->setEditText("not there");
    QTest::mouseClick(form.ButtonDel, Qt::LeftButton);
    EXPECT_EQ(form.EditCond->currentText(), "not there");
}

TEST_F(FormQueryTest, ReadOnlyHistoryShowsTheMessageAndKeepsTheText) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes read-only files";
    }
    WriteFile("history.ini", "[SQLHistory]\n0=select 1 from people\n");
    fs::permissions(dir_ / "history.ini", fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    TFormQuery& form = Shown();
    form.EditCond->setEditText("select 9 from people");
    QTest::mouseClick(form.ButtonAdd, Qt::LeftButton);
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::replace);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("Unable to write to"), std::string::npos);
    EXPECT_EQ(form.EditCond->currentText(), "select 9 from people");
}

TEST_F(FormQueryTest, FileListsSelectTablesAndRefillingEmptiesTheSelection) {
    MakePeople(dir_, 2);
    MakeTable(dir_ / "ready.db", db::TableFormat::DBase, {makeField("A", db::FieldType::Long)}, {});
    MakeTable(dir_ / "other.DB", db::TableFormat::DBase, {makeField("A", db::FieldType::Long)}, {});
    TFormQuery& form = Shown();
    QListWidget* list = form.FileListBoxSQL;
    ASSERT_EQ(list->count(), 2);  // other.DB and ready.db: *.db, letter case ignored
    EXPECT_EQ(list->item(0)->text(), "other.DB");
    list->setCurrentRow(1);
    EXPECT_EQ(form.windowTitle(), "Query [ready]");
    EXPECT_EQ(form.EditCond->currentText(), "select * from ready");
    form.FilterComboBoxSQL->setCurrentIndex(1);  // r*.db
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(form.windowTitle(), "Query []");
    EXPECT_EQ(form.EditCond->currentText(), "select * from ");

    // A double click selects and runs.
    form.FileListBoxSQLDir->SetMask("*.dbf");
    ASSERT_EQ(form.FileListBoxSQLDir->count(), 1);
    form.FileListBoxSQLDir->setCurrentRow(0);
    emit form.FileListBoxSQLDir->itemActivated(form.FileListBoxSQLDir->item(0));
    EXPECT_EQ(form.EditCond->currentText(), "select * from people");
    EXPECT_EQ(form.GridModel().rowCount(), 2);

    // "&Change" with a directory part and a mask changes both file lists.
    fs::create_directories(dir_ / "sub");
    MakeTable(dir_ / "sub" / "rx.db", db::TableFormat::DBase, {makeField("A", db::FieldType::Long)},
              {});
    form.EditSQLDir->setText("sub/r*.db");
    QTest::mouseClick(form.ButtonChangeSQL, Qt::LeftButton);
    EXPECT_EQ(form.FileListBoxSQL->Directory().toStdString(), (dir_ / "sub").string());
    EXPECT_EQ(form.FileListBoxSQLDir->Mask(), "r*.db");
    ASSERT_EQ(form.FileListBoxSQLDir->count(), 1);
}

TEST_F(FormQueryTest, DirectoriesThatDoNotExistAreNotTaken) {
    fs::create_directories(dir_ / "data");
    TFormQuery& form = Form();
    const std::string start = fs::current_path().string();
    EXPECT_FALSE(form.SetSqlDirectory((dir_ / "missing").string()));
    EXPECT_EQ(form.Session().SqlDirectory(), start);
    EXPECT_TRUE(form.SetSqlDirectory((dir_ / "data").string()));
    EXPECT_EQ(fs::current_path(), fs::canonical(dir_ / "data"));
    EXPECT_EQ(form.StatusPanels[3]->text().toStdString(), fs::canonical(dir_ / "data").string());
    EXPECT_EQ(form.DirectoryListBoxSQL->Directory().toStdString(),
              fs::canonical(dir_ / "data").string());
    // The directory list walks up when an entry is activated.
    QListWidget* dirs = form.DirectoryListBoxSQL;
    ASSERT_GT(dirs->count(), 1);
    emit dirs->itemActivated(dirs->item(dirs->count() - 2));
    EXPECT_EQ(form.Session().SqlDirectory(), fs::canonical(dir_).string());

    // Switching to the SQL tab shows the SQL page of the directory tabs, and back.
    form.PageSheetQueries->setCurrentWidget(form.TabProg);
    EXPECT_EQ(form.PageControlDir->currentWidget(), form.TabProgDir);
    form.PageSheetQueries->setCurrentWidget(form.TabSQL);
    EXPECT_EQ(form.PageControlDir->currentWidget(), form.TabSQLDir);
}

TEST_F(FormQueryTest, OpenFileByExtensionAndDrops) {
    fs::create_directories(dir_ / "tables");
    MakeTable(dir_ / "tables" / "Mixed.Db", db::TableFormat::DBase,
              {makeField("A", db::FieldType::Long)}, {{std::int64_t{7}}});
    WriteFile("notes.txt", "x");
    TFormQuery& form = Shown();
    EXPECT_EQ(form.OpenFileByExtension((dir_ / "notes.txt").string()), "Unknow extension");
    EXPECT_EQ(form.Session().SqlDirectory(), fs::canonical(dir_).string());

    form.PageSheetQueries->setCurrentWidget(form.TabProg);
    EXPECT_EQ(form.OpenFileByExtension((dir_ / "tables" / "Mixed.Db").string()), "");
    EXPECT_EQ(form.Session().SqlDirectory(), fs::canonical(dir_ / "tables").string());
    EXPECT_EQ(form.PageSheetQueries->currentWidget(), form.TabSQL);
    EXPECT_EQ(form.windowTitle(), "Query [Mixed]");
    EXPECT_EQ(form.GridModel().rowCount(), 1);

    // A dropped folder becomes the SQL directory; only the first dropped file counts.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_.string())),
                  QUrl::fromLocalFile(QString::fromStdString((dir_ / "tables").string()))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
    EXPECT_EQ(form.Session().SqlDirectory(), fs::canonical(dir_).string());
    EXPECT_TRUE(Errors().empty());  // the error text of a drop is not shown
}

TEST_F(FormQueryTest, SeparatorAndBoxesAreKeptForTheNextWindow) {
    {
        TFormQuery& form = Form();
        form.EditSeparator->setText(";");
        EXPECT_EQ(form.Session().GetSeparator(), ";");
        form.EditSaveAsTextName->setText("out.txt");
        form.CBRunAutomatically->setCheckState(Qt::Checked);
    }
    Reopen();
    EXPECT_EQ(Form().EditSeparator->text(), ";");
    EXPECT_EQ(Form().Session().GetSeparator(), ";");
    EXPECT_EQ(Form().Session().SaveAsTextName, "out.txt");
    EXPECT_EQ(Form().CBRunAutomatically->checkState(), Qt::Checked);
}

}  // namespace
}  // namespace orn::testing
