#include "workbench/reporterror.h"

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"

namespace orn {
namespace {

class ReportErrorTest : public testing::TempDirTest {
  protected:
    void TearDown() override {
        SetErrorFileName("");
        TempDirTest::TearDown();
    }
    TScriptedDialogs dialogs;
};

TEST_F(ReportErrorTest, AppendsToTheErrorFile) {
    SetErrorFileName(Path("errors.txt"));
    ReportError("INDEX t a\r\nno such table", dialogs);
    ReportError("second", dialogs);
    EXPECT_EQ(ReadFile(Path("errors.txt")), "INDEX t a\r\nno such table\r\nsecond\r\n");
    EXPECT_TRUE(dialogs.Requests().empty());
}

TEST_F(ReportErrorTest, ShowsABoxWithoutOrWithAnUnwritableFile) {
    ReportError("no file", dialogs);
    SetErrorFileName(Path("missing/dir/errors.txt"));
    ReportError("unwritable", dialogs);
    ASSERT_EQ(dialogs.Requests().size(), 2u);
    EXPECT_EQ(dialogs.Requests()[0].text, "no file");
    EXPECT_EQ(dialogs.Requests()[1].kind, DialogKind::Error);
    EXPECT_EQ(dialogs.Requests()[1].text, "unwritable");
}

}  // namespace
}  // namespace orn
