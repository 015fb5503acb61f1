#include "shell/commandline.h"

#include <gtest/gtest.h>

namespace orn {
namespace {

TEST(CommandLineTest, ErrorSwitchIsTakenOutAnywhere) {
    const char* argv[] = {"orn",   "/error=first.txt",          "RUN",
                          "p.orn", "/error=/tmp/e/error=x.txt", "a=1"};
    TCommandLine line = ParseCommandLine(6, argv);
    EXPECT_EQ(line.args, (std::vector<std::string>{"orn", "RUN", "p.orn", "a=1"}));
    EXPECT_TRUE(line.hasErrorFile);
    EXPECT_EQ(line.errorFile, "/tmp/ex.txt");  // the last one, every "/error=" removed
    EXPECT_EQ(line.Arg(1), "RUN");
    EXPECT_EQ(line.Arg(10), "");
}

TEST(CommandLineTest, OnlyAtTheStartOfAnArgument) {
    const char* argv[] = {"orn", "RUN", "x/error=y", ""};
    TCommandLine line = ParseCommandLine(4, argv);
    EXPECT_FALSE(line.hasErrorFile);
    EXPECT_EQ(line.args, (std::vector<std::string>{"orn", "RUN", "x/error=y", ""}));
}

}  // namespace
}  // namespace orn
