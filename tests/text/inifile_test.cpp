#include "text/inifile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace orn {
namespace {

namespace fs = std::filesystem;

class ProfileFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orn_ini_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    fs::path dir_;
};

TEST(ProfileParseTest, NamesBlanksQuotesComments) {
    TProfileFile p = TProfileFile::Parse(
        "; comment\n[Title]\n  TITLE =  \"My program\"  \n[program]\n0=SQL select 1\n"
        "  ; 1=commented out\n1 = SHOWMESSAGE 'hi'\nnoequals\n2=\"half quoted\n3='x\"\n");
    EXPECT_EQ(p.ReadString("title", "Title"), "My program");
    auto lines = p.ReadSection("PROGRAM");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].key, "0");
    EXPECT_EQ(lines[0].value, "SQL select 1");
    EXPECT_EQ(lines[1].value, "SHOWMESSAGE 'hi'");
    EXPECT_EQ(lines[2].value, "\"half quoted");  // no matching pair: kept
    EXPECT_EQ(lines[3].value, "'x\"");
    EXPECT_FALSE(p.Find("Program", "noequals"));
    EXPECT_EQ(p.ReadString("Missing", "x", "dflt"), "dflt");
    EXPECT_EQ(p.ReadSection("Missing").size(), 0u);
}

TEST(ProfileParseTest, RepeatedKeyYieldsFirstValueAndFirstSectionWins) {
    TProfileFile p = TProfileFile::Parse(
        "[Program]\r\nA=first\r\nb=x\r\na=second\r\n[Program]\r\nc=later section\r\n");
    auto lines = p.ReadSection("Program");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].key, "a");
    EXPECT_EQ(lines[2].value, "first");
    EXPECT_EQ(p.ReadString("program", "A"), "first");
    EXPECT_FALSE(p.Find("Program", "c"));
    EXPECT_EQ(p.SectionNames(), std::vector<std::string>{"Program"});
}

TEST(ProfileParseTest, ValueLimitIsReportedAndFindIsUncut) {
    std::string longValue(3000, 'v');
    TProfileFile p = TProfileFile::Parse("[S]\nk=" + longValue + "\nshort=1\n");
    EXPECT_EQ(p.ReadString("S", "k").size(), kProfileValueLimit);
    EXPECT_EQ(p.Find("S", "k")->size(), 3000u);
    auto entries = p.ReadSection("S");
    EXPECT_TRUE(entries[0].cut);
    EXPECT_FALSE(entries[1].cut);
}

TEST(ProfileParseTest, BinaryGarbageAndBomDoNotBreakParsing) {
    const char raw[] = "\xEF\xBB\xBF[A]\nk=v\n\0\xff\xfe[\n=\n]]]=\x01\n";
    std::string garbage(raw, sizeof raw - 1);
    TProfileFile p = TProfileFile::Parse(garbage);
    EXPECT_EQ(p.ReadString("A", "k"), "v");
    EXPECT_EQ(p.Text().substr(0, 3), "\xEF\xBB\xBF");
}

TEST_F(ProfileFileTest, WriteKeepsOtherContentAndLineEnds) {
    std::string path = Write(
        "p.orn",
        "; keep me\r\n[Title]\r\nTitle=t\r\n\r\n[Params]\r\nx=1\r\n\r\n[Program]\r\n0=GOTO 1\r\n");
    WriteProfileString(path, "params", "X", "2");
    WriteProfileString(path, "Params", "y", "3");
    WriteProfileString(path, "New", "k", "line\nbreak");
    EXPECT_EQ(Read(path),
              "; keep me\r\n[Title]\r\nTitle=t\r\n\r\n[Params]\r\nX=2\r\ny=3\r\n\r\n[Program]\r\n"
              "0=GOTO 1\r\n[New]\r\nk=line break\r\n");
    EXPECT_EQ(ReadProfileString(path, "PARAMS", "x"), "2");
}

TEST_F(ProfileFileTest, DeleteAndErase) {
    std::string path = Write("d.ini", "[A]\nk=1\nK=2\nj=3\n[B]\nz=1\n[a]\nk=4\n");
    TProfileFile p = TProfileFile::Load(path);
    p.DeleteKey("a", "k");
    EXPECT_EQ(p.ReadString("A", "k", "gone"), "gone");
    EXPECT_EQ(p.ReadString("A", "j"), "3");
    p.EraseSection("A");
    EXPECT_FALSE(p.HasSection("a"));
    EXPECT_EQ(p.ReadString("B", "z"), "1");
    p.Save(path);
    EXPECT_EQ(Read(path), "[B]\nz=1\n");
}

TEST_F(ProfileFileTest, MissingFileReadsEmptyAndWriteCreatesIt) {
    std::string path = (dir_ / "new.ini").string();
    EXPECT_EQ(ReadProfileString(path, "S", "k", "d"), "d");
    WriteProfileString(path, "S", "k", "v");
    EXPECT_EQ(Read(path), "[S]\nk=v\n");
}

TEST_F(ProfileFileTest, FailedWriteRaisesAndLeavesNoTemporaryFile) {
    std::string missingDir = (dir_ / "no" / "such" / "p.ini").string();
    try {
        WriteProfileString(missingDir, "S", "k", "v");
        FAIL() << "no exception";
    } catch (const TProfileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + missingDir);
    }
    EXPECT_THROW(WriteProfileString(dir_.string(), "S", "k", "v"), TProfileWriteError);
    EXPECT_THROW(WriteProfileString("/dev/null", "S", "k", "v"), TProfileWriteError);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    std::string ro = Write("ro.ini", "[S]\nk=old\n");
    chmod(ro.c_str(), 0444);  // refused for root too
    EXPECT_THROW(WriteProfileString(ro, "S", "k", "new"), TProfileWriteError);
    EXPECT_EQ(Read(ro), "[S]\nk=old\n");
    int files = 0;
    for (auto& entry : fs::directory_iterator(dir_)) {
        files += entry.path().filename().string().rfind(".ro.ini", 0) == 0;
    }
    EXPECT_EQ(files, 0);
}

TEST_F(ProfileFileTest, WriteKeepsModeAndFollowsSymlink) {
    std::string real = Write("real.ini", "[S]\nk=1\n");
    chmod(real.c_str(), 0640);
    fs::create_symlink(real, dir_ / "link.ini");
    WriteProfileString((dir_ / "link.ini").string(), "S", "k", "2");
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
    EXPECT_EQ(Read(real), "[S]\nk=2\n");
    struct stat st {};
    stat(real.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace orn
