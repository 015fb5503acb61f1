// Bad input the window must survive: a history too long to show, one that cannot be written, and
// a SQL directory that disappears under it. Each says what is wrong, the window stays usable and
// nothing typed or stored is lost.
#include "formquery_fixture.h"
#include "text/inifile.h"
#include "workbench/qt/filelistbox.h"

namespace orn::testing {
namespace {

namespace fs = std::filesystem;
using BadInputTest = FormQueryTest;

bool AnyErrorHas(const std::vector<std::string>& errors, const std::string& part) {
    for (const std::string& e : errors) {
        if (e.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST_F(BadInputTest, AHistoryOfFiveThousandEntriesShowsWhatFitsAndLosesNone) {
    std::string text = "[SQLHistory]\n";
    for (int i = 0; i < 5000; ++i) {
        text += std::to_string(i) + "=select " + std::to_string(i) + " from t\n";
    }
    WriteFile("history.ini", text);
    TFormQuery& form = Shown();
    EXPECT_EQ(form.EditCond->count(), 1001);
    form.EditCond->setEditText("select 'new' from t");
    QTest::mouseClick(form.ButtonAdd, Qt::LeftButton);
    EXPECT_TRUE(AnyErrorHas(Errors(), "The SQL history is full"));
    EXPECT_EQ(form.EditCond->currentText(), "select 'new' from t");
    const std::string file = (dir_ / "history.ini").string();
    EXPECT_EQ(ReadProfileString(file, "SQLHistory", "4999"), "select 4999 from t");

    // Deleting one makes room, and the next stored entry comes into sight.
    form.EditCond->setEditText("select 0 from t");
    QTest::mouseClick(form.ButtonDel, Qt::LeftButton);
    EXPECT_EQ(form.EditCond->count(), 1001);
    EXPECT_EQ(form.EditCond->itemText(1000), "select 1001 from t");
    EXPECT_EQ(ReadProfileString(file, "SQLHistory", "4998"), "select 4999 from t");
}

TEST_F(BadInputTest, AHistoryThatCannotBeWrittenSaysSoAndKeepsTheText) {
    // Below a plain file no one, root included, can write the history.
    WriteFile("plain", "x");
    TFormQuery form(nullptr, &dialogs_, {}, (dir_ / "plain" / "history.ini").string());
    form.show();
    form.EditCond->setEditText("select 9 from people");
    QTest::mouseClick(form.ButtonAdd, Qt::LeftButton);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("Unable to write to"), std::string::npos);
    EXPECT_EQ(form.EditCond->currentText(), "select 9 from people");
    form.EditCond->setEditText("select 8 from people");
    QTest::mouseClick(form.ButtonDel, Qt::LeftButton);  // not in the history: nothing to write
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(form.EditCond->currentText(), "select 8 from people");
}

TEST_F(BadInputTest, ASqlDirectoryThatDisappearsGivesAMessageAndTheWindowGoesOn) {
    fs::create_directories(dir_ / "stick");
    MakePeople(dir_ / "stick", 3);
    MakePeople(dir_, 2);
    TFormQuery& form = Shown();
    ASSERT_TRUE(form.SetSqlDirectory((dir_ / "stick").string()));
    EXPECT_EQ(form.FileListBoxSQLDir->count(), 0);  // *.db only; people is a dBASE table
    fs::remove_all(dir_ / "stick");

    form.MemoQuery->setPlainText("select * from \"people.dbf\"");
    form.QueryClick();
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("people.dbf"), std::string::npos) << Errors()[0];
    EXPECT_EQ(form.EditCond->currentText(), "select * from \"people.dbf\"");
    form.FileListBoxSQL->Refill();
    EXPECT_EQ(form.FileListBoxSQL->count(), 0);

    // Another directory is taken as usual and the same statement runs there.
    ASSERT_TRUE(form.SetSqlDirectory(dir_.string()));
    form.QueryClick();
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(form.Session().Query().recordCount(), 2);
}

}  // namespace
}  // namespace orn::testing
