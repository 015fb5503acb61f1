#include <gtest/gtest.h>

#include "engine/FileProgCommands.h"
#include "engine/FormCommands.h"
#include "engine_test_support.h"
#include "text/separators.h"

namespace orn {
namespace {

using testing::AddTestCommands;
using testing::ScriptedView;

class RunnerTest : public testing::TempDirTest {
  protected:
    RunnerTest() : program(&view) {
        program.AddDecimalCommand();
        program.AddFlowCommands();
        AddTestCommands(program, trace);
    }
    RunEnd RunLines(const std::vector<std::string>& lines, const std::string& params = "") {
        std::string message = program.LoadProgram(WriteProgram("p.orn", lines, params));
        EXPECT_EQ(message, "");
        return program.Run();
    }
    std::vector<std::string> ErrorTexts() const { return view.ErrorTexts(); }
    ScriptedView view;
    TParamProgram program;
    std::vector<std::string> trace;
};

TEST_F(RunnerTest, LoadsTitleLinesAndReportsEmptyPrograms) {
    std::string path = WriteProgram("p.orn", {"TRACE a", "TRACE b"}, "", "My title");
    EXPECT_EQ(program.LoadProgram(path), "");
    EXPECT_EQ(program.TitleStr(), "My title");
    EXPECT_EQ(program.Lines(), (std::vector<std::string>{"0=TRACE a", "1=TRACE b"}));

    std::string empty = WriteProgram("empty.orn", {});
    EXPECT_EQ(program.LoadProgram(empty),
              "No programs " + empty + ": the file has no lines in section [Program]");
    EXPECT_TRUE(program.Lines().empty());
    EXPECT_EQ(program.Run(), RunEnd::Completed);
    EXPECT_TRUE(view.requests.empty());

    std::filesystem::current_path(dir_);
    EXPECT_EQ(program.LoadProgram("p.orn"), "");  // a bare name is taken from the current folder
    EXPECT_EQ(program.LoadProgram("missing.orn"),
              "No programs missing.orn: the file does not exist");
    EXPECT_TRUE(view.warnings.empty());
}

TEST_F(RunnerTest, LinesThatDoNotRunAsNumberedAreWarnedOnce) {
    std::string path = WriteFile("odd.orn",
                                 "[Program]\n0=TRACE a\nTRACE lost\n; a comment\n\n1=TRACE b\n"
                                 "oops too\n2=GOTO 1\n");
    EXPECT_EQ(program.LoadProgram(path), "");
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_EQ(view.warnings[0], "Program " + path +
                                    ": 2 lines of section [Program] without \"=\" will not run "
                                    "(the first: \"TRACE lost\"), and the lines after it move up");
    // The lines run as loaded: the stray lines are gone, the rest keep their rule.
    EXPECT_EQ(program.Lines().size(), 3u);

    view.warnings.clear();
    path = WriteFile("keys.orn", "[Program]\n0=TRACE a\n1=TRACE b\n5=TRACE c\n2=TRACE d\n");
    EXPECT_EQ(program.LoadProgram(path), "");
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_EQ(view.warnings[0], "Program " + path +
                                    ": the keys of section [Program] are not 0, 1, 2, ... in "
                                    "order (line 2 has the key \"5\"); GOTO and the !! branches "
                                    "count lines from 0, not keys");

    view.warnings.clear();
    path = WriteFile("both.orn", "[Program]\nstray\n1=TRACE b\n");
    EXPECT_EQ(program.LoadProgram(path), "");
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_NE(view.warnings[0].find("without \"=\""), std::string::npos);
    EXPECT_NE(view.warnings[0].find("\r\nProgram " + path + ": the keys"), std::string::npos);

    view.warnings.clear();
    EXPECT_EQ(program.LoadProgram(WriteProgram("fine.orn", {"TRACE a", "TRACE b"})), "");
    EXPECT_TRUE(view.warnings.empty());
}

TEST_F(RunnerTest, EveryFailingLineReachesTheLineErrorHook) {
    std::vector<std::string> failed;
    program.OnLineError = [&](const std::string& text) { failed.push_back(text); };
    view.answers = {DialogButton::All};
    RunLines({"NOSUCH one", "TRACE ok", "NOSUCH two", "GOTO 9"});
    EXPECT_EQ(failed, (std::vector<std::string>{"Command not found \"NOSUCH\"",
                                                "Command not found \"NOSUCH\""}));
    EXPECT_EQ(ErrorTexts().size(), 1u);  // All: the second error is not asked about
}

TEST_F(RunnerTest, EmptyLineIsAnUnknownCommand) {
    view.fallback = DialogButton::Yes;
    RunLines({"", "TRACE after"});
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(ErrorTexts()[0], "Command not found \"\"\r\nContinue?\r\nAll = Ignore all errors");
    EXPECT_EQ(trace, std::vector<std::string>{"after"});
    EXPECT_EQ(view.requests[0].buttons,
              (std::vector<DialogButton>{DialogButton::Yes, DialogButton::No, DialogButton::All}));
}

TEST_F(RunnerTest, ErrorPromptNoEndsTheRunAsFailed) {
    view.answers = {DialogButton::No};
    EXPECT_EQ(RunLines({"FAIL x", "TRACE never"}), RunEnd::Failed);
    EXPECT_TRUE(trace.empty());
    EXPECT_EQ(ErrorTexts()[0].substr(0, 8), "failed x");
}

TEST_F(RunnerTest, ExceptionsBecomeErrorPrompts) {
    view.fallback = DialogButton::Yes;
    EXPECT_EQ(RunLines({"THROW now", "TRACE next"}), RunEnd::Completed);
    EXPECT_EQ(ErrorTexts()[0].substr(0, 8), "boom now");
    EXPECT_EQ(trace, std::vector<std::string>{"next"});
}

TEST_F(RunnerTest, AllIgnoresErrorsForOneRunOnly) {
    view.answers = {DialogButton::All};
    view.fallback = DialogButton::Yes;
    RunLines({"FAIL 1", "FAIL 2", "TRACE done"});
    EXPECT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(program.Run(), RunEnd::Completed);
    EXPECT_EQ(ErrorTexts().size(), 3u);
}

TEST_F(RunnerTest, Jumps) {
    view.fallback = DialogButton::Yes;
    // 0 1 2 ... ; GOTO 99 ends silently
    EXPECT_EQ(RunLines({"TRACE 0", "GOTO 3", "TRACE skipped", "TRACE 3", "GOTO 99", "TRACE no"}),
              RunEnd::Completed);
    EXPECT_EQ(trace, (std::vector<std::string>{"0", "3"}));
    EXPECT_TRUE(view.requests.empty());

    trace.clear();
    RunLines({"GOTO x", "TRACE a", "GOTO +x", "TRACE b", "GOTO", "TRACE c", "GOTO +2", "TRACE no",
              "TRACE d"});
    EXPECT_EQ(trace, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(view.requests.empty());
}

TEST_F(RunnerTest, RelativeBackwardJumpRepeatsThePreviousLine) {
    // GOTO -x goes back to the SHOWMESSAGE line, which is answered No the second time.
    view.answers = {DialogButton::Yes, DialogButton::No};
    RunLines({"SHOWMESSAGE m!!!!3", "GOTO -x", "TRACE no", "TRACE end"});
    EXPECT_EQ(trace, std::vector<std::string>{"end"});
    EXPECT_EQ(view.requests.size(), 2u);

    trace.clear();
    program.SetMacroValue("[n]", "a");
    RunLines({"TRACE [n]", "IFGOTO [n],b,+3", "SETVALUE [n],b", "GOTO -3", "TRACE end"});
    EXPECT_EQ(trace, (std::vector<std::string>{"a", "b", "end"}));
}

TEST_F(RunnerTest, IfGotoComparesExactly) {
    RunLines({"IFGOTO a,A,3", "TRACE not equal", "IFGOTO a,a,", "TRACE empty target",
              "IFGOTO  x , x ,6,ignored", "TRACE no", "TRACE jumped"});
    EXPECT_EQ(trace, (std::vector<std::string>{"not equal", "empty target", "jumped"}));
}

TEST_F(RunnerTest, ShowMessageBranches) {
    view.answers = {DialogButton::Yes};
    EXPECT_EQ(RunLines({"SHOWMESSAGE hello", "TRACE yes"}), RunEnd::Completed);
    EXPECT_EQ(view.requests[0].text, "hello\r\nContinue?");
    EXPECT_EQ(view.requests[0].kind, DialogKind::Information);

    view.answers = {DialogButton::No};
    trace.clear();
    EXPECT_EQ(RunLines({"SHOWMESSAGE hello", "TRACE yes"}), RunEnd::StopResult);
    EXPECT_TRUE(trace.empty());

    std::vector<std::string> lines = {"SHOWMESSAGE  m !! !! 3 ", "TRACE yes", "GOTO 9", "TRACE no"};
    view.answers = {DialogButton::Yes};
    trace.clear();
    RunLines(lines);
    EXPECT_EQ(trace, std::vector<std::string>{"yes"});
    EXPECT_EQ(view.requests.back().text, "m \r\nContinue?");  // message is not trimmed
    view.answers = {DialogButton::None};                      // closed: the No branch
    trace.clear();
    RunLines(lines);
    EXPECT_EQ(trace, std::vector<std::string>{"no"});
}

TEST_F(RunnerTest, SetValueNameIsNotSubstituted) {
    RunLines({"SETVALUE [p],from setvalue", "TRACE [p]"}, "p=param");
    // The parameter replaces "[p]" before macro expansion, so TRACE sees the parameter.
    EXPECT_EQ(trace, std::vector<std::string>{"param"});
    EXPECT_EQ(program.Macros().GetValue("[p]"), "from setvalue");

    trace.clear();
    RunLines({"setvalue [p],lower", "TRACE done"}, "p=param");
    // Lower case still runs SETVALUE, but its name was substituted like the rest of the line.
    EXPECT_EQ(program.Macros().GetValue("param"), "lower");
}

TEST_F(RunnerTest, EmptyParameterRemovesPlaceholders) {
    RunLines({"TRACE a[e]b[e]c"}, "e=");
    EXPECT_EQ(trace, std::vector<std::string>{"abc"});
}

TEST_F(RunnerTest, StatusLineAndStop) {
    int shown = 0;
    view.onProcess = [&] {
        if (++shown == 5) {
            program.Stop();
        }
    };
    EXPECT_EQ(RunLines({"TRACE x", "GOTO 0"}), RunEnd::StopRequested);
    EXPECT_EQ(view.statuses.size(), 5u);
    EXPECT_EQ(view.statuses[0], "TRACE x");
    EXPECT_EQ(view.statuses[1], "GOTO 0");
    EXPECT_EQ(view.hidden, 1);
    EXPECT_TRUE(program.Stopped());
    view.onProcess = nullptr;
    RunLines({"TRACE y"});
    EXPECT_FALSE(program.Stopped());
}

TEST_F(RunnerTest, DebugLevels) {
    RunLines({"DEBUG", "TRACE quiet"});
    EXPECT_EQ(program.Debug(), 0);
    EXPECT_EQ(view.statuses.size(), 1u);  // only the DEBUG line itself was shown

    // Level 2: a dialog before each line; All turns them off and keeps the status line.
    view.statuses.clear();
    view.answers = {DialogButton::OK, DialogButton::All};
    RunLines({"DEBUG 2", "TRACE one", "TRACE two", "TRACE three"});
    EXPECT_EQ(view.requests.size(), 2u);
    EXPECT_EQ(view.requests[0].text, "1=TRACE one\r\nTRACE one\r\nContinue?");
    EXPECT_EQ(program.Debug(), 1);
    EXPECT_EQ(view.statuses.size(), 3u);  // DEBUG 2 ran at level 0, then 3 lines at level 1

    view.requests.clear();
    program.SetDebug(2);
    view.answers = {DialogButton::Cancel};
    trace.clear();
    EXPECT_EQ(RunLines({"TRACE x", "GOTO 0"}), RunEnd::DebugCancelled);
    EXPECT_TRUE(trace.empty());
}

TEST_F(RunnerTest, DecimalCommand) {
    char before = DecimalSeparator();
    ForgetRememberedDecimalSeparator();
    RunLines({"DECIMAL ,", "DECIMAL ;"});
    EXPECT_EQ(DecimalSeparator(), ';');
    RunLines({"DECIMAL"});
    EXPECT_EQ(DecimalSeparator(), before);

    // A character of more than one byte is refused whole, and the separator stays.
    view.fallback = DialogButton::Yes;
    RunLines({"DECIMAL \u00b7", "DECIMAL \u20ac5"});
    EXPECT_EQ(DecimalSeparator(), before);
    EXPECT_EQ(ErrorTexts(),
              (std::vector<std::string>{
                  "DECIMAL takes a separator of one plain character such as . or , (\"\u00b7\" is "
                  "not one)\r\nContinue?\r\nAll = Ignore all errors",
                  "DECIMAL takes a separator of one plain character such as . or , (\"\u20ac\" is "
                  "not one)\r\nContinue?\r\nAll = Ignore all errors"}));
    ForgetRememberedDecimalSeparator();
}

TEST_F(RunnerTest, MacrosAndEnvironmentAreExpanded) {
    setenv("ORN_RUNNER_ENV", "env", 1);
    RunLines({"SETVALUE [v],value", "TRACE [v]-%ORN_RUNNER_ENV%",
              "TRACE like '%%son%%' %orn_runner_env%"});
    // %% is one percent sign; environment names are case-sensitive.
    EXPECT_EQ(trace, (std::vector<std::string>{"value-env", "like '%son%'"}));
}

TEST_F(RunnerTest, HelpListsCommandsInRegistrationOrder) {
    TParamProgram host(&view);
    host.AddDecimalCommand();
    RegisterFileCommands(host, nullptr);
    host.AddFlowCommands();
    EXPECT_EQ(host.Help(),
              "DEBUG [level] (0=no,1=status,2=full)\r\nSETVALUE name,value\r\n"
              "DECIMAL [decimalchar]\r\nCHDIR dirname\r\nMOVEFILE filename,newfilename\r\n"
              "COPYFILE filename,newfilename\r\nDELETEFILE filename\r\n"
              "IFEXISTS filename[!!lineYes[!!lineNo]]\r\nMKDIR dirname[!!lineYes[!!lineNo]]\r\n"
              "SHOWMESSAGE message[!!lineYes[!!lineNo]]\r\nIFGOTO str1,str2,line\r\nGOTO line\r\n");
    host.ShowHelp();
    host.ShowHelp();
    ASSERT_EQ(view.helpWindows.size(), 2u);
    EXPECT_EQ(view.helpWindows[0].first, "Program commands");
    EXPECT_EQ(view.helpWindows[0].second, host.Help() + "\r\n" + ProgramLineNotes());
    EXPECT_NE(ProgramLineNotes().find("%%"), std::string::npos);
}

TEST_F(RunnerTest, NoReentrantRunOrLoad) {
    std::string path = WriteProgram("p.orn", {"TRACE a", "TRACE b"});
    program.LoadProgram(path);
    RunEnd inner = RunEnd::Completed;
    std::string loadMessage;
    view.onProcess = [&] {
        inner = program.Run();
        loadMessage = program.LoadProgram(path);
    };
    EXPECT_EQ(program.Run(), RunEnd::Completed);
    EXPECT_EQ(inner, RunEnd::Busy);
    EXPECT_FALSE(loadMessage.empty());
    EXPECT_EQ(trace, (std::vector<std::string>{"a", "b"}));
}

TEST_F(RunnerTest, SilentWithoutView) {
    TParamProgram bare;
    bare.AddFlowCommands();
    std::string path = WriteProgram("p.orn", {"SHOWMESSAGE hi", "SETVALUE x,1"});
    EXPECT_EQ(bare.LoadProgram(path), "");
    EXPECT_EQ(bare.Run(), RunEnd::StopResult);  // a closed dialog takes the No branch
    EXPECT_EQ(bare.Macros().IndexOf("x"), -1);
}

}  // namespace
}  // namespace orn
