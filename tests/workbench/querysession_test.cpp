#include "workbench/querysession.h"

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

class QuerySessionTest : public testing::TempDirTest {
  protected:
    testing::ScriptedView view;
};

TEST_F(QuerySessionTest, RegistersCommandsInHelpOrder) {
    TQuerySession session(view, dir_.string());
    std::vector<std::string> names;
    for (std::size_t i = 0; i < session.Program().Commands().Count(); ++i) {
        names.push_back(session.Program().Commands().At(i).Name());
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  "DEBUG",      "SETVALUE",     "SQL",   "SAVE",        "EXEC",     "FORMAT",
                  "SAVEAS",     "COPY",         "INDEX", "CHANGE",      "READ",     "SEPARATOR",
                  "DECIMAL",    "UPDATEMACROS", "EXIT",  "CHDIR",       "MOVEFILE", "COPYFILE",
                  "DELETEFILE", "IFEXISTS",     "MKDIR", "SHOWMESSAGE", "IFGOTO",   "GOTO"}));
}

TEST_F(QuerySessionTest, RunStartsInTheSqlDirectoryAndChdirMovesBothDirectories) {
    fs::create_directories(dir_ / "data" / "sub");
    TQuerySession session(view, (dir_ / "data").string());
    std::string program = WriteProgram(
        "p.orn", {"MKDIR made", "CHDIR sub", "MKDIR inner", "CHDIR ..", "CHDIR nowhere"});
    view.fallback = DialogButton::No;
    EXPECT_EQ(session.OpenProgram(program), "");
    EXPECT_EQ(session.RunProgram(), RunEnd::Failed);
    EXPECT_TRUE(fs::is_directory(dir_ / "data" / "made"));
    EXPECT_TRUE(fs::is_directory(dir_ / "data" / "sub" / "inner"));
    ASSERT_EQ(view.requests.size(), 1u);
    EXPECT_EQ(view.requests[0].text.rfind("Could not change directory to nowhere", 0), 0u);
    EXPECT_EQ(session.SqlDirectory(), fs::canonical(dir_ / "data").string());
    EXPECT_EQ(session.ProgramDirectory(), session.SqlDirectory());
    EXPECT_EQ(fs::current_path(), fs::canonical(dir_ / "data"));
}

TEST_F(QuerySessionTest, OpenProgramResolvesRelativeNamesAgainstTheCurrentDirectory) {
    WriteProgram("rel.orn", {"GOTO 1"});
    fs::current_path(dir_);
    TQuerySession session(view);
    EXPECT_EQ(session.OpenProgram("rel.orn"), "");
    EXPECT_EQ(session.OpenProgram("nope.orn"), "No programs " + (dir_ / "nope.orn").string());
}

}  // namespace
}  // namespace orn
