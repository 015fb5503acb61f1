// The Programs tab: parameter rows, running, Stop, Save Params and the runner's Qt view.
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>

#include "formquery_fixture.h"
#include "text/inifile.h"
#include "workbench/qt/programview_qt.h"
#include "workbench/qt/querygridmodel.h"

namespace orn::testing {
namespace {

namespace fs = std::filesystem;

class ProgramsTest : public FormQueryTest {
  protected:
    // The visible parameter rows, top to bottom.
    std::vector<TParamRow*> Rows() {
        QWidget* box = Form().ScrollBoxParams->widget();
        box->layout()->activate();
        std::vector<TParamRow*> rows;
        for (TParamRow* row : box->findChildren<TParamRow*>()) {
            if (!row->isHidden()) {
                rows.push_back(row);
            }
        }
        std::sort(rows.begin(), rows.end(),
                  [](TParamRow* a, TParamRow* b) { return a->y() < b->y(); });
        return rows;
    }
};

TEST_F(ProgramsTest, RowsFollowTheLoadedProgramAndTypedValuesAreSubstituted) {
    MakePeople(dir_, 4);
    WriteFile("p1.orn",
              "[Title]\nTitle=First\n[Params]\nx=2\ny=people\n[Program]\n0=SQL select * from [y] "
              "where ID > [x]\n");
    WriteFile("p2.orn", "[Title]\nTitle=Second\n[Params]\nz=1\nx=9\n[Program]\n0=DEBUG 1\n");
    TFormQuery& form = Shown();
    EXPECT_EQ(form.LoadProgramFile("p1.orn"), "");
    EXPECT_EQ(form.PageSheetQueries->currentWidget(), form.TabProg);
    EXPECT_EQ(form.LabelProgram->text(), "First");
    EXPECT_EQ(form.StatusPanels[2]->text(), "p1.orn");
    auto rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->CaptionLabel()->text(), "x");
    EXPECT_EQ(rows[0]->Edit()->text(), "2");
    EXPECT_EQ(rows[0]->Edit()->width(), 150);
    EXPECT_EQ(rows[0]->height(), 20);
    EXPECT_EQ(rows[0]->Edit()->geometry().right(), rows[0]->contentsRect().right());
    rows[0]->Edit()->selectAll();
    QTest::keyClicks(rows[0]->Edit(), "3");

    QTest::mouseClick(form.ButtonRun, Qt::LeftButton);
    EXPECT_EQ(form.GridModel().rowCount(), 1);  // ID > 3
    EXPECT_EQ(form.NBProgButtons->currentIndex(), 1);
    EXPECT_TRUE(form.ProgramView().StatusLabel()->isHidden());

    // p2 shows z and then x again (moved below z), keeping the typed 3.
    EXPECT_EQ(form.LoadProgramFile("p2.orn"), "");
    rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->CaptionLabel()->text(), "z");
    EXPECT_EQ(rows[1]->CaptionLabel()->text(), "x");
    EXPECT_EQ(rows[1]->Edit()->text(), "3");

    // Save Params writes the visible rows into the program file.
    QTest::mouseClick(form.ButtonSaveParams, Qt::LeftButton);
    EXPECT_EQ(ReadProfileString((dir_ / "p2.orn").string(), "Params", "x"), "3");
    EXPECT_EQ(ReadProfileString((dir_ / "p2.orn").string(), "Params", "y", "none"), "none");
}

TEST_F(ProgramsTest, StopDuringARunEndsItAndTheButtonsReturn) {
    WriteFile("loop.orn", "[Params]\nn=1\n[Program]\n0=SETVALUE a,[n]\n1=GOTO 0\n");
    TFormQuery& form = Shown();
    ASSERT_EQ(form.LoadProgramFile("loop.orn"), "");
    int pageDuringRun = -1;
    QString statusDuringRun;
    bool statusShown = false;
    // Runs inside the run, at the first line's pending-event step.
    QTimer::singleShot(0, &form, [&] {
        pageDuringRun = form.NBProgButtons->currentIndex();
        statusShown = !form.ProgramView().StatusLabel()->isHidden();
        statusDuringRun = form.ProgramView().StatusLabel()->text();
        QTest::mouseClick(form.PanelStop, Qt::LeftButton);
    });
    form.RunProgram();
    EXPECT_EQ(pageDuringRun, 0);
    EXPECT_TRUE(statusShown);
    EXPECT_EQ(statusDuringRun, "SETVALUE a,1");
    EXPECT_EQ(form.NBProgButtons->currentIndex(), 1);
    EXPECT_TRUE(form.ProgramView().StatusLabel()->isHidden());
    EXPECT_FALSE(form.Session().Program().Running());
    EXPECT_GE(form.ProgramView().PendingProcessed(), 1);

    // A click on the status line stops as well.
    QTimer::singleShot(
        0, &form, [&] { QTest::mouseClick(form.ProgramView().StatusLabel(), Qt::LeftButton); });
    form.RunProgram();
    EXPECT_FALSE(form.Session().Program().Running());
    EXPECT_EQ(form.NBProgButtons->currentIndex(), 1);
}

