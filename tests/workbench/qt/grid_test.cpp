// The result grid: rows read as shown, the status panels, and editing that writes to the
// table file, also when the engine rejects a post.
#include <QHeaderView>
#include <QLabel>
#include <QStyle>
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

// A result too large to measure row by row gives each column room for every value its field can
// hold, so the longer values far down are not cut short; a small result is measured by its rows.
TEST_F(GridTest, ColumnsOfALargeResultFitValuesFarBelowTheFirstScreen) {
    std::vector<db::Record> rows;
    for (int i = 1; i <= 1500; ++i) {
        // Short values first; the widest a Long holds and names of all 20 characters only past
        // row 1000.
        const bool far = i > 1000;
        rows.push_back(
            {std::int64_t{far ? -2147483647 + i : i},
             far ? "name" + std::to_string(1000000000000000LL + i) : "n" + std::to_string(i),
             far ? -123456.75 : 1.5, far ? std::int64_t{-32767} : std::int64_t{i % 9}});
    }
    MakeTable(
        dir_ / "wide.db", db::TableFormat::Paradox,
        {makeField("ID", db::FieldType::Long), makeField("NAME", db::FieldType::Alpha, 20),
         makeField("AMOUNT", db::FieldType::Number, 12, 2), makeField("S", db::FieldType::Short)},
        rows);
    MakePeople(dir_, 3);
    TFormQuery& form = Form();
    form.resize(900, 500);
    form.show();
    Run("select * from wide");
    QApplication::processEvents();
    TDBGrid* grid = form.DBGrid1;
    ASSERT_EQ(form.GridModel().ResultRows(), 1500);
    Click("NavLast");
    QApplication::processEvents();
    ASSERT_GE(grid->FirstShownRow(), 1400);
    // Every value shown has room for its text beside the cell's margins.
    const QFontMetrics metrics(grid->font());
    const int margin = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    QAbstractItemModel* model = grid->model();
    int checked = 0;
    for (int row = grid->rowAt(0); row >= 0 && row <= grid->rowAt(grid->viewport()->height() - 1);
         ++row) {
        for (int column = 0; column < 4; ++column) {
            const QString text = model->data(model->index(row, column)).toString();
            EXPECT_GE(grid->columnWidth(column), metrics.horizontalAdvance(text) + margin)
                << text.toStdString();
            ++checked;
        }
    }
    EXPECT_GE(checked, 4 * 5);
    // NAME holds up to 20 characters: as wide as 20 of the font's average letters.
    EXPECT_GE(grid->columnWidth(1), 20 * metrics.averageCharWidth());
    // A small integer type makes a narrower column than a long one.
    EXPECT_LT(grid->columnWidth(3), grid->columnWidth(0));

    // Three rows: as wide as their values and the header, not as the field could be.
    Run("select * from people");
    QApplication::processEvents();
    const int small = grid->columnWidth(1);
    EXPECT_LT(small, 20 * metrics.averageCharWidth());
    grid->resizeColumnToContents(1);
    EXPECT_EQ(grid->columnWidth(1), small);
}

}  // namespace
}  // namespace orn::testing
