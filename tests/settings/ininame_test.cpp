#include "settings/IniName.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "settings/zIniStore.h"
#include "settings_fixture.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

class IniNameTest : public test::SettingsFixture {
  protected:
    void SetUp() override {
        SettingsFixture::SetUp();
        saved_ = ProgramFileName();
        progDir_ = root_ + "/prog/";
        SetProgramFileName(progDir_ + "orn");
    }
    void TearDown() override {
        SetProgramFileName(saved_);
        SettingsFixture::TearDown();
    }
    std::string saved_;
    std::string progDir_;
};

TEST_F(IniNameTest, EmptyNameIsTheProgramsIniHereOrBesideTheProgram) {
    EXPECT_EQ(IniFileName("", ".ini"), progDir_ + "orn.ini");
    WriteFile(workDir_ + "/orn.ini", "");
    EXPECT_EQ(IniFileName("", ".ini"), workDir_ + "/orn.ini");
    // A bare extension replaces the default one.
    EXPECT_EQ(IniFileName(".cfg", ".ini"), progDir_ + "orn.cfg");
}

TEST_F(IniNameTest, PathsAndDashAreTakenAsTheyAre) {
    EXPECT_EQ(IniFileName("C:\\x\\y", ".ini"), "C:\\x\\y");
    EXPECT_EQ(IniFileName("/etc/x/y", ".ini"), "/etc/x/y");
    EXPECT_EQ(IniFileName("./.hidden", ".ini"), "./.hidden");
    EXPECT_EQ(IniFileName("-", ".ini"), "");
}

TEST_F(IniNameTest, ExtensionIsAddedOnlyWhenMissing) {
    EXPECT_EQ(IniFileName("zini", ".ini"), progDir_ + "zini.ini");
    EXPECT_EQ(IniFileName("zini.ini", ".ini"), progDir_ + "zini.ini");
    EXPECT_EQ(IniFileName("a.txt", ".ini"), progDir_ + "a.txt");
    WriteFile(workDir_ + "/zini.ini", "");
    EXPECT_EQ(IniFileName("zini.ini", ".ini"), workDir_ + "/zini.ini");
}

TEST_F(IniNameTest, ProgramNameIsCutAtItsFirstDotByAtMostTenCharacters) {
    SetProgramFileName(progDir_ + "orn.exe");
    EXPECT_EQ(IniFileName("", ".ini"), progDir_ + "orn.ini");
    SetProgramFileName(progDir_ + "orn.0123456789abc");
    EXPECT_EQ(IniFileName("", ".ini"), progDir_ + "orn9abc.ini");
}

TEST_F(IniNameTest, FileWritableFollowsThePermissionBits) {
    const std::string f = workDir_ + "/f.ini";
    EXPECT_TRUE(FileWritable(f));  // a missing file carries no read-only mark
    WriteFile(f, "");
    EXPECT_TRUE(FileWritable(f));
    ::chmod(f.c_str(), 0444);
    EXPECT_FALSE(FileWritable(f));
}

TEST_F(IniNameTest, ForceFileDirCreatesFoldersAndIgnoresFailure) {
    ForceFileDir(workDir_ + "/a/b/c/x.ini");
    EXPECT_TRUE(fs::is_directory(workDir_ + "/a/b/c"));
    WriteFile(workDir_ + "/file", "");
    EXPECT_NO_THROW(ForceFileDir(workDir_ + "/file/sub/x.ini"));
    EXPECT_NO_THROW(ForceFileDir("x.ini"));
}

TEST(ParseIniInteger, DecimalAndHexadecimalForms) {
    long long v = 0;
    EXPECT_TRUE(ParseIniInteger(" 12 ", v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ParseIniInteger("0x1F", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(ParseIniInteger("$10", v));
    EXPECT_EQ(v, 16);
    EXPECT_TRUE(ParseIniInteger("-3", v));
    EXPECT_EQ(v, -3);
    for (const char* bad : {"", "x", "1x", "0x", "$", "1.5", "ab"}) {
        EXPECT_FALSE(ParseIniInteger(bad, v)) << bad;
    }
}

}  // namespace
}  // namespace orn