TEST_F(ProgramsTest, FailedLoadsChangeNothingAndRunAutomaticallyRuns) {
    WriteFile("empty.orn", "[Title]\nTitle=Nothing\n");
    WriteFile("ok.orn", "[Program]\n0=SETVALUE done,yes\n");
    TFormQuery& form = Form();
    form.PageSheetQueries->setCurrentWidget(form.TabSQL);
    EXPECT_EQ(
        form.LoadProgramFile("empty.orn").rfind("No programs " + (dir_ / "empty.orn").string(), 0),
        0u);
    EXPECT_EQ(form.StatusPanels[2]->text(), "");
    EXPECT_EQ(form.PageSheetQueries->currentWidget(), form.TabSQL);
    EXPECT_TRUE(Errors().empty());

    form.CBRunAutomatically->setCheckState(Qt::Checked);
    EXPECT_EQ(form.LoadProgramFile("ok.orn"), "");
    EXPECT_EQ(form.Session().Program().Macros().GetValue("done"), "yes");
}

TEST_F(ProgramsTest, AProgramWhoseLinesWillNotRunAsNumberedIsWarnedOfInTheStatusBar) {
    WriteFile("odd.orn", "[Program]\n0=SETVALUE a,1\nstray line\n1=SETVALUE b,2\n");
    WriteFile("ok.orn", "[Program]\n0=SETVALUE done,yes\n");
    TFormQuery& form = Form();
    EXPECT_TRUE(form.StatusWarning->isHidden());
    EXPECT_EQ(form.LoadProgramFile("odd.orn"), "");
    EXPECT_FALSE(form.StatusWarning->isHidden());
    EXPECT_NE(form.StatusWarning->toolTip().toStdString().find("without \"=\" will not run"),
              std::string::npos)
        << form.StatusWarning->toolTip().toStdString();
    EXPECT_TRUE(Errors().empty()) << "a warning opens no box";
    // The next program is sound: the warning goes.
    EXPECT_EQ(form.LoadProgramFile("ok.orn"), "");
    EXPECT_TRUE(form.StatusWarning->isHidden());
}

TEST_F(ProgramsTest, ManyParametersAndTheHelpWindow) {
    std::string text = "[Params]\n";
    for (int i = 0; i < 500; ++i) {
        text += "p" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    }
    text += "[Program]\n0=DEBUG 1\n";
    WriteFile("many.orn", text);
    TFormQuery& form = Form();
    ASSERT_EQ(form.LoadProgramFile("many.orn"), "");
    EXPECT_EQ(Rows().size(), 500u);

    const auto before = QApplication::topLevelWidgets().size();
    form.Session().Program().ShowHelp();
    form.Session().Program().ShowHelp();
    QPlainTextEdit* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == "Program commands") {
            help = qobject_cast<QPlainTextEdit*>(w);
        }
    }
    EXPECT_EQ(QApplication::topLevelWidgets().size(), before + 2);  // one window per call
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->toPlainText().contains("SHOWMESSAGE"));
    EXPECT_FALSE(help->isModal());
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == "Program commands") {
            delete w;
        }
    }
}

TEST_F(ProgramsTest, ProgramDialogsGoThroughTheDialogInterface) {
    WriteFile("ask.orn", "[Program]\n0=SHOWMESSAGE Go on\n1=SETVALUE after,1\n");
    TFormQuery& form = Form();
    ASSERT_EQ(form.LoadProgramFile("ask.orn"), "");
    dialogs_.Queue(DialogButton::No);
    form.RunProgram();
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].text, "Go on\r\nContinue?");
    EXPECT_EQ(dialogs_.Requests()[0].buttons,
              (std::vector<DialogButton>{DialogButton::Yes, DialogButton::No}));
    EXPECT_EQ(form.Session().Program().Macros().GetValue("after"), "");
}

}  // namespace
}  // namespace orn::testing
