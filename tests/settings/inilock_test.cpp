// Processes writing one ini file at once: each read-change-write happens under the file's lock,
// so every key written by either process stays.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "settings/zLocalIniFile.h"
#include "settings_fixture.h"
#include "text/inifile.h"

namespace orn {
namespace {

class IniLockTest : public test::SettingsFixture {
  protected:
    // Runs `write` in a child and in this process at the same time.
    static void InTwoProcesses(const std::function<void(const std::string& who)>& write) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int status = 1;
            try {
                write("child");
                status = 0;
            } catch (...) {
            }
            ::_exit(status);
        }
        write("parent");
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
};

constexpr int kKeys = 100;

TEST_F(IniLockTest, TwoProcessesWritingOneSettingsFileKeepEveryKey) {
    const std::string file = workDir_ + "/shared.ini";
    InTwoProcesses([&](const std::string& who) {
        TzLocalIniFile ini(file, false);
        for (int i = 0; i < kKeys; ++i) {
            ini.WriteString(who, "key" + std::to_string(i), who + std::to_string(i));
        }
    });
    TzLocalIniFile ini(file, true);
    EXPECT_EQ(ini.ReadSectionValues("parent").size(), std::size_t{kKeys});
    EXPECT_EQ(ini.ReadSectionValues("child").size(), std::size_t{kKeys});
    EXPECT_EQ(ini.ReadString("child", "key0", ""), "child0");
    EXPECT_EQ(ini.ReadString("parent", "key99", ""), "parent99");
}

TEST_F(IniLockTest, OneCallWritesOfTwoProcessesKeepEveryKey) {
    const std::string file = workDir_ + "/profile.ini";
    WriteFile(file, "[Start]\nkept=yes\n");
    InTwoProcesses([&](const std::string& who) {
        for (int i = 0; i < kKeys; ++i) {
            WriteProfileString(file, who, "k" + std::to_string(i), std::to_string(i));
        }
    });
    const TProfileFile profile = TProfileFile::Load(file);
    EXPECT_EQ(profile.ReadSection("parent").size(), std::size_t{kKeys});
    EXPECT_EQ(profile.ReadSection("child").size(), std::size_t{kKeys});
    EXPECT_EQ(profile.ReadString("Start", "kept"), "yes");
}

}  // namespace
}  // namespace orn
