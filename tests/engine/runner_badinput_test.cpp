// Program files and lines a user should never have to write, but might: each gives a clear
// message and neither crashes nor hangs the runner.
#include <gtest/gtest.h>

#include <random>

#include "engine/FormCommands.h"
#include "engine_test_support.h"

namespace orn {
namespace {

using testing::AddTestCommands;
using testing::ScriptedView;

class BadInputTest : public testing::TempDirTest {
  protected:
    BadInputTest() : program(&view) {
        program.AddFlowCommands();
        AddTestCommands(program, trace);
        view.fallback = DialogButton::No;
    }
    std::vector<std::string> ErrorTexts() const { return view.ErrorTexts(); }
    ScriptedView view;
    TParamProgram program;
    std::vector<std::string> trace;
};

TEST_F(BadInputTest, MissingEmptyDirectoryAndBinaryFiles) {
    std::string missing = Path("missing.orn");
    EXPECT_EQ(program.LoadProgram(missing), "No programs " + missing + ": the file does not exist");
    std::string empty = WriteFile("empty.orn", "");
    const std::string noLines = ": the file has no lines in section [Program]";
    EXPECT_EQ(program.LoadProgram(empty), "No programs " + empty + noLines);
    EXPECT_EQ(program.LoadProgram(dir_.string()),
              "No programs " + dir_.string() + ": it is not a regular file");
    EXPECT_EQ(program.LoadProgram("/dev/zero"),  // must not hang
              "No programs /dev/zero: it is not a regular file");
    std::string locked = WriteFile("locked.orn", "[Program]\n0=TRACE a\n");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (access(locked.c_str(), R_OK) != 0) {  // root reads every file
        EXPECT_EQ(program.LoadProgram(locked),
                  "No programs " + locked + ": the file cannot be read");
    }

    std::mt19937 random(42);
    std::string garbage(1 << 16, '\0');
    for (char& c : garbage) {
        c = static_cast<char>(random());
    }
    std::string binary = WriteFile("binary.orn", garbage);
    EXPECT_EQ(program.LoadProgram(binary), "No programs " + binary + noLines);
    EXPECT_EQ(program.Run(), RunEnd::Completed);

    // Garbage inside a real Program section runs as unknown commands and stops at the prompt.
    std::string mixed = WriteFile("mixed.orn", "[Program]\n0=\x01\xff\xfe garbage\n1=TRACE no\n");
    EXPECT_EQ(program.LoadProgram(mixed), "");
    EXPECT_EQ(program.Run(), RunEnd::Failed);
    EXPECT_TRUE(trace.empty());
}

TEST_F(BadInputTest, HundredThousandLines) {
    std::vector<std::string> lines = {"DEBUG 0"};
    for (int i = 1; i < 100000; ++i) {
        lines.push_back("SETVALUE [last]," + std::to_string(i));
    }
    EXPECT_EQ(program.LoadProgram(WriteProgram("big.orn", lines)), "");
    EXPECT_EQ(program.Lines().size(), 100000u);
    EXPECT_EQ(program.Run(), RunEnd::Completed);
    EXPECT_EQ(program.Macros().GetValue("[last]"), "99999");
}

TEST_F(BadInputTest, OverlongLineIsRefusedNotCut) {
    std::string longLine = "TRACE " + std::string(10000, 'x');
    std::string path = WriteProgram("long.orn", {"TRACE first", longLine});
    EXPECT_EQ(program.LoadProgram(path),
              "Program line 1 of " + path + " is longer than 2047 characters");
    EXPECT_TRUE(program.Lines().empty());
    EXPECT_EQ(program.Run(), RunEnd::Completed);
    EXPECT_TRUE(trace.empty());

    std::string fits = "TRACE " + std::string(2000, 'y');
    EXPECT_EQ(program.LoadProgram(WriteProgram("fits.orn", {fits})), "");
    program.Run();
    EXPECT_EQ(trace.at(0).size(), 2000u);
}

TEST_F(BadInputTest, ParametersHoldingTheirOwnPlaceholder) {
    program.LoadProgram(WriteProgram("p.orn", {"TRACE <[x]>", "TRACE [a]|[b]", "TRACE [y]"},
                                     "x=a[x]b\na=[b]\nb=[a]\ny=[y]"));
    EXPECT_EQ(program.Run(), RunEnd::Completed);
    EXPECT_EQ(trace, (std::vector<std::string>{"<a[x]b>", "[a]|[a]", "[y]"}));
}

TEST_F(BadInputTest, MacroThatNamesItselfGivesAClearError) {
    EXPECT_EQ(program.LoadProgram(
                  WriteProgram("m.orn", {"SETVALUE [m],x[m]", "TRACE [m]", "TRACE after"})),
              "");
    EXPECT_EQ(program.Run(), RunEnd::Failed);
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(ErrorTexts()[0].rfind("Macro expansion does not end", 0), 0u);
    EXPECT_TRUE(trace.empty());
}

TEST_F(BadInputTest, GotoTargetsOutOfRangeOrNotNumbers) {
    program.LoadProgram(WriteProgram(
        "g.orn", {"GOTO abc", "TRACE 1", "GOTO 1.5", "TRACE 3", "GOTO 99999999999999999999",
                  "TRACE 5", "GOTO +99999999999999999999", "TRACE 7", "GOTO 2147483647"}));
    EXPECT_EQ(program.Run(), RunEnd::Completed);
    // Non-numbers continue; a relative jump with an unreadable count moves by one.
    EXPECT_EQ(trace, (std::vector<std::string>{"1", "3", "5", "7"}));
    EXPECT_TRUE(view.requests.empty());

    // A jump before the first line starts again at line 0.
    trace.clear();
    int shown = 0;
    view.onProcess = [&] {
        if (++shown == 4) {
            program.Stop();
        }
    };
    program.LoadProgram(WriteProgram("neg.orn", {"TRACE top", "GOTO -99"}));
    EXPECT_EQ(program.Run(), RunEnd::StopRequested);
    EXPECT_EQ(trace, (std::vector<std::string>{"top", "top"}));
}

}  // namespace
}  // namespace orn
