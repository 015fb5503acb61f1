// A result larger than the page the grid's view holds: the user scrolls, moves, edits, inserts,
// selects and copies as in a grid that holds the whole result, and the scroll bar ranges over
// all of it. Pages are made small here so that a few hundred rows cross several of them.
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QRect>
#include <QScrollBar>
#include <QWheelEvent>
#include <functional>
#include <ostream>

#include "dbengine/dataset/query.h"
#include "formquery_fixture.h"
#include "workbench/qt/querygridmodel.h"

namespace orn::testing {
namespace {

constexpr int kRows = 300;
constexpr int kPage = 64;

// What the user sees of the grid after an action.
struct Seen {
    std::int64_t recNo = 0;
    int column = 0;
    std::int64_t firstShown = 0;
    int barValue = 0;
    int barRange = 0;  // maximum + page step: the rows the bar ranges over
    std::string value;
    bool selected = false;
    int headerWidth = 0;
    std::string topLabel;  // the row number and the name shown at the top
    std::string topName;
    int nameWidth = 0;
    QRect bar;  // where the user's scroll bar is in the window
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) {
    *os << "record " << s.recNo << " column " << s.column << " first shown " << s.firstShown
        << " bar " << s.barValue << "/" << s.barRange << " value '" << s.value << "'"
        << (s.selected ? " selected" : "") << " header " << s.headerWidth << " top " << s.topLabel
        << " " << s.topName << " name width " << s.nameWidth << " bar at " << s.bar.x() << ","
        << s.bar.y() << " " << s.bar.width() << "x" << s.bar.height();
}

// The vertical scroll bar the user sees: the grid's own while the result fits in a page.
QScrollBar* UserBar(TFormQuery& form) {
    TDBGrid* grid = form.DBGrid1;
    return grid->ResultScrollBar()->isVisible() ? grid->ResultScrollBar()
                                                : grid->verticalScrollBar();
}

Seen Look(TFormQuery& form) {
    Seen s;
    db::Query& query = form.Session().Query();
    TDBGrid* grid = form.DBGrid1;
    s.recNo = query.recNo();
    s.column = grid->CurrentColumn();
    s.firstShown = grid->FirstShownRow();
    s.barValue = UserBar(form)->value();
    s.barRange = UserBar(form)->maximum() + UserBar(form)->pageStep();
    s.value = query.field(static_cast<std::size_t>(s.column)).displayText();
    // Whether the current cell shows selected, where it is shown at all.
    const int shown = UserBar(form)->pageStep();
    if (s.recNo - 1 >= s.firstShown && s.recNo - 1 < s.firstShown + shown) {
        s.selected = grid->currentIndex().isValid() &&
                     grid->selectionModel()->isSelected(grid->currentIndex());
    }
    s.headerWidth = grid->verticalHeader()->width();
    const int top = grid->rowAt(0);
    QAbstractItemModel* model = grid->model();
    s.topLabel = model->headerData(top, Qt::Vertical, Qt::DisplayRole).toString().toStdString();
    s.topName = model->data(model->index(top, 1), Qt::DisplayRole).toString().toStdString();
    s.nameWidth = grid->columnWidth(1);
    QScrollBar* bar = UserBar(form);
    s.bar = QRect(bar->mapTo(&form, QPoint()), bar->size());
    return s;
}

void Wheel(TFormQuery& form, int notches) {
    QWidget* viewport = form.DBGrid1->viewport();
    const QPointF at(20, 20);
    QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &event);
}

// A click into the grid, `row` rows below its top, in the NAME column.
void ClickShownRow(TFormQuery& form, int row) {
    TDBGrid* grid = form.DBGrid1;
    const int height = grid->verticalHeader()->defaultSectionSize();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      QPoint(grid->columnViewportPosition(1) + 4, row * height + height / 2));
}

// `times` presses of a key in the grid.
std::function<void(TFormQuery&)> Keys(Qt::Key key, int times = 1,
                                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    return [=](TFormQuery& form) {
        for (int i = 0; i < times; ++i) {
            QTest::keyClick(form.DBGrid1, key, modifiers);
        }
    };
}

