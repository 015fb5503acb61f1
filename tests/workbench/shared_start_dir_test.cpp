// The files ORN keeps in the start directory or home (error log, the error file of a run,
// comment and SQL history, settings) when someone else planted links at their names in a shared
// directory: nothing goes through those links; the user's own links still work.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "errors/ErrorCom.h"
#include "errors/logfile.h"
#include "text/inifile.h"
#include "workbench/queryhistory.h"
#include "workbench/reporterror.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class SharedStartDir : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "orn_sd_XXXXXX").string();
        dir_ = ::mkdtemp(tmpl.data());
        victim_ = dir_ / "victim.txt";
        std::ofstream(victim_) << "victim";
        shared_ = dir_ / "shared";
        fs::create_directory(shared_);
        ASSERT_EQ(chmod(shared_.c_str(), 01777), 0);
    }
    void TearDown() override {
        SetErrorFileName("");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // A link to the victim at `name` in the shared directory, owned by `uid`.
    fs::path Plant(const std::string& name, uid_t uid) {
        const fs::path link = shared_ / name;
        fs::create_symlink(victim_, link);
        EXPECT_EQ(lchown(link.c_str(), uid, uid), 0);
        return link;
    }
    // Every writer once, at its file `name` in the shared directory.
    void WriteAll() {
        TLogFile log((shared_ / "errors.log").string());
        log.Write("an error");
        SetErrorFileName((shared_ / "run.err").string());
        AppendToErrorFile("a run's error");
        TCommentHistory comments((shared_ / "Comments.txt").string());
        comments.Items = {"a comment"};
        comments.Save();
        try {  // refused with "Unable to write to ..." when the link is not followed
            TQueryHistory history((shared_ / "orn.ini").string());
            history.Add("select * from \"a.db\" where a very long query text follows");
        } catch (const TProfileWriteError&) {
        }
        try {
            WriteProfileString((shared_ / "settings.ini").string(), "S", "K", "V");
        } catch (const TProfileWriteError&) {
        }
    }
    fs::path dir_;
    fs::path victim_;
    fs::path shared_;
};

TEST_F(SharedStartDir, NoWriterGoesThroughSomeoneElsesLink) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making another user's link needs root";
    for (const char* name : {"errors.log", "run.err", "Comments.txt", "orn.ini", "settings.ini"})
        Plant(name, 4343);
    WriteAll();
    EXPECT_EQ(Read(victim_), "victim");
}

TEST_F(SharedStartDir, TheUsersOwnLinksAreFollowed) {
    for (const char* name : {"errors.log", "run.err", "Comments.txt", "orn.ini", "settings.ini"})
        Plant(name, geteuid());
    WriteAll();
    const std::string text = Read(victim_);
    EXPECT_NE(text, "victim");
    EXPECT_NE(text.find("V"), std::string::npos) << "the last writer's text is at the target";
    for (const char* name : {"errors.log", "run.err", "Comments.txt", "orn.ini", "settings.ini"})
        EXPECT_TRUE(fs::is_symlink(shared_ / name)) << name;
}

}  // namespace
}  // namespace orn
