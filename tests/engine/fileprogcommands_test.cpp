#include "engine/FileProgCommands.h"

#include <gtest/gtest.h>

#include "engine/FormCommands.h"
#include "engine_test_support.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

class FileCommandsTest : public testing::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fs::current_path(dir_);
        RegisterFileCommands(program, [this](const std::string& dir, std::string& result) {
            chdirs.push_back(dir);
            result = callbackResult;
        });
    }
    std::string Exec(const std::string& line) {
        std::string result;
        program.ExecuteLine(line, result);
        return result;
    }
    TParamProgram program;
    std::vector<std::string> chdirs;
    std::string callbackResult;
};

TEST_F(FileCommandsTest, ChDirTellsTheHost) {
    fs::create_directory("sub");
    EXPECT_EQ(Exec("CHDIR sub"), "");
    EXPECT_EQ(fs::current_path(), fs::canonical(dir_ / "sub"));
    callbackResult = "host says no";
    EXPECT_EQ(Exec("chdir  /no/such/dir "), "host says no");
    EXPECT_EQ(fs::current_path(), fs::canonical(dir_ / "sub"));  // unchanged
    EXPECT_EQ(chdirs, (std::vector<std::string>{"sub", "/no/such/dir"}));
}

TEST_F(FileCommandsTest, MoveFile) {
    WriteFile("a.txt", "A");
    EXPECT_EQ(Exec("MOVEFILE a.txt , b.txt"), "");
    EXPECT_FALSE(fs::exists("a.txt"));
    EXPECT_EQ(ReadFile(Path("b.txt")), "A");
    EXPECT_EQ(Exec("MOVEFILE b.txt"), "Could not move b.txt to ");
    EXPECT_EQ(Exec("MOVEFILE nothere.txt,c.txt"), "Could not move nothere.txt to c.txt");
    // A move never replaces an existing file.
    WriteFile("c.txt", "C");
    EXPECT_EQ(Exec("MOVEFILE b.txt,c.txt"), "Could not move b.txt to c.txt");
    EXPECT_EQ(ReadFile(Path("c.txt")), "C");
    EXPECT_EQ(ReadFile(Path("b.txt")), "A");
}

TEST_F(FileCommandsTest, CopyFileOverwrites) {
    WriteFile("a.txt", "new");
    WriteFile("b.txt", "old");
    EXPECT_EQ(Exec("COPYFILE a.txt,b.txt"), "");
    EXPECT_EQ(ReadFile(Path("b.txt")), "new");
    EXPECT_EQ(Exec("COPYFILE a.txt,a.txt"), "Could not copy a.txt to a.txt");
    EXPECT_EQ(ReadFile(Path("a.txt")), "new");
    EXPECT_EQ(Exec("COPYFILE missing,x"), "Could not copy missing to x");
    fs::create_directory("d");
    EXPECT_EQ(Exec("COPYFILE d,e"), "Could not copy d to e");
}

TEST_F(FileCommandsTest, DeleteFile) {
    WriteFile("a.txt", "x");
    EXPECT_EQ(Exec("DELETEFILE a.txt"), "");
    EXPECT_FALSE(fs::exists("a.txt"));
    EXPECT_EQ(Exec("DELETEFILE a.txt"), "Could not delete a.txt");
    fs::create_directory("d");
    EXPECT_EQ(Exec("DELETEFILE d"), "Could not delete d");
    EXPECT_TRUE(fs::exists("d"));
}

TEST_F(FileCommandsTest, IfExistsBranches) {
    WriteFile("here.txt", "x");
    fs::create_directory("dir");
    EXPECT_EQ(Exec("IFEXISTS here.txt"), "");
    EXPECT_EQ(Exec("IFEXISTS here.txt!! 4 !!7"), "@goto@4");
    EXPECT_EQ(Exec("IFEXISTS gone.txt"), "@stop@");
    EXPECT_EQ(Exec("IFEXISTS gone.txt!!4!! 0"), "@goto@0");
    // Blanks before "!!" (or at the end of the line) are not part of the name.
    EXPECT_EQ(Exec("IFEXISTS here.txt !! 2 !! 3"), "@goto@2");
    EXPECT_EQ(Exec("IFEXISTS here.txt  "), "");
    EXPECT_EQ(Exec("IFEXISTS gone.txt !! 2 !! 3"), "@goto@3");
    EXPECT_EQ(Exec("IFEXISTS dir"), "@stop@");
    EXPECT_EQ(Exec("IFEXISTS dir!!1!!2"), "@goto@2");
    EXPECT_EQ(Exec("IFEXISTS h*.txt!!1"), "@goto@1");
    EXPECT_EQ(Exec("IFEXISTS her?.txt!!1"), "@goto@1");
    EXPECT_EQ(Exec("IFEXISTS x*.txt!!1"), "@stop@");
    // Only * and ? are wildcards; brackets are part of the name.
    WriteFile("a[1].txt", "x");
    EXPECT_EQ(Exec("IFEXISTS a[1].txt!!1"), "@goto@1");
    EXPECT_EQ(Exec("IFEXISTS a1.txt!!1!!2"), "@goto@2");
    // The text after "!!" is lineYes, so a name holding "!!" cannot be tested.
    WriteFile("odd!!name", "x");
    EXPECT_EQ(Exec("IFEXISTS odd!!name"), "@stop@");
}

TEST_F(FileCommandsTest, MkDirBranches) {
    EXPECT_EQ(Exec("MKDIR a/b/c"), "");
    EXPECT_TRUE(fs::is_directory("a/b/c"));
    EXPECT_EQ(Exec("MKDIR a/b/c!!5!!6"), "@goto@5");
    EXPECT_EQ(Exec("MKDIR out !! 6"), "@goto@6");
    EXPECT_TRUE(fs::is_directory("out"));
    EXPECT_FALSE(fs::exists("out "));
    WriteFile("file", "x");
    EXPECT_EQ(Exec("MKDIR file/sub"), "");  // fails silently without lineNo
    EXPECT_EQ(Exec("MKDIR file/sub!!5!!6"), "@goto@6");
    EXPECT_EQ(Exec("MKDIR file!!5!!6"), "@goto@6");
    std::string result;
    try {
        program.ExecuteLine("MKDIR !!1", result);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unable to create directory");
    }
}

TEST_F(FileCommandsTest, EachRegistrationKeepsItsOwnCallback) {
    TParamProgram other;
    std::vector<std::string> otherDirs;
    RegisterFileCommands(other,
                         [&](const std::string& d, std::string&) { otherDirs.push_back(d); });
    Exec("CHDIR .");
    std::string result;
    other.ExecuteLine("CHDIR ..", result);
    EXPECT_EQ(chdirs, std::vector<std::string>{"."});
    EXPECT_EQ(otherDirs, std::vector<std::string>{".."});
}

}  // namespace
}  // namespace orn