QLineEdit* OpenEditor(TFormQuery& form) {
    QTest::keyClick(form.DBGrid1, Qt::Key_F2);
    for (QLineEdit* edit : form.DBGrid1->viewport()->findChildren<QLineEdit*>()) {
        if (edit->isVisible()) {
            return edit;
        }
    }
    return nullptr;
}

class LargeGridTest : public FormQueryTest {
  protected:
    // The window under test, its grid given pages of kPage rows, showing `sql`.
    TFormQuery& Paged(const std::string& sql = "select * from people") {
        TFormQuery& form = Form();
        form.GridModel().SetPageCapacity(kPage);
        Show(form, sql);
        return form;
    }
    void Show(TFormQuery& form, const std::string& sql) {
        form.resize(820, 600);
        form.show();
        form.RunSql(sql);
        QApplication::processEvents();
    }
};

TEST_F(LargeGridTest, ScrollingAndKeysLandWhereTheyWouldInAGridThatHoldsEverything) {
    MakePeople(dir_, kRows);
    TFormQuery& paged = Paged();
    TFormQuery whole(nullptr, &dialogs_, std::string(), (dir_ / "history2.ini").string());
    Show(whole, "select * from people");
    ASSERT_EQ(paged.GridModel().rowCount(), kPage);
    ASSERT_EQ(whole.GridModel().rowCount(), kRows);
    ASSERT_GT(paged.DBGrid1->verticalScrollBar()->pageStep(), 5);
    ASSERT_LT(paged.DBGrid1->verticalScrollBar()->pageStep() * 3, kPage);
    ASSERT_NE(UserBar(paged), paged.DBGrid1->verticalScrollBar());
    EXPECT_EQ(paged.DBGrid1->viewport()->size(), whole.DBGrid1->viewport()->size());

    const std::vector<std::pair<std::string, std::function<void(TFormQuery&)>>> steps = {
        {"start", [](TFormQuery& f) { f.DBGrid1->setColumnWidth(1, 123); }},
        {"Down x40", Keys(Qt::Key_Down, 40)},
        {"PageDown x8", Keys(Qt::Key_PageDown, 8)},
        {"Right", Keys(Qt::Key_Right)},
        {"PageUp x3", Keys(Qt::Key_PageUp, 3)},
        {"Up x20", Keys(Qt::Key_Up, 20)},
        {"Ctrl+End", Keys(Qt::Key_End, 1, Qt::ControlModifier)},
        {"Up x3", Keys(Qt::Key_Up, 3)},
        {"Ctrl+Home", Keys(Qt::Key_Home, 1, Qt::ControlModifier)},
        {"Home", Keys(Qt::Key_Home)},
        // The bar leaves the corner to the horizontal bar when that one shows.
        {"window narrower than the columns", [](TFormQuery& f) { f.resize(200, 600); }},
        {"PageDown x20 while narrow", Keys(Qt::Key_PageDown, 20)},
        {"window wide again", [](TFormQuery& f) { f.resize(820, 600); }},
        // The wheel and the bar move the view, not the current record.
        {"wheel x30", [](TFormQuery& f) { Wheel(f, 30); }},
        {"wheel back x7", [](TFormQuery& f) { Wheel(f, -7); }},
        {"click", [](TFormQuery& f) { ClickShownRow(f, 4); }},
        {"bar to 20", [](TFormQuery& f) { UserBar(f)->setValue(20); }},
        {"bar to 250", [](TFormQuery& f) { UserBar(f)->setValue(250); }},
        {"Down from out of sight", Keys(Qt::Key_Down)},
        {"bar to 0", [](TFormQuery& f) { UserBar(f)->setValue(0); }},
        {"PageDown from out of sight", Keys(Qt::Key_PageDown)},
        {"click on the bar's lower end",
         [](TFormQuery& f) {
             QScrollBar* b = UserBar(f);
             QTest::mouseClick(b, Qt::LeftButton, {},
                               QPoint(b->width() / 2, b->height() - b->width() - 4));
         }},
        {"Tab x9", Keys(Qt::Key_Tab, 9)},
        {"navigator last", [](TFormQuery& f) { f.findChild<QToolButton*>("NavLast")->click(); }},
        {"navigator first", [](TFormQuery& f) { f.findChild<QToolButton*>("NavFirst")->click(); }},
        {"record 150 by a program", [](TFormQuery& f) { f.Session().Query().setRecNo(150); }},
    };
    bool pageMoved = false;
    for (const auto& [name, step] : steps) {
        const std::int64_t start = paged.GridModel().Page().Start();
        step(paged);
        step(whole);
        QApplication::processEvents();
        pageMoved = pageMoved || paged.GridModel().Page().Start() != start;
        EXPECT_EQ(Look(paged), Look(whole)) << name;
        EXPECT_EQ(paged.GridModel().rowCount(), kPage) << name;
        EXPECT_EQ(paged.StatusPanels[0]->text(), whole.StatusPanels[0]->text()) << name;
    }
    EXPECT_TRUE(pageMoved);
    EXPECT_TRUE(dialogs_.Requests().empty());
}

