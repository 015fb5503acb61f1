// The window as a whole: its place in an MDI area kept between runs, settings that cannot be
// written, and how it gives up width (cut titles, the tool bar's name boxes, the SQL box's
// colouring).
#include <QAbstractItemView>
#include <QCompleter>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include "formquery_fixture.h"
#include "settings/IniReadOrder.h"
#include "workbench/qt/elidedlabel.h"
#include "workbench/qt/sqlhighlighter.h"
#include "workbench/qt/sqlmemo.h"

namespace orn::testing {
namespace {

using WindowTest = FormQueryTest;

// Pixels drawn in the key-word colour (a strong blue on a light theme, a light blue on a dark
// one): blue well above red.
int KeywordPixels(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 120 && c.blue() - c.red() > 70) {
                ++count;
            }
        }
    }
    return count;
}

TEST_F(WindowTest, AnMdiChildKeepsItsSubwindowsPlaceAndSize) {
    QMdiArea area;
    area.resize(1100, 800);
    area.show();
    const auto open = [&] {
        auto* form = new TFormQuery(nullptr, &dialogs_, {}, (dir_ / "history.ini").string());
        QMdiSubWindow* sub = area.addSubWindow(form);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->show();
        return sub;
    };
    QMdiSubWindow* sub = open();
    const QRect placed(37, 41, 610, 455);
    sub->setGeometry(placed);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(area.subWindowList().isEmpty());
    EXPECT_EQ(ReadIniString("", "Pos", "FormQuery", ""), "37,41,610,455");

    // The area would place a new window at its top left corner; the stored place wins.
    sub = open();
    EXPECT_EQ(sub->geometry(), placed);

    // Taken down with the area, never closed: the same.
    sub->setGeometry(120, 90, 500, 420);
    sub = nullptr;
    area.setParent(nullptr);
    {
        QMdiArea* gone = new QMdiArea;
        gone->resize(1100, 800);
        gone->show();
        auto* form = new TFormQuery(nullptr, &dialogs_, {}, (dir_ / "history.ini").string());
        gone->addSubWindow(form)->show();
        form->parentWidget()->setGeometry(120, 90, 500, 420);
        delete gone;
    }
    EXPECT_EQ(ReadIniString("", "Pos", "FormQuery", ""), "120,90,500,420");

    // A place beyond the area (a smaller main window now) comes back into it.
    WriteIniString("", "Pos", "FormQuery", "5000,5000,400,300");
    sub = open();
    EXPECT_EQ(sub->pos(), QPoint(0, 0));
    EXPECT_EQ(sub->size(), QSize(400, 300));
    EXPECT_TRUE(Errors().empty());
}

TEST_F(WindowTest, SettingsThatCannotBeWrittenAskInTheWindowUntilYesToAll) {
    // Every setting goes to an ini file below a plain file, which no one can create.
    WriteFile("plain", "x");
    const std::string bad = (dir_ / "plain" / "orn.ini").string();
    GlobalIniReadOrder().Vars().SetValue("U", bad);
    dialogs_.Queue(DialogButton::Cancel);
    dialogs_.Queue(DialogButton::YesToAll);
    TFormQuery& form = Shown();
    form.EditSaveAsTextName->setText("first.txt");
    std::vector<DialogRequest> asked;
    for (const DialogRequest& r : dialogs_.Requests()) {
        if (r.text.find("Stop showing errors?") != std::string::npos) {
            asked.push_back(r);
        }
    }
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, DialogKind::Error);
    EXPECT_EQ(asked[0].caption, "Error");
    EXPECT_EQ(asked[0].text, "Unable to write to " + bad + "\r\nStop showing errors?");
    EXPECT_EQ(asked[0].buttons,
              (std::vector<DialogButton>{DialogButton::Cancel, DialogButton::YesToAll}));
    EXPECT_FALSE(GlobalIniReadOrder().StopShowingErrors());

    // Cancel asks again at the next failure; "Yes to All" ends the questions.
    const std::size_t before = dialogs_.Requests().size();
    form.EditSeparator->setText(";");
    form.EditSaveAsTextName->setText("second.txt");
    form.close();
    EXPECT_EQ(dialogs_.Requests().size(), before + 1);
    EXPECT_TRUE(GlobalIniReadOrder().StopShowingErrors());
    EXPECT_EQ(GlobalIniReadOrder().LastErrorMessage(), "Unable to write to " + bad);
    // What the user typed stays in the window although it could not be kept.
    EXPECT_EQ(form.EditSaveAsTextName->text(), "second.txt");

    // A window gone hands the questions back: nothing is left pointing at its dialogs.
    form_.reset();
    EXPECT_EQ(GlobalIniReadOrder().Dialogs(), nullptr);
}

