// Long work reports progress and stops when asked: exports and saved tables leave the old file,
// pasted and imported rows already stored stay and are counted.
#include "text/progress.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dbengine/dataset/query.h"
#include "workbench/SqlComBDE.h"
#include "workbench/importtext.h"
#include "workbench/textexchange.h"
#include "workbench_test_support.h"

namespace orn {
namespace {

// Answers "stop" once a task reaches `stopAt` units; remembers what it was told.
class StoppingProgress : public TProgress {
  public:
    explicit StoppingProgress(std::int64_t stopAt) : stopAt_(stopAt) {}
    bool Step(const std::string& task, std::int64_t done, std::int64_t total) override {
        tasks.push_back(task);
        lastTotal = total;
        return done < stopAt_;
    }
    void Finish(const std::string&) override { ++finished; }
    std::vector<std::string> tasks;
    std::int64_t lastTotal = -1;
    int finished = 0;

  private:
    std::int64_t stopAt_;
};

class ProgressTest : public testing::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::filesystem::current_path(dir_);
        testing::MakePeople(dir_, 1200);
        query_.setSql("select * from people");
        query_.open();
    }
    std::string Slurp(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool OnlyExpectedFiles() {
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            const std::string n = e.path().filename().string();
            if (n.find(".tmp") != std::string::npos || n.find("~") != std::string::npos) {
                return false;
            }
        }
        return true;
    }
    db::Query query_{{}, true};
};

TEST_F(ProgressTest, CancelledExportKeepsTheOldFile) {
    WriteFile("out.txt", "old contents");
    StoppingProgress progress(1000);
    {
        TProgressScope scope(progress);
        EXPECT_EQ(SaveAsText(query_, "out.txt", "\t"), "Cancelled: out.txt was not written");
    }
    EXPECT_EQ(Slurp("out.txt"), "old contents");
    EXPECT_TRUE(OnlyExpectedFiles());
    EXPECT_EQ(progress.finished, 1);
    ASSERT_FALSE(progress.tasks.empty());
    EXPECT_EQ(progress.tasks[0], "Saving out.txt");
    // Without a reporter installed nothing stops the export.
    EXPECT_EQ(SaveAsText(query_, "out.txt", "\t"), "");
    EXPECT_NE(Slurp("out.txt"), "old contents");
}

TEST_F(ProgressTest, CancelledSaveAsKeepsTheOldTable) {
    TScriptedDialogs dialogs;
    ASSERT_TRUE(SaveResultAsTable(query_, "copy.dbf", dialogs));
    StoppingProgress progress(500);
    query_.close();
    query_.setSql("select * from people where ID <= 1100");
    query_.open();
    {
        TProgressScope scope(progress);
        EXPECT_FALSE(SaveResultAsTable(query_, "copy.dbf", dialogs));
    }
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].text, "Cancelled: copy.dbf was not saved");
    EXPECT_EQ(testing::ReadAll(dir_ / "copy.dbf").size(), 1200u);
    EXPECT_TRUE(OnlyExpectedFiles());
}

TEST_F(ProgressTest, CancelledPasteKeepsAndCountsTheStoredRows) {
    TMemoryClipboard clipboard;
    std::string text;
    for (int i = 0; i < 1200; ++i) {
        text += std::to_string(5000 + i) + "\tp" + std::to_string(i) + "\t1\r\n";
    }
    clipboard.SetText(text);
    StoppingProgress progress(1000);
    {
        TProgressScope scope(progress);
        EXPECT_EQ(PasteFromClipboard(query_, "\t", clipboard),
                  "Paste cancelled: 999 of 1200 rows were pasted");
    }
    EXPECT_EQ(progress.lastTotal, 1200);
    query_.close();
    EXPECT_EQ(testing::ReadAll(dir_ / "people.dbf").size(), 1200u + 999u);
}

TEST_F(ProgressTest, CancelledReadKeepsAndCountsTheStoredRows) {
    query_.close();
    std::string text = "ID,NAME,SCORE\n";
    for (int i = 0; i < 1200; ++i) {
        text += std::to_string(5000 + i) + ",r" + std::to_string(i) + ",2\n";
    }
    WriteFile("in.txt", text);
    TScriptedDialogs dialogs;
    StoppingProgress progress(500);
    {
        TProgressScope scope(progress);
        EXPECT_EQ(ImportText("people", "in.txt", ',', dialogs),
                  "Import cancelled: 499 rows of in.txt were stored");
    }
    EXPECT_EQ(testing::ReadAll(dir_ / "people.dbf").size(), 1200u + 499u);
}

TEST(TerminalProgress, PrintsNothingWhenStandardErrorIsNoTerminal) {
    ::testing::internal::CaptureStderr();
    {
        TTerminalProgress progress(0);
        TProgressScope scope(progress);
        TProgressTicker ticker("Saving x", 10, 1);
        for (int i = 0; i < 10; ++i) {
            EXPECT_TRUE(ticker.Tick());
        }
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace orn