TEST_F(LargeGridTest, TheBarRangesOverTheWholeResultAndCtrlEndShowsTheLastRecord) {
    MakePeople(dir_, kRows);
    TFormQuery& form = Paged();
    TDBGrid* grid = form.DBGrid1;
    QScrollBar* bar = grid->ResultScrollBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
    EXPECT_EQ(bar->maximum() + bar->pageStep(), kRows);
    EXPECT_EQ(bar->pageStep(), grid->verticalScrollBar()->pageStep());
    EXPECT_EQ(form.StatusPanels[1]->text(), QString::number(kRows));

    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(form.Session().Query().recNo(), kRows);
    EXPECT_EQ(grid->CurrentResultRow(), kRows - 1);
    EXPECT_EQ(grid->CurrentColumn(), 2);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(grid->FirstShownRow() + bar->pageStep(), kRows);
    EXPECT_EQ(form.StatusPanels[0]->text(), QString::number(kRows));
    const QModelIndex last = grid->currentIndex();
    ASSERT_TRUE(last.isValid());
    EXPECT_EQ(form.GridModel().data(last.siblingAtColumn(1), Qt::DisplayRole).toString(),
              "name300");
    EXPECT_EQ(form.GridModel().headerData(last.row(), Qt::Vertical, Qt::DisplayRole).toString(),
              "300");
    EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(last)));

    // A result that fits in a page is the view's alone again.
    form.Session().Query().close();
    MakePeople(dir_, 10);
    form.RunSql("select * from people");
    QApplication::processEvents();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(form.GridModel().rowCount(), 10);
    EXPECT_EQ(grid->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
}

