// Files made and replaced in directories others may write: exclusive creation, temporary names
// that tell a dead writer's leftovers from a live one's, and the rule for following links.
#include "text/safefile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace orn {
namespace {

namespace fs = std::filesystem;

class SafeFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "orn_sf_XXXXXX").string();
        dir_ = ::mkdtemp(tmpl.data());
        victim_ = dir_ / "victim.txt";
        std::ofstream(victim_) << "victim";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
    fs::path victim_;
};

TEST_F(SafeFile, ANewFileIsNeverMadeThroughALinkOrOverAFile) {
    fs::create_symlink(victim_, dir_ / "link");
    fs::create_symlink(dir_ / "missing", dir_ / "dangling");
    for (const char* name : {"link", "dangling", "victim.txt"}) {
        errno = 0;
        EXPECT_LT(OpenNewFile((dir_ / name).string(), O_RDWR), 0) << name;
        EXPECT_EQ(errno, EEXIST) << name;
    }
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
    EXPECT_EQ(Read(victim_), "victim");
    const int fd = OpenNewFile((dir_ / "fresh").string(), O_RDWR);
    ASSERT_GE(fd, 0);
    ::close(fd);
}

TEST_F(SafeFile, TemporaryNamesTellADeadWriterFromALiveOne) {
    const std::string mine = TempFileName("t.db.tmp");
    EXPECT_NE(TempFileName("t.db.tmp"), mine);
    EXPECT_FALSE(IsDeadWritersTemp(mine)) << "this process runs";

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        const std::string name = TempFileName("t.db.tmp");
        (void)!write(ready[1], name.data(), name.size());
        pause();
        _exit(0);
    }
    char buf[256] = {};
    const ssize_t n = read(ready[0], buf, sizeof buf - 1);
    ASSERT_GT(n, 0);
    const std::string childs(buf, static_cast<std::size_t>(n));
    EXPECT_FALSE(IsDeadWritersTemp(childs)) << "the child still runs";
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(IsDeadWritersTemp(childs));
    ::close(ready[0]);
    ::close(ready[1]);

    // Names of other hosts and names that only look alike are never taken for leftovers.
    std::string otherHost = childs;
    otherHost[otherHost.find('-') + 1] ^= 1;
    EXPECT_FALSE(IsDeadWritersTemp(otherHost));
    EXPECT_FALSE(IsDeadWritersTemp("~ornt.db"));
    EXPECT_FALSE(IsDeadWritersTemp("~orn" + std::to_string(child) + "-x.db"));
    EXPECT_FALSE(IsDeadWritersTemp("t.db"));
}

TEST_F(SafeFile, RenameNoReplaceLeavesAnExistingName) {
    std::ofstream(dir_ / "a") << "a";
    std::ofstream(dir_ / "b") << "b";
    EXPECT_FALSE(RenameNoReplace((dir_ / "a").string(), (dir_ / "b").string()));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(Read(dir_ / "b"), "b");
    EXPECT_TRUE(RenameNoReplace((dir_ / "a").string(), (dir_ / "c").string()));
    EXPECT_EQ(Read(dir_ / "c"), "a");
}

// The user's own links are followed; a link that belongs to someone who owns neither it nor the
// directory is not. Making a link another user owns needs root.
TEST_F(SafeFile, OnlyLinksOfTheUserOrTheDirectorysOwnerAreFollowed) {
    fs::create_symlink("victim.txt", dir_ / "own");
    fs::create_symlink(dir_ / "own", dir_ / "chain");
    EXPECT_EQ(fs::path(FollowOwnLinks((dir_ / "chain").string())), dir_ / "victim.txt");
    EXPECT_EQ(FollowOwnLinks((dir_ / "plain").string()), (dir_ / "plain").string());
    fs::create_symlink(dir_ / "loop", dir_ / "loop");
    EXPECT_EQ(FollowOwnLinks((dir_ / "loop").string()), "");
    if (geteuid() != 0)
        GTEST_SKIP() << "making another user's link needs root";
    const fs::path shared = dir_ / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(chown(shared.c_str(), 4242, 4242), 0);  // a team directory someone else owns
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    fs::create_symlink(victim_, shared / "planted");
    ASSERT_EQ(lchown((shared / "planted").c_str(), 4343, 4343), 0);
    fs::create_symlink(victim_, shared / "owners");
    ASSERT_EQ(lchown((shared / "owners").c_str(), 4242, 4242), 0);
    EXPECT_EQ(FollowOwnLinks((shared / "planted").string()), "");
    EXPECT_EQ(fs::path(FollowOwnLinks((shared / "owners").string())), victim_);
}

}  // namespace
}  // namespace orn
