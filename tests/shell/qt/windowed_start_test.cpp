// The real orn executable started with a file, on the offscreen platform.
#include "settings/IniName.h"
#include "shell/run_orn.h"
#include "shell_qt_fixture.h"

namespace orn::testing {
namespace {

class WindowedStartTest : public MainFormTest {
  protected:
    // Settings are kept under the program's name: this process stores them as orn would.
    void SetUp() override {
        SetProgramFileName(ORN_EXE);
        MainFormTest::SetUp();
    }
    void TearDown() override {
        MainFormTest::TearDown();
        SetProgramFileName("");
    }
    // The executable in `cwd`, sharing this test's settings; a run that hangs is ended.
    OrnOutcome Orn(const std::vector<std::string>& args, const std::string& cwd = "") {
        ReleaseGlobalIniReadOrder();  // what this process stored is on disk
        return RunOrn(args, cwd.empty() ? dir_ : std::filesystem::path(cwd), dir_,
                      "QT_QPA_PLATFORM=offscreen ORN_REGISTRY_DIR=" + ShellQuote(Path("registry")) +
                          " timeout 10");
    }
};

TEST_F(WindowedStartTest, AutomaticProgramEndingInExitEndsTheProcessAfterTheRun) {
    CheckRunAutomatically();
    main_.reset();
    WriteProgram("prog.orn", {"DEBUG 1", "MKDIR before", "EXIT", "MKDIR after"});
    OrnOutcome o = Orn({"prog.orn"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "before"));
    // EXIT closes when the run is over: the lines after it still ran.
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "after"));
}

TEST_F(WindowedStartTest, RelativeNamesAreTakenFromTheStartDirectory) {
    CheckRunAutomatically();
    main_.reset();
    std::filesystem::create_directories(dir_ / "progs");
    WriteProgram("progs/p.orn", {"DEBUG 0", "MKDIR ran", "EXIT"});
    // The program runs in the SQL directory, which starts where orn was started.
    OrnOutcome o = Orn({"progs/p.orn"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "ran"));
    o = Orn({"../p.orn"}, Path("progs"));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("orn: No programs " + Path("p.orn")), std::string::npos) << o.err;
}

TEST_F(WindowedStartTest, FailedOpensSayWhyAndExitNonZero) {
    WriteFile("notes.txt", "x");
    OrnOutcome o = Orn({"notes.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("orn: Unknow extension\n"), std::string::npos) << o.err;
    // A lower-case mode word is a file name like any other.
    o = Orn({"exec", "select 1"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("Unknow extension"), std::string::npos) << o.err;
    o = Orn({"missing.orn"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("orn: No programs " + Path("missing.orn")), std::string::npos) << o.err;
    // The modes need no display at all.
    MakeTable("t.db");
    o = RunOrn({"INFO", "t.db"}, dir_, dir_,
               "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("NAME"), std::string::npos);
}

// orn runs its modes without the GUI libraries and hands a windowed start to the windows program
// beside it; without that program it says what is missing instead of failing obscurely.
TEST_F(WindowedStartTest, TheModesLoadNoGuiAndAWindowedStartNeedsTheWindowsProgram) {
    OrnOutcome libs = RunOrn({}, dir_, dir_, "ldd", ORN_EXE);
    ASSERT_EQ(libs.status, 0) << libs.err;
    EXPECT_NE(libs.out.find("libc.so"), std::string::npos) << libs.out;
    EXPECT_EQ(libs.out.find("libQt6"), std::string::npos) << libs.out;

    const std::filesystem::path alone = dir_ / "alone";
    std::filesystem::create_directories(alone);
    std::filesystem::copy_file(ORN_EXE, alone / "orn");
    OrnOutcome o = RunOrn({"t.db"}, dir_, dir_, "QT_QPA_PLATFORM=offscreen timeout 10",
                          (alone / "orn").string());
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.err.find("orn: the windows program orn-windows is not installed beside " +
                         (alone / "orn").string()),
              std::string::npos)
        << o.err;
    o = RunOrn({"--version"}, dir_, dir_, "", (alone / "orn").string());
    EXPECT_EQ(o.status, 0) << o.err;
}

}  // namespace
}  // namespace orn::testing