TEST_F(LargeGridTest, AnEditPastTheFirstPagesPostsToTheRecordItWasTypedInto) {
    MakePeople(dir_, kRows);
    TFormQuery& form = Paged();
    TDBGrid* grid = form.DBGrid1;
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(grid, Qt::Key_PageDown);
    }
    QTest::keyClick(grid, Qt::Key_Right);
    const std::int64_t row = grid->CurrentResultRow();
    ASSERT_GT(row, 2 * kPage);
    ASSERT_GT(form.GridModel().Page().Start(), 0);
    QLineEdit* editor = OpenEditor(form);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QString("name%1").arg(row + 1));
    editor->setText("typed far down");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();        // the editor hands its text over once the key is done
    QTest::keyClick(grid, Qt::Key_Down);  // leaving the row posts it
    EXPECT_EQ(form.Session().Query().state(), db::DatasetState::Browse);
    EXPECT_TRUE(Errors().empty());
    auto rows = ReadAll(dir_ / "people.dbf");
    EXPECT_EQ(std::get<std::string>(rows[static_cast<std::size_t>(row)][1]), "typed far down");
    EXPECT_EQ(std::get<std::string>(rows[static_cast<std::size_t>(row + 1)][1]),
              "name" + std::to_string(row + 2));
    EXPECT_EQ(std::get<std::string>(rows[static_cast<std::size_t>(row - 1)][1]),
              "name" + std::to_string(row));

    // An editor left open while the bar takes the page elsewhere hands its text to the
    // record, which keeps it until the user moves on.
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Up);
    const std::int64_t second = grid->CurrentResultRow();
    editor = OpenEditor(form);
    ASSERT_NE(editor, nullptr);
    editor->setText("left open");
    grid->ResultScrollBar()->setValue(0);
    EXPECT_FALSE(form.GridModel().Page().Contains(second));
    EXPECT_EQ(form.Session().Query().state(), db::DatasetState::Edit);
    EXPECT_EQ(grid->CurrentResultRow(), second);
    grid->ResultScrollBar()->setValue(static_cast<int>(second) - 3);
    ASSERT_TRUE(grid->currentIndex().isValid());
    EXPECT_EQ(form.GridModel().data(grid->currentIndex(), Qt::DisplayRole).toString(), "left open");
    QTest::keyClick(grid, Qt::Key_Down);
    rows = ReadAll(dir_ / "people.dbf");
    EXPECT_EQ(std::get<std::string>(rows[static_cast<std::size_t>(second)][1]), "left open");
}

TEST_F(LargeGridTest, ARejectedPostFarDownKeepsTheRowAndTheTypedValues) {
    std::vector<db::Record> records;
    for (int i = 1; i <= kRows; ++i) {
        records.push_back({std::int64_t{i}, "key" + std::to_string(i)});
    }
    if (!TryMakeKeyed(dir_ / "keyed.db", records)) {
        GTEST_SKIP() << "this build cannot write Paradox tables";
    }
    TFormQuery& form = Paged("select * from keyed");
    TDBGrid* grid = form.DBGrid1;
    form.Session().Query().setRecNo(200);
    ASSERT_EQ(grid->CurrentResultRow(), 199);
    QLineEdit* editor = OpenEditor(form);
    ASSERT_NE(editor, nullptr);
    editor->setText("1");  // a key the table has already
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClick(grid, Qt::Key_PageDown);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "Key violation.");
    EXPECT_EQ(grid->CurrentResultRow(), 199);
    EXPECT_EQ(form.Session().Query().state(), db::DatasetState::Edit);
    EXPECT_EQ(form.GridModel().data(grid->currentIndex(), Qt::DisplayRole).toString(), "1");
    EXPECT_EQ(form.StatusPanels[0]->text(), "200");
    // Ctrl+End tries the post again, fails again, and stays.
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(Errors().size(), 2u);
    EXPECT_EQ(grid->CurrentResultRow(), 199);
    QTest::keyClick(grid, Qt::Key_Home);  // Ctrl+End left the cursor in the last column
    editor = OpenEditor(form);
    ASSERT_NE(editor, nullptr);
    editor->setText("9999");
    // The key comes before the editor has handed its text over: moving to the last page
    // must hand it over first.
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(Errors().size(), 2u);
    EXPECT_EQ(grid->CurrentResultRow(), kRows - 1);
    const auto rows = ReadAll(dir_ / "keyed.db");
    EXPECT_EQ(std::get<std::int64_t>(rows.back()[0]), 9999);
    EXPECT_EQ(std::get<std::string>(rows.back()[1]), "key200");
}

