#include "engine/programcommands.h"

#include <gtest/gtest.h>

namespace orn {
namespace {

std::unique_ptr<TProgramCommand> Cmd(const std::string& name, std::string* calls,
                                     const std::string& help = "x") {
    return std::make_unique<TProgramCommand>(
        name,
        [calls, name](const std::string& p, std::string& r) { *calls += name + ":" + p + ";"; },
        help);
}

TEST(ProgramCommandsTest, LookupIgnoresCaseAndFirstRegisteredWins) {
    TProgramCommands table;
    std::string calls;
    table.Add(Cmd("SQL", &calls));
    table.Add(Cmd("sql", &calls, "second"));
    std::string result = "stale";
    for (const char* name : {"sql", "Sql", "SQL"}) {
        table.Execute(name, "p", result);
        EXPECT_EQ(result, "");
    }
    EXPECT_EQ(calls, "SQL:p;SQL:p;SQL:p;");
    EXPECT_EQ(table.GetHelp(), "SQL x\r\nsql second\r\n");
}

TEST(ProgramCommandsTest, UnknownAndEmptyNames) {
    TProgramCommands table;
    std::string result;
    table.Execute("", "", result);
    EXPECT_EQ(result, "Command not found \"\"");
    table.Execute("NoSuch", "args", result);
    EXPECT_EQ(result, "Command not found \"NoSuch\"");
}

TEST(ProgramCommandsTest, HelpAndHandlerlessCommands) {
    TProgramCommands table;
    EXPECT_EQ(table.GetHelp(), "");
    table.Add(std::make_unique<TProgramCommand>("COPY", nullptr, ""));
    table.Add(nullptr);
    EXPECT_EQ(table.Count(), 1u);
    EXPECT_EQ(table.GetHelp(), "COPY \r\n");
    std::string result = "stale";
    table.Execute("copy", "ignored", result);
    EXPECT_EQ(result, "");
}

TEST(ProgramCommandsTest, HandlerExceptionsPassThrough) {
    TProgramCommands table;
    table.Add(std::make_unique<TProgramCommand>(
        "X", [](const std::string&, std::string&) { throw std::runtime_error("bad"); }, ""));
    std::string result;
    EXPECT_THROW(table.Execute("X", "", result), std::runtime_error);
}

}  // namespace
}  // namespace orn
