// The result grid: rows read as shown, the status panels, and editing that writes to the
// table file, also when the engine rejects a post.
#include <QLabel>
#include <QTableView>
#include <QToolButton>

#include "dbengine/dataset/query.h"
#include "formquery_fixture.h"
#include "workbench/qt/querygridmodel.h"

namespace orn::testing {
namespace {

class GridTest : public FormQueryTest {
  protected:
    QVariant Cell(int row, int column) {
        return Form().GridModel().data(Form().GridModel().index(row, column), Qt::DisplayRole);
    }
    bool Set(int row, int column, const QString& text) {
        auto& model = Form().GridModel();
        return model.setData(model.index(row, column), text, Qt::EditRole);
    }
    void Click(const char* navigatorButton) {
        auto* button = Find<QToolButton>(navigatorButton);
        ASSERT_NE(button, nullptr) << navigatorButton;
        button->click();
    }
    void Run(const std::string& sql) {
        Form().EditCond->setEditText(QString::fromStdString(sql));
        Form().QueryClick();
    }
};

TEST_F(GridTest, RowsAreReadAsTheyAreShownAndThePanelsFollow) {
    MakePeople(dir_, 5000);
    Run("select * from people");
    TFormQuery& form = Form();
    EXPECT_EQ(form.GridModel().rowCount(), 5000);
    EXPECT_LE(form.Session().Query().cachedRows(), db::Query::kWindowRows);
    EXPECT_EQ(Cell(4999, 1).toString(), "name5000");
    EXPECT_EQ(Cell(0, 1).toString(), "name1");
    EXPECT_EQ(form.GridModel().data(form.GridModel().index(0, 2), Qt::TextAlignmentRole).toInt() &
                  Qt::AlignRight,
              Qt::AlignRight);
    form.DBGrid1->setCurrentIndex(form.GridModel().index(41, 1));
    EXPECT_EQ(form.Session().Query().recNo(), 42);
    EXPECT_EQ(form.StatusPanels[0]->text(), "42");
    EXPECT_EQ(form.StatusPanels[1]->text(), "5000");
    Click("NavLast");
    EXPECT_EQ(form.DBGrid1->currentIndex().row(), 4999);
    EXPECT_EQ(form.StatusPanels[0]->text(), "5000");
    Click("NavFirst");
    EXPECT_EQ(form.DBGrid1->currentIndex().row(), 0);
    // Display masks set on a field show in the grid.
    form.Session().Query().field(2).setDisplayFormat("0.000");
    EXPECT_EQ(Cell(1, 2).toString(), "3.000");
}

TEST_F(GridTest, ATableWithADamagedMemoFileIsShownWithAWarningAndRefusesEdits) {
    for (const auto format : {db::TableFormat::DBase, db::TableFormat::Paradox}) {
        const bool dbf = format == db::TableFormat::DBase;
        SCOPED_TRACE(dbf ? "dBASE" : "Paradox");
        const std::size_t before = Errors().size();
        const std::string name = dbf ? "notes.dbf" : "notes.db";
        MakeTable(dir_ / name, format,
                  {makeField("ID", db::FieldType::Long), makeField("NOTE", db::FieldType::Memo)},
                  {{std::int64_t{1}, std::string(300, 'x')}, {std::int64_t{2}, db::Value{}}});
        Run("select * from \"" + name + "\"");
        TFormQuery& form = Form();
        EXPECT_TRUE(form.StatusWarning->isHidden());
        form.Session().Query().close();

        std::filesystem::remove(dir_ / (dbf ? "notes.dbt" : "notes.mb"));
        Run("select * from \"" + name + "\"");
        EXPECT_EQ(Errors().size(), before);
        ASSERT_EQ(form.GridModel().rowCount(), 2);
        EXPECT_EQ(Cell(0, 0).toString(), "1");
        EXPECT_EQ(Cell(0, 1).toString(), "");
        EXPECT_FALSE(form.StatusWarning->isHidden());
        const std::string warning = form.StatusWarning->toolTip().toStdString();
        EXPECT_NE(warning.find(name + " is damaged (its "), std::string::npos) << warning;
        EXPECT_NE(warning.find(" is missing)"), std::string::npos) << warning;

        // A change is refused with a message that says why.
        if (Set(1, 0, "7")) {
            Click("NavPost");
        }
        ASSERT_EQ(Errors().size(), before + 1);
        EXPECT_NE(Errors().back().find("it can be read but not changed"), std::string::npos)
            << Errors().back();
        Click("NavCancel");
        form.Session().Query().close();
        EXPECT_EQ(std::get<std::int64_t>(ReadAll(dir_ / name)[1][0]), 2);
        // A sound result hides the warning again.
        MakePeople(dir_, 1);
        Run("select * from people");
        EXPECT_TRUE(form.StatusWarning->isHidden());
        form.Session().Query().close();
    }
}

TEST_F(GridTest, AnEditIsPostedWhenTheUserMovesOnAndReachesTheDbaseFile) {
    MakePeople(dir_, 3);
    Run("select * from people");
    TFormQuery& form = Form();
    ASSERT_TRUE(Set(1, 1, "changed"));
    EXPECT_EQ(form.Session().Query().state(), db::DatasetState::Edit);
    EXPECT_EQ(Cell(1, 1).toString(), "changed");
    form.DBGrid1->setCurrentIndex(form.GridModel().index(2, 1));
    EXPECT_EQ(form.Session().Query().state(), db::DatasetState::Browse);
    const auto rows = ReadAll(dir_ / "people.dbf");
    EXPECT_EQ(std::get<std::string>(rows[1][1]), "changed");
    EXPECT_TRUE(Errors().empty());

    // A value the field cannot take is refused with a message and changes nothing.
    EXPECT_FALSE(Set(0, 0, "not a number"));
    ASSERT_EQ(Errors().size(), 1u);
    Click("NavCancel");

    // Insert through the navigator, then post.
    Click("NavLast");
    Click("NavInsert");
    EXPECT_EQ(form.GridModel().rowCount(), 4);
    const int newRow = form.GridModel().CurrentRow();
    ASSERT_TRUE(Set(newRow, 0, "9"));
    ASSERT_TRUE(Set(newRow, 1, "new"));
    Click("NavPost");
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(form.GridModel().rowCount(), 4);
    EXPECT_EQ(Cell(2, 1).toString(), "new");
    form.Session().Query().close();
    EXPECT_EQ(ReadAll(dir_ / "people.dbf").size(), 4u);
    Run("select * from people");
    EXPECT_EQ(form.GridModel().rowCount(), 4);

    // Delete asks first; Cancel keeps the record.
    dialogs_.Queue(DialogButton::Cancel);
    Click("NavDelete");
    EXPECT_EQ(form.GridModel().rowCount(), 4);
    dialogs_.Queue(DialogButton::OK);
    Click("NavDelete");
    EXPECT_EQ(form.GridModel().rowCount(), 3);
    form.Session().Query().close();
    EXPECT_EQ(ReadAll(dir_ / "people.dbf").size(), 3u);
}

TEST_F(GridTest, ARejectedPostShowsTheMessageAndKeepsTheEditUntilCancel) {
    if (!TryMakeKeyed(dir_ / "keyed.db", {{std::int64_t{1}, "one"}, {std::int64_t{2}, "two"}})) {
        GTEST_SKIP() << "this build cannot write Paradox tables";
    }
    Run("select * from keyed");
    TFormQuery& form = Form();
    ASSERT_EQ(form.GridModel().rowCount(), 2);
    ASSERT_TRUE(Set(1, 0, "1"));
    ASSERT_TRUE(Set(1, 1, "still typed"));
    // Moving away posts; the engine refuses the duplicate key.
    form.DBGrid1->setCurrentIndex(form.GridModel().index(0, 0));
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "Key violation.");
    EXPECT_EQ(form.DBGrid1->currentIndex().row(), 1);  // the grid stays on the edited row
    EXPECT_EQ(form.Session().Query().state(), db::DatasetState::Edit);
    EXPECT_EQ(Cell(1, 1).toString(), "still typed");
    // Correct it and post: the file has the correction.
    ASSERT_TRUE(Set(1, 0, "3"));
    Click("NavPost");
    EXPECT_EQ(Errors().size(), 1u);
    auto rows = ReadAll(dir_ / "keyed.db");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(std::get<std::string>(rows[1][1]), "still typed");

    // Cancel restores the row as stored.
    ASSERT_TRUE(Set(0, 1, "dropped"));
    Click("NavCancel");
    EXPECT_EQ(Cell(0, 1).toString(), "one");
    EXPECT_EQ(std::get<std::string>(ReadAll(dir_ / "keyed.db")[0][1]), "one");
}

TEST_F(GridTest, ResultsThatCannotBeEditedSayWhy) {
    MakePeople(dir_, 2);
    Run("select count(*) as N from people");
    TFormQuery& form = Form();
    EXPECT_FALSE(form.GridModel().flags(form.GridModel().index(0, 0)) & Qt::ItemIsEditable);
    Click("NavInsert");
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(form.GridModel().rowCount(), 1);
}

}  // namespace
}  // namespace orn::testing
