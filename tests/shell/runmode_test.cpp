// The orn executable run as a user runs it, with standard input not a terminal.
#include <gtest/gtest.h>

#include "dbengine/sql/help_text.h"
#include "engine/engine_test_support.h"
#include "settings/zRegistryIniFile.h"
#include "shell/run_orn.h"
#include "version.h"

namespace orn {
namespace {

using Outcome = testing::OrnOutcome;

class RunModeTest : public testing::TempDirTest {
  protected:
    Outcome Orn(const std::vector<std::string>& args, const std::string& cwd = "") {
        return testing::RunOrn(args, cwd.empty() ? dir_ : std::filesystem::path(cwd), dir_);
    }
};

TEST_F(RunModeTest, HelpVersionAndUnknownModes) {
    Outcome help = Orn({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("RUN <file.orn> [Name=Value ...]"), std::string::npos);
    Outcome version = Orn({"/error=x.txt", "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("orn ") + kVersion + "\n");
    Outcome sqlHelp = Orn({"--sql-help"});
    EXPECT_EQ(sqlHelp.status, 0);
    EXPECT_EQ(sqlHelp.out, sql::sqlHelpText());
    // Without a display every start that is no mode says so and fails.
    for (auto args : {std::vector<std::string>{}, {"run", "p.orn"}, {"table.db"}}) {
        Outcome o = testing::RunOrn(args, dir_, dir_,
                                    "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY");
        EXPECT_EQ(o.status, 3);
        EXPECT_NE(o.err.find("no display for the windowed mode"), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "");
    }
    EXPECT_EQ(Orn({"RUN"}).status, 2);
}

TEST_F(RunModeTest, LoadFailureGoesToStderr) {
    Outcome o = Orn({"RUN", "missing.orn"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "orn: No programs " + Path("missing.orn") + ": the file does not exist\n");
}

TEST_F(RunModeTest, ProgramHelpListsTheCommandsAndTheLineRules) {
    Outcome o = Orn({"--program-help"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("Program commands\n", 0), 0u) << o.out;
    for (const char* text : {"\nSQL SQL-sentence\n", "\nREAD table_name,filename\n",
                             "\nGOTO line\n", "%%", "case-sensitive"}) {
        EXPECT_NE(o.out.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(o.out.find('\r'), std::string::npos);
    EXPECT_NE(Orn({"--help"}).out.find("--program-help"), std::string::npos);
}

TEST_F(RunModeTest, FailingLinesGoToTheErrorFileAndOddLinesAreWarned) {
    WriteFile("p.orn", "[Program]\n0=DELETEFILE nothing.txt\nstray line\n1=MKDIR after\n");
    Outcome o = Orn({"RUN", "p.orn", "/error=err.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(ReadFile(Path("err.txt")), "Could not delete nothing.txt\r\n");
    EXPECT_EQ(o.err.rfind("orn: warning: Program ", 0), 0u) << o.err;
    EXPECT_NE(o.err.find("(the first: \"stray line\")"), std::string::npos) << o.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "after"));
}

TEST_F(RunModeTest, SettingsThatCannotBeWrittenAreReportedOnStandardError) {
    // Every setting goes to an ini file below a plain file; the run goes on without it.
    WriteFile("plain", "x");
    const std::string bad = Path("plain") + "/orn.ini";
    WriteFile("zini.ini", "[IniReadOrderVars]\nU=" + bad + "\n");
    WriteProgram("p.orn", {"SEPARATOR \"#59\"", "MKDIR after"});
    Outcome o = Orn({"RUN", "p.orn"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("Unable to write to " + bad), std::string::npos) << o.err;
    EXPECT_TRUE(std::filesystem::exists(dir_ / "after"));
}

TEST_F(RunModeTest, RunsAProgramWithParametersAndTheErrorSwitchAnywhere) {
    WriteFile("in.txt", "data");
    WriteProgram("p.orn",
                 {"MKDIR [Out]", "COPYFILE in.txt,[Out]/[Name].txt", "SHOWMESSAGE copied [Name]",
                  "IFEXISTS [Out]/[Name].txt!!5", "MKDIR not-reached", "DEBUG 0"},
                 "Out=default\nName=n");
    Outcome o = Orn({"RUN", "/error=err.txt", "p.orn", "Out=target", "Name=copy"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(ReadFile(Path("target/copy.txt")), "data");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "default"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "not-reached"));
    EXPECT_EQ(o.out, "Information: copied copy\nContinue?\n-> Yes\n");
    EXPECT_EQ(o.err, "");
}

TEST_F(RunModeTest, ErrorPromptAnswersNoAndExitsNonZero) {
    WriteProgram("p.orn", {"DELETEFILE nothing.txt", "MKDIR after"});
    Outcome o = Orn({"RUN", "p.orn"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "Error: Could not delete nothing.txt\nContinue?\nAll = Ignore all errors\n-> No\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "after"));
}

TEST_F(RunModeTest, FailedLinesReachErrorlogInTheStartDirectory) {
    ::setenv("ORN_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
    std::filesystem::create_directories(dir_ / "sub");
    WriteProgram("p.orn", {"CHDIR sub", "DELETEFILE nothing.txt"});
    Outcome o = Orn({"RUN", "p.orn"});
    EXPECT_EQ(o.status, 1);
    const std::string log = ReadFile(Path("errorlog.txt"));
    EXPECT_NE(log.find(" \tpe\tCould not delete nothing.txt\r\n"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "sub" / "errorlog.txt"));
    // Appended, never truncated.
    Orn({"RUN", "p.orn"});
    EXPECT_EQ(ReadFile(Path("errorlog.txt")).size(), 2 * log.size());

    // The switch stored by the error options turns the file output off here too.
    std::filesystem::remove(dir_ / "errorlog.txt");
    TzRegistryIniFile("HKEY_CURRENT_USER\\software\\Tarm\\orn")
        .WriteString("FormErrorOpt-Params", "Error_peLog", "0");
    Orn({"RUN", "p.orn"});
    ::unsetenv("ORN_REGISTRY_DIR");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "errorlog.txt"));
}

TEST_F(RunModeTest, BadParameterArguments) {
    WriteProgram("p.orn", {"GOTO 5"}, "a=1\nb=2");
    Outcome unknown = Orn({"RUN", "p.orn", "c=3"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("(its parameters: a, b)"), std::string::npos);
    EXPECT_EQ(Orn({"RUN", "p.orn", "novalue"}).status, 2);
    EXPECT_EQ(Orn({"RUN", "p.orn", "a=", "b=x=y"}).status, 0);
}

TEST_F(RunModeTest, TheExampleProgramStaysInItsFolder) {
    std::string out = Path("demo-out");
    Outcome o = Orn({"RUN", "examples/files.orn", "OutDir=" + out, "Copies=2"}, ORN_SOURCE_DIR);
    EXPECT_EQ(o.status, 0) << o.err;
    std::vector<std::string> files;
    for (auto& entry : std::filesystem::directory_iterator(out)) {
        files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"copy-2.orn", "first-copy.orn"}));
}

}  // namespace
}  // namespace orn
