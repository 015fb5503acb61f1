// The list of files opened last: order, limits and what survives a store.
#include "shell/recentfiles.h"

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"
#include "settings/IniReadOrder.h"

namespace orn {
namespace {

class RecentFilesTest : public testing::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ::setenv("ORN_REGISTRY_DIR", Path("registry").c_str(), 1);
        ReleaseGlobalIniReadOrder();
    }
    void TearDown() override {
        ReleaseGlobalIniReadOrder();
        ::unsetenv("ORN_REGISTRY_DIR");
        TempDirTest::TearDown();
    }
    using Strings = std::vector<std::string>;
};

TEST_F(RecentFilesTest, NewestFirstWithoutRepeatsAndAtMostEight) {
    TRecentFiles recent;
    recent.Add("/a");
    recent.Add("/b");
    recent.Add("");
    recent.Add("/a");  // opened again: moves to the front, not listed twice
    EXPECT_EQ(recent.Items(), (Strings{"/a", "/b"}));
    for (int i = 0; i < 10; ++i) {
        recent.Add("/f" + std::to_string(i));
    }
    ASSERT_EQ(recent.Items().size(), TRecentFiles::kMaxCount);
    EXPECT_EQ(recent.Items().front(), "/f9");
    EXPECT_EQ(recent.Items().back(), "/f2");
    recent.Remove("/f5");
    recent.Remove("/not listed");
    EXPECT_EQ(recent.Items().size(), TRecentFiles::kMaxCount - 1);
}

TEST_F(RecentFilesTest, AShorterListSavedLeavesNoOldEntriesBehind) {
    TRecentFiles recent;
    for (const char* name : {"/1", "/2", "/3", "/4"}) {
        recent.Add(name);
    }
    recent.Save();
    TRecentFiles shorter;
    shorter.Add("/only");
    shorter.Save();
    ReleaseGlobalIniReadOrder();
    TRecentFiles loaded;
    loaded.Load();
    EXPECT_EQ(loaded.Items(), (Strings{"/only"}));

    // Names with blanks, quotes, "=" and non-ASCII letters come back as they went in; gaps and
    // repeats in the store are skipped.
    const std::string odd = "/tmp/a \"b\" = c/Müller; d.db";
    WriteIniString("", "RecentFiles", "0", odd);
    WriteIniString("", "RecentFiles", "1", "");
    WriteIniString("", "RecentFiles", "2", odd);
    WriteIniString("", "RecentFiles", "3", "/x.orn");
    ReleaseGlobalIniReadOrder();
    loaded.Load();
    EXPECT_EQ(loaded.Items(), (Strings{odd, "/x.orn"}));
}

}  // namespace
}  // namespace orn