TEST_F(WindowTest, NarrowWindowsCutTheTitleAndKeepTheNameBoxesReadable) {
    TFormQuery& form = Form();
    // Set before the window first shows (and loads the history): it still reads from its start.
    form.MemoQuery->setPlainText(
        "select CUSTNO, NAME, CITY, CREDIT from customers where CREDIT "
        ">= 1000 order by NAME, CITY, CUSTNO");
    form.QueryClick();
    Shown();
    form.resize(600, 420);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.EditCond->lineEdit()->cursorPosition(), 0);
    EXPECT_LT(form.EditCond->lineEdit()->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(),
              10);

    const QString title =
        "Customers of one city, saved as text and as a table, with a title far too long to fit";
    form.LabelProgram->setText(title);
    QCoreApplication::processEvents();
    const QString shown = form.LabelProgram->ShownText();
    ASSERT_LT(form.LabelProgram->width(),
              form.LabelProgram->fontMetrics().horizontalAdvance(title));
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(title.startsWith(shown.chopped(1)));
    EXPECT_TRUE(form.LabelProgram->ToolTipText().startsWith(title));
    // The title gives way instead of widening the window.
    EXPECT_LE(form.minimumSizeHint().width(), 600);

    form.LabelProgram->setText("Short");
    EXPECT_EQ(form.LabelProgram->ShownText(), "Short");
    EXPECT_EQ(form.LabelProgram->ToolTipText(), form.LabelProgram->toolTip());

    // A long directory keeps both ends in its status panel.
    auto* directory = qobject_cast<TElidedLabel*>(form.StatusPanels[3]);
    ASSERT_NE(directory, nullptr);
    form.SetSqlDirectory(dir_.string());
    QCoreApplication::processEvents();
    ASSERT_EQ(directory->text().toStdString(), dir_.string());
    const QString path = directory->ShownText();
    EXPECT_TRUE(path.contains(QChar(0x2026))) << path.toStdString();
    EXPECT_TRUE(path.startsWith("/tmp"));
    EXPECT_TRUE(path.endsWith("Readable"));  // the end of this test's directory name

    // The text file's name stays readable in a tiled window.
    const QFontMetrics metrics = form.EditSaveAsTextName->fontMetrics();
    EXPECT_GE(form.EditSaveAsTextName->width(), metrics.horizontalAdvance("orders-2024.txt"));
    EXPECT_GE(form.EditSaveName->width(), metrics.horizontalAdvance("sub") + 8);
}

TEST_F(WindowTest, TheSqlBoxIsColouredAndStillEditsAndDropsDownLikeACombo) {
    WriteFile("history.ini", "[SQLHistory]\n0=select * from first_table\n1=update t set a = 1\n");
    TFormQuery& form = Shown();
    QLineEdit* edit = form.EditCond->lineEdit();
    form.SelectTable("");
    edit->setFocus();
    edit->selectAll();
    // Every key colours the line again; the text, the cursor and undo must not notice.
    QTest::keyClicks(edit, "select name from t where id = 'x'");
    EXPECT_EQ(edit->text(), "select name from t where id = 'x'");
    EXPECT_EQ(edit->cursorPosition(), edit->text().size());
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClicks(edit, "-- ");
    EXPECT_EQ(edit->text(), "-- select name from t where id = 'x'");
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "select name from t where id = 'x'");
    EXPECT_GT(KeywordPixels(edit), 20);

    // Plain words only: nothing in the key-word colour.
    edit->setText("customers and orders");
    edit->setText("names only here");
    EXPECT_EQ(KeywordPixels(edit), 0);

    // The history is still the drop-down, and a chosen entry is coloured too.
    ASSERT_EQ(form.EditCond->count(), 2);
    form.EditCond->showPopup();
    QTest::keyClick(form.EditCond->view(), Qt::Key_Down);
    QTest::keyClick(form.EditCond->view(), Qt::Key_Return);
    EXPECT_EQ(form.EditCond->currentText(), "update t set a = 1");
    EXPECT_GT(KeywordPixels(edit), 20);
    form.EditCond->hidePopup();
}

