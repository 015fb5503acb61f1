// Files and folders dropped on the main window, as a file manager drops them: a list of URLs.
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "shell_qt_fixture.h"

namespace orn::testing {
namespace {

class DropTest : public MainFormTest {
  protected:
    // Delivers a drop of `urls` on the main window and lets the opening run. True when the
    // window accepted it.
    bool Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(main_.get(), &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(main_.get(), &drop);
        Settle();
        return drop.isAccepted();
    }
    static QList<QUrl> Files(const std::vector<std::string>& names) {
        QList<QUrl> urls;
        for (const std::string& name : names) {
            urls.append(QUrl::fromLocalFile(QString::fromStdString(name)));
        }
        return urls;
    }
};

TEST_F(DropTest, ThreeProgramsOpenThreeWindowsAndRunWhereAutomatic) {
    CheckRunAutomatically();
    std::vector<std::string> names;
    for (const char* name : {"a", "b", "c"}) {
        names.push_back(WriteProgram(std::string(name) + ".orn",
                                     {"DEBUG 0", std::string("MKDIR ran_") + name}));
    }
    ASSERT_TRUE(Drop(Files(names)));
    ASSERT_EQ(Children().size(), 3);
    for (const char* name : {"a", "b", "c"}) {
        EXPECT_TRUE(std::filesystem::is_directory(dir_ / (std::string("ran_") + name))) << name;
    }
    EXPECT_TRUE(dialogs_.Requests().empty());
}

TEST_F(DropTest, TablesOpenAndAFolderWindowClosesQuietly) {
    const std::string table = MakeTable("people.db");
    std::filesystem::create_directories(dir_ / "sub folder");
    ASSERT_TRUE(Drop(Files({table, Path("sub folder")})));
    ASSERT_EQ(Children().size(), 1);
    EXPECT_EQ(Children()[0]->windowTitle(), "Query [people]");
    // The folder's window pointed the working directory at the folder before it closed.
    EXPECT_EQ(std::filesystem::current_path(), dir_ / "sub folder");
    EXPECT_TRUE(dialogs_.Requests().empty());

    // A table that cannot be read is shown by its window, once, and the window stays.
    ASSERT_TRUE(Drop(Files({Path("vanished.db")})));
    EXPECT_EQ(Children().size(), 2);
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_NE(dialogs_.Requests()[0].text.find("vanished"), std::string::npos);
}

TEST_F(DropTest, FailedFilesCloseTheirWindowsAndAreNamedInOneBox) {
    const std::string longName = Path(std::string(5000, 'n') + ".orn");
    WriteFile("notes.txt", "text");
    WriteFile("noextension", "text");
    const std::string program = WriteProgram("ok.orn", {"DEBUG 0"});
    ASSERT_TRUE(Drop(
        Files({Path("notes.txt"), Path("vanished.orn"), Path("noextension"), longName, program})));
    ASSERT_EQ(Children().size(), 1);  // only the program that loaded
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    const std::string& text = dialogs_.Requests()[0].text;
    EXPECT_EQ(dialogs_.Requests()[0].kind, DialogKind::Error);
    EXPECT_EQ(text.find("Could not open these files:\n"), 0u) << text;
    EXPECT_NE(text.find(Path("notes.txt") + ": Unknow extension"), std::string::npos);
    EXPECT_NE(text.find(Path("noextension") + ": Unknow extension"), std::string::npos);
    EXPECT_NE(text.find(Path("vanished.orn") + ": No programs "), std::string::npos);
    EXPECT_NE(text.find(longName + ": No programs "), std::string::npos);
}

TEST_F(DropTest, ManyFilesAtOnceGiveOneShortReport) {
    std::vector<std::string> names;
    for (int i = 0; i < 25; ++i) {
        names.push_back(Path("missing" + std::to_string(i) + ".txt"));
    }
    ASSERT_TRUE(Drop(Files(names)));
    EXPECT_TRUE(Children().isEmpty());
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    const std::string& text = dialogs_.Requests()[0].text;
    EXPECT_NE(text.find(names[9]), std::string::npos);
    EXPECT_EQ(text.find(names[10] + ":"), std::string::npos);
    EXPECT_NE(text.find("\nand 15 more"), std::string::npos);
}

TEST_F(DropTest, WebAddressesAreNoDrop) {
    EXPECT_FALSE(Drop({QUrl("https://example.org/table.db")}));
    // Mixed in with files, they are left out.
    const std::string table = MakeTable("t.db");
    EXPECT_TRUE(Drop({QUrl("https://example.org/x.db"), QUrl::fromLocalFile(table.c_str())}));
    EXPECT_EQ(Children().size(), 1);
    EXPECT_TRUE(dialogs_.Requests().empty());
}

TEST_F(DropTest, ADropWhileAProgramRunsWaitsItsTurn) {
    CheckRunAutomatically();
    const std::string second = WriteProgram("second.orn", {"DEBUG 0", "MKDIR second_ran"});
    // DEBUG 1: the window handles events between the lines, where the second drop arrives.
    const std::string first = WriteProgram("first.orn", {"DEBUG 1", "MKDIR first_done"});
    bool duringRun = false;
    QTimer::singleShot(0, main_.get(), [&] {
        TQueryChild* running = TQueryChild::Of(Children().value(0)->widget());
        duringRun = running != nullptr && running->ProgramRunning();
        main_->OpenDropped({second});
        EXPECT_FALSE(std::filesystem::is_directory(dir_ / "second_ran"));
        EXPECT_EQ(Children().size(), 1);
    });
    main_->OpenDropped({first});
    EXPECT_TRUE(duringRun);
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "first_done"));
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "second_ran"));
    EXPECT_EQ(Children().size(), 2);
}

}  // namespace
}  // namespace orn::testing
