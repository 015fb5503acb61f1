#include "workbench/querysession.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "dbengine/storage/paradox_table.h"
#include "engine/engine_test_support.h"
#include "settings/IniReadOrder.h"
#include "workbench/SqlComBDE.h"
#include "workbench/separatorsetting.h"
#include "workbench/tablelocationsetting.h"

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
    EXPECT_EQ(session.OpenProgram("nope.orn"),
              "No programs " + (dir_ / "nope.orn").string() + ": the file does not exist");
}

// The separator box text as stored (settings_isolation.cpp gives each test an empty registry).
std::string StoredSeparator() {
    return ReadIniString("", kSeparatorSection, kSeparatorKey, "<none>");
}

TEST_F(QuerySessionTest, SeparatorSetByAProgramHoldsForTheNextSession) {
    {
        TQuerySession first(view, dir_.string());
        EXPECT_EQ(first.SeparatorText(), "#9");
        EXPECT_EQ(StoredSeparator(), "<none>");  // the default is not written back
        ASSERT_EQ(first.OpenProgram(WriteProgram("p.orn", {"SEPARATOR \"#59\""})), "");
        EXPECT_EQ(first.RunProgram(), RunEnd::Completed);
        EXPECT_EQ(first.SeparatorText(), "#59");
    }
    ReleaseGlobalIniReadOrder();  // the next session reads the stored file afresh
    const std::string registry = std::getenv("ORN_REGISTRY_DIR");
    EXPECT_NE(ReadFile(registry + "/HKEY_CURRENT_USER.reg").find("\"EditSeparator\"=\"#59\""),
              std::string::npos);
    TQuerySession second(view, dir_.string());
    EXPECT_EQ(second.SeparatorText(), "#59");
    EXPECT_EQ(second.GetSeparator(), ";");
}

// The settings' default block size reaches the tables a session creates; a value Paradox does
// not have leaves the engine's own default.
TEST_F(QuerySessionTest, NewParadoxTablesTakeTheBlockSizeOfTheSettings) {
    const auto blockSize = [&](const std::string& name) {
        auto t = db::Table::open(dir_ / name, db::OpenMode::ReadOnly);
        return static_cast<db::paradox::ParadoxTable&>(*t).header().blockSize();
    };
    for (const auto& [setting, bytes] : std::vector<std::pair<std::string, int>>{
             {"16", 16384}, {"1", 1024}, {"3", 4096}, {"x", 4096}, {"16384", 4096}}) {
        WriteIniString("", kNewTableSection, kBlockSizeKey, setting);
        TQuerySession session(view, dir_.string());
        const std::string name = "t" + setting + ".db";
        fs::current_path(dir_);
        ExecStatement("CREATE TABLE \"" + name + "\" (ID INTEGER)");
        EXPECT_EQ(blockSize(name), bytes) << setting;
    }
    db::setDefaultParadoxBlockSize(0);
}

TEST_F(QuerySessionTest, SeparatorIsWrittenOnlyWhenItChanges) {
    SaveSeparatorText("x");
    TQuerySession session(view, dir_.string());
    EXPECT_EQ(session.SeparatorText(), "x");
    SaveSeparatorText("y");         // another window stores a text of its own
    session.SetSeparatorText("x");  // the text loaded: nothing to save
    EXPECT_EQ(StoredSeparator(), "y");
    session.SetSeparatorText("#44");
    EXPECT_EQ(StoredSeparator(), "#44");
    SaveSeparatorText("z");
    session.SetSeparatorText("#44");  // saved last: still no change
    EXPECT_EQ(StoredSeparator(), "z");
}

TEST_F(QuerySessionTest, StoredEmptySeparatorAppliesAndTheAbsentMarkDoesNot) {
    SaveSeparatorText("");
    {
        TQuerySession session(view, dir_.string());
        EXPECT_EQ(session.SeparatorText(), "");
        EXPECT_EQ(session.GetSeparator(), "\t");
    }
    SaveSeparatorText(kNotStored);
    TQuerySession session(view, dir_.string());
    EXPECT_EQ(session.SeparatorText(), "#9");
}

TEST_F(QuerySessionTest, UnreadableStoredSeparatorKeepsTheDefault) {
    SaveSeparatorText("abc");
    const std::string file =
        std::string(std::getenv("ORN_REGISTRY_DIR")) + "/HKEY_CURRENT_USER.reg";
    std::string text = ReadFile(file);
    const auto at = text.find("\"EditSeparator\"=\"abc\"");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 21, "\"EditSeparator\"=dword:00000001");
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    ReleaseGlobalIniReadOrder();
    TQuerySession session(view, dir_.string());
    EXPECT_EQ(session.SeparatorText(), "#9");
}

}  // namespace
}  // namespace orn
