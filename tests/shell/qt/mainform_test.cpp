// The main window's menus, tool bar, window list, the files opened last and closing.
#include <QAction>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "shell/qt/exec.h"
#include "shell/qt/sqlhelp.h"
#include "shell_qt_fixture.h"

namespace orn::testing {
namespace {

// What a menu shows, separators as "-".
std::vector<std::string> Texts(QMenu* menu) {
    std::vector<std::string> texts;
    for (QAction* action : menu->actions()) {
        texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    }
    return texts;
}

QAction* Item(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

using Strings = std::vector<std::string>;

TEST_F(MainFormTest, MenusToolBarAndCaptionAreThoseOfTheProgram) {
    EXPECT_EQ(main_->windowTitle(), "ORN");
    Strings bar;
    for (QAction* action : main_->menuBar()->actions()) {
        bar.push_back(action->text().toStdString());
    }
    EXPECT_EQ(bar, (Strings{"&File", "&Window", "&Help"}));
    EXPECT_EQ(Texts(main_->FileMenu()), (Strings{"&New", "-", "E&xit"}));
    main_->UpdateWindowMenu();
    EXPECT_EQ(Texts(main_->WindowMenu()), (Strings{"&Cascade", "&Tile"}));
    EXPECT_EQ(Texts(main_->HelpMenu()), (Strings{"SQL &Help", "&Program Commands"}));
    EXPECT_EQ(Item(main_->HelpMenu(), "SQL &Help")->shortcut(), QKeySequence(Qt::Key_F1));

    auto* tools = main_->findChild<QToolBar*>("ToolBar");
    ASSERT_NE(tools, nullptr);
    Strings buttons;
    for (QAction* action : tools->actions()) {
        buttons.push_back(action->text().toStdString());
    }
    EXPECT_EQ(buttons, (Strings{"New", "Exec"}));

    // The tool bar and the menu make the two kinds of child window.
    tools->actions()[0]->trigger();
    tools->actions()[1]->trigger();
    Item(main_->FileMenu(), "&New")->trigger();
    ASSERT_EQ(Children().size(), 3);
    EXPECT_NE(TQueryChild::Of(Children()[0]->widget()), nullptr);
    EXPECT_NE(qobject_cast<TFormExec*>(Children()[1]->widget()), nullptr);
    EXPECT_EQ(Children()[1]->windowTitle(), "Exec");
    EXPECT_NE(TQueryChild::Of(Children()[2]->widget()), nullptr);
}

TEST_F(MainFormTest, WindowMenuListsTheChildrenAndSwitchesBetweenThem) {
    main_->show();
    main_->NewQuery();
    main_->NewExec();
    main_->UpdateWindowMenu();
    // Entries carry the windows' captions, which follow what the windows show.
    const std::string query = "&1 " + Children()[0]->windowTitle().toStdString();
    EXPECT_EQ(Texts(main_->WindowMenu()), (Strings{"&Cascade", "&Tile", "-", query, "&2 Exec"}));
    ASSERT_NE(Item(main_->WindowMenu(), "&2 Exec"), nullptr);
    EXPECT_TRUE(Item(main_->WindowMenu(), "&2 Exec")->isChecked());  // the last made is active
    Children()[0]->setWindowTitle("Query [renamed]");
    main_->UpdateWindowMenu();
    ASSERT_NE(Item(main_->WindowMenu(), "&1 Query [renamed]"), nullptr);
    Item(main_->WindowMenu(), "&1 Query [renamed]")->trigger();
    EXPECT_EQ(main_->MdiArea()->activeSubWindow(), Children()[0]);

    // Tile leaves no window on top of another.
    Item(main_->WindowMenu(), "&Tile")->trigger();
    EXPECT_FALSE(Children()[0]->geometry().intersects(Children()[1]->geometry()));
    Item(main_->WindowMenu(), "&Cascade")->trigger();
    EXPECT_NE(Children()[0]->pos(), Children()[1]->pos());

    // A closed child leaves the list.
    Children()[1]->close();
    Settle();
    main_->UpdateWindowMenu();
    EXPECT_EQ(Texts(main_->WindowMenu()),
              (Strings{"&Cascade", "&Tile", "-", "&1 Query [renamed]"}));
}

TEST_F(MainFormTest, ErrorLogEntryAppearsOnlyOnceItCanOpenSomething) {
    main_->UpdateWindowMenu();
    EXPECT_EQ(Item(main_->WindowMenu(), "Error log"), nullptr);
    int opened = 0;
    main_->SetErrorLogOpener([&opened] { ++opened; });
    main_->UpdateWindowMenu();
    QAction* log = Item(main_->WindowMenu(), "Error log");
    ASSERT_NE(log, nullptr);
    log->trigger();
    EXPECT_EQ(opened, 1);
}

TEST_F(MainFormTest, ProgramCommandsListsTheActiveQueryWindowsCommandsOnly) {
    main_->show();
    TQueryChild* query = main_->NewQuery();
    ASSERT_NE(query, nullptr);
    auto listings = [] {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* text = qobject_cast<QPlainTextEdit*>(w);
            count += text != nullptr && text->isVisible() &&
                     text->windowTitle() == "Program commands" &&
                     text->toPlainText().contains("SETVALUE");
        }
        return count;
    };
    main_->NewExec();  // a statement window is active: nothing happens
    Item(main_->HelpMenu(), "&Program Commands")->trigger();
    EXPECT_EQ(listings(), 0);
    main_->MdiArea()->setActiveSubWindow(Children()[0]);
    Item(main_->HelpMenu(), "&Program Commands")->trigger();
    EXPECT_EQ(listings(), 1);
}

TEST_F(MainFormTest, SqlHelpIsOneWindowOpenedAtItsContents) {
    TFormSqlHelp* help = main_->ShowSqlHelp();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->Contents()->currentRow(), 0);
    help->FindEdit()->setText("EXTRACT");
    EXPECT_TRUE(help->FindNext());
    // Asked again, the same window comes back at its contents.
    EXPECT_EQ(main_->ShowSqlHelp(), help);
    EXPECT_EQ(help->Contents()->currentRow(), 0);
    EXPECT_EQ(help->Browser()->textCursor().position(), 0);
}

// The files listed in "&File", newest first, and the actions that open them.
Strings Recent(QMenu* menu) {
    Strings paths;
    for (QAction* action : menu->actions()) {
        if (!action->data().toString().isEmpty()) {
            paths.push_back(action->data().toString().toStdString());
        }
    }
    return paths;
}

QAction* RecentItem(QMenu* menu, const std::string& path) {
    for (QAction* action : menu->actions()) {
        if (action->data().toString().toStdString() == path) {
            return action;
        }
    }
    return nullptr;
}

TEST_F(MainFormTest, FileMenuKeepsTheLastEightOpenedFilesAndFolders) {
    std::vector<std::string> programs;
    for (int i = 0; i < 10; ++i) {
        programs.push_back(WriteProgram("p" + std::to_string(i) + ".orn", {"DEBUG 0"}));
        EXPECT_EQ(main_->OpenInNewQuery(programs.back()), "");
    }
    std::filesystem::create_directories(dir_ / "tables");
    main_->OpenInNewQuery(Path("tables"));  // a folder counts although its window closes
    EXPECT_NE(main_->OpenInNewQuery(Path("x.txt")), "");  // a failure does not
    const Strings expected = {Path("tables"), programs[9], programs[8], programs[7],
                              programs[6],    programs[5], programs[4], programs[3]};
    EXPECT_EQ(Recent(main_->FileMenu()), expected);
    Strings menu = Texts(main_->FileMenu());
    ASSERT_EQ(menu.size(), 12u);
    EXPECT_EQ(menu[0], "&New");
    EXPECT_EQ(menu[1], "-");
    EXPECT_EQ(menu[2].substr(0, 3), "&1 ");
    EXPECT_EQ(menu[10], "-");
    EXPECT_EQ(menu[11], "E&xit");

    // The list survives a restart of the window.
    main_.reset();
    ReleaseGlobalIniReadOrder();
    main_ = std::make_unique<TFormORN>(dialogs_, QueryWindowFactory(dialogs_, dir_.string()));
    EXPECT_EQ(Recent(main_->FileMenu()), expected);

    // An entry opens again; a folder stays open as the window's SQL directory.
    RecentItem(main_->FileMenu(), programs[9])->trigger();
    RecentItem(main_->FileMenu(), Path("tables"))->trigger();
    Settle();
    EXPECT_EQ(Children().size(), 2);
    EXPECT_TRUE(dialogs_.Requests().empty());

    // An entry whose file is gone leaves the list with a message.
    std::filesystem::remove(programs[8]);
    RecentItem(main_->FileMenu(), programs[8])->trigger();
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].text, programs[8] + " no longer exists");
    EXPECT_EQ(RecentItem(main_->FileMenu(), programs[8]), nullptr);
    EXPECT_EQ(Children().size(), 2);
}