TEST_F(LargeGridTest, InsertingAndDeletingFarDownHappenWhereTheUserIs) {
    MakePeople(dir_, kRows);
    TFormQuery& form = Paged();
    TDBGrid* grid = form.DBGrid1;
    form.Session().Query().setRecNo(230);
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(form.Session().Query().state(), db::DatasetState::Insert);
    EXPECT_EQ(form.GridModel().ResultRows(), kRows + 1);
    EXPECT_EQ(grid->CurrentResultRow(), 229);
    EXPECT_EQ(form.GridModel().RowLabel(229), "*");
    EXPECT_EQ(form.GridModel().RowLabel(230), "231");
    EXPECT_EQ(grid->ResultScrollBar()->maximum() + grid->ResultScrollBar()->pageStep(), kRows + 1);
    QTest::keyClick(grid, Qt::Key_Home);
    QLineEdit* editor = OpenEditor(form);
    ASSERT_NE(editor, nullptr);
    editor->setText("777");
    QTest::keyClick(editor, Qt::Key_Tab);  // on to NAME
    editor = OpenEditor(form);
    ASSERT_NE(editor, nullptr);
    editor->setText("inserted");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(form.Session().Query().state(), db::DatasetState::Browse);
    EXPECT_EQ(form.GridModel().ResultRows(), kRows + 1);
    const QModelIndex at = form.GridModel().ResultIndex(229, 1);
    ASSERT_TRUE(at.isValid());
    EXPECT_EQ(form.GridModel().data(at, Qt::DisplayRole).toString(), "inserted");
    EXPECT_EQ(ReadAll(dir_ / "people.dbf").size(), static_cast<std::size_t>(kRows + 1));

    // Deleting there reads the result again and stays at that place of it.
    form.Session().Query().setRecNo(230);
    const std::int64_t firstShown = grid->FirstShownRow();
    dialogs_.Queue(DialogButton::OK);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form.GridModel().ResultRows(), kRows);
    EXPECT_EQ(grid->CurrentResultRow(), 229);
    EXPECT_EQ(grid->FirstShownRow(), firstShown);
    EXPECT_EQ(form.GridModel().data(grid->currentIndex().siblingAtColumn(1), Qt::DisplayRole),
              "name230");
    EXPECT_EQ(grid->ResultScrollBar()->maximum() + grid->ResultScrollBar()->pageStep(), kRows);

    // Running the query again starts at its top.
    form.RunSql("select * from people");
    EXPECT_EQ(grid->CurrentResultRow(), 0);
    EXPECT_EQ(grid->FirstShownRow(), 0);
    EXPECT_EQ(grid->ResultScrollBar()->value(), 0);
    EXPECT_EQ(form.GridModel().RowLabel(0), "1");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(LargeGridTest, TheSelectedCellAndWhatCopyTakesFollowTheirRecordAcrossPages) {
    MakePeople(dir_, kRows);
    TFormQuery& form = Paged();
    TDBGrid* grid = form.DBGrid1;
    QTest::keyClick(grid, Qt::Key_PageDown);
    QTest::keyClick(grid, Qt::Key_Right);
    const std::int64_t row = grid->CurrentResultRow();
    ASSERT_TRUE(grid->selectionModel()->isSelected(grid->currentIndex()));

    // Scrolled far away and back, the cell is current and selected again.
    grid->ResultScrollBar()->setValue(kRows);
    EXPECT_FALSE(form.GridModel().Page().Contains(row));
    EXPECT_FALSE(grid->selectionModel()->hasSelection());
    grid->ResultScrollBar()->setValue(0);
    ASSERT_TRUE(grid->currentIndex().isValid());
    EXPECT_EQ(grid->CurrentResultRow(), row);
    EXPECT_EQ(grid->CurrentColumn(), 1);
    EXPECT_TRUE(grid->selectionModel()->isSelected(grid->currentIndex()));
    EXPECT_EQ(grid->selectionModel()->selectedIndexes().size(), 1);

    // Ctrl+C copies the current cell, also one the page reached only by moving.
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_Left);
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString("name%1").arg(kRows - 1));

    // The Copy button takes the result from its start and leaves the grid where it was.
    form.findChild<QToolButton*>("ButtonCopy")->click();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith("ID\tNAME\tSCORE\r\n1\tname1\t"))
        << copied.left(40).toStdString();
    EXPECT_EQ(copied.count("\r\n"), kRows + 1);
    EXPECT_EQ(form.Session().Query().recNo(), kRows - 1);
    EXPECT_EQ(grid->CurrentResultRow(), kRows - 2);
}

}  // namespace
}  // namespace orn::testing