TEST_F(WindowTest, TheMemoOffersTablesAndFieldsAndInsertsTheChosenOne) {
    MakeTable(
        dir_ / "customers.db", db::TableFormat::Paradox,
        {makeField("CUSTNO", db::FieldType::Long), makeField("NAME", db::FieldType::Alpha, 20)},
        {});
    TFormQuery& form = Shown();
    auto* sqlMemo = dynamic_cast<TSqlMemo*>(form.MemoQuery);
    ASSERT_NE(sqlMemo, nullptr);
    QPlainTextEdit* memo = sqlMemo;
    auto* completer = memo->findChild<QCompleter*>("SqlCompleter");
    ASSERT_NE(completer, nullptr);
    QAbstractItemView* list = completer->popup();
    const auto shown = [&] {
        QStringList words;
        for (int i = 0; list->isVisible() && i < completer->model()->rowCount(); ++i) {
            words << completer->model()->index(i, 0).data().toString();
        }
        return words;
    };
    // The list is looked for once typing pauses.
    QTimer* pause = sqlMemo->Pause();
    const auto paused = [&] { return QTest::qWaitFor([&] { return !pause->isActive(); }); };
    memo->setFocus();
    QTest::keyClicks(memo, "select * from c");
    ASSERT_TRUE(paused());
    EXPECT_TRUE(shown().isEmpty());  // one letter is too few to ask
    QTest::keyClicks(memo, "u");
    ASSERT_TRUE(paused());
    EXPECT_EQ(shown(), QStringList{"customers"});
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(memo->toPlainText(), "select * from customers");

    // After a correlation name's dot, that table's fields; the chosen one replaces the part
    // typed.
    QTest::keyClicks(memo, " k where k.");
    ASSERT_TRUE(paused());
    EXPECT_EQ(shown(), (QStringList{"CUSTNO", "NAME"}));
    QTest::keyClicks(memo, "n");  // the list shown follows every key
    EXPECT_EQ(shown(), QStringList{"NAME"});
    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_EQ(memo->toPlainText(), "select * from customers k where k.NAME");

    // Escape leaves the text as typed; Ctrl+Space asks for every name that fits.
    QTest::keyClicks(memo, " = 'x' or ");
    QTest::keyClick(memo, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(shown(), (QStringList{"CUSTNO", "NAME", "customers"}));
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(memo->toPlainText(), "select * from customers k where k.NAME = 'x' or ");
    // Nothing is offered inside a text.
    QTest::keyClicks(memo, "'cu");
    ASSERT_TRUE(paused());
    EXPECT_TRUE(shown().isEmpty());
}

TEST(SqlSpans, CommentsQuotesAndNumbersAreTakenApartLikeTheEngineReadsThem) {
    bool inComment = false;
    QList<TSqlSpan> spans =
        SqlSpans("select 'it''s' from \"a b.db\" where x1 = 2.5 -- :p", inComment);
    ASSERT_EQ(spans.size(), 7);
    EXPECT_EQ(spans[1].kind, SqlToken::String);
    EXPECT_EQ(spans[1].length, 7);  // the doubled quote stays inside the text
    EXPECT_EQ(spans[2].kind, SqlToken::Keyword);
    EXPECT_EQ(spans[3].kind, SqlToken::Name);
    EXPECT_EQ(spans[4].kind, SqlToken::Keyword);
    EXPECT_EQ(spans[5].kind, SqlToken::Number);   // x1 is a name, not a number
    EXPECT_EQ(spans[6].kind, SqlToken::Comment);  // the parameter is commented out
    EXPECT_FALSE(inComment);

    // A comment opened on one line goes on in the next until it closes.
    spans = SqlSpans("select /* from", inComment);
    EXPECT_TRUE(inComment);
    spans = SqlSpans("still */ where :id", inComment);
    EXPECT_FALSE(inComment);
    ASSERT_EQ(spans.size(), 3);
    EXPECT_EQ(spans[0].kind, SqlToken::Comment);
    EXPECT_EQ(spans[0].length, 8);
    EXPECT_EQ(spans[2].kind, SqlToken::Parameter);
    // An unclosed text runs to the line end.
    spans = SqlSpans("where a = 'open", inComment);
    EXPECT_EQ(spans.back().kind, SqlToken::String);
    EXPECT_EQ(spans.back().start + spans.back().length, 15);
}

}  // namespace
}  // namespace orn::testing