TEST_F(MainFormTest, ExitClosesEveryChildAndTellsTheApplication) {
    main_->show();
    main_->NewQuery();
    main_->NewExec();
    bool closed = false;
    QObject::connect(main_.get(), &TFormORN::Closed, [&closed] { closed = true; });
    Item(main_->FileMenu(), "E&xit")->trigger();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(main_->isVisible());
    Settle();
    EXPECT_TRUE(Children().isEmpty());
}

TEST_F(MainFormTest, ExitInAProgramClosesOnlyOnceTheRunIsOver) {
    CheckRunAutomatically();
    main_->show();
    bool closed = false;
    QObject::connect(main_.get(), &TFormORN::Closed, [&closed] { closed = true; });
    // DEBUG 1: the window handles events between lines, where a hasty close would come in.
    const std::string program =
        WriteProgram("p.orn", {"DEBUG 1", "EXIT", "MKDIR after1", "MKDIR after2"});
    EXPECT_EQ(main_->OpenInNewQuery(program), "");
    EXPECT_FALSE(closed);
    EXPECT_TRUE(main_->CloseRequested());
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "after2"));
    EXPECT_TRUE(QTest::qWaitFor([&closed] { return closed; }, 10000));
    EXPECT_FALSE(main_->isVisible());
}

TEST_F(MainFormTest, ClosingTheMainWindowStopsARunningProgramFirst) {
    CheckRunAutomatically();
    main_->show();
    bool closed = false;
    QObject::connect(main_.get(), &TFormORN::Closed, [&closed] { closed = true; });
    // A long program: the close arrives while its first lines run.
    std::vector<std::string> lines = {"DEBUG 1"};
    for (int i = 0; i < 500; ++i) {
        lines.push_back("IFEXISTS long.orn");
    }
    lines.push_back("MKDIR reached_the_end");
    const std::string program = WriteProgram("long.orn", lines);
    bool closeArrivedDuringRun = false;
    QTimer::singleShot(0, main_.get(), [&] {
        closeArrivedDuringRun = main_->ActiveQuery() && main_->ActiveQuery()->ProgramRunning();
        main_->close();
        EXPECT_TRUE(main_->isVisible());  // not while the runner is inside its window
    });
    EXPECT_EQ(main_->OpenInNewQuery(program), "");
    EXPECT_TRUE(closeArrivedDuringRun);
    EXPECT_FALSE(std::filesystem::is_directory(dir_ / "reached_the_end"));
    EXPECT_TRUE(QTest::qWaitFor([&closed] { return closed; }, 10000));
    Settle();
    EXPECT_TRUE(Children().isEmpty());
}

}  // namespace
}  // namespace orn::testing
