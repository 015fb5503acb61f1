// Files made and replaced in directories others may write: exclusive creation, temporary names
// that tell a dead writer's leftovers from a live one's, and the rule for following links.
#include "text/safefile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
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

// Writers of files the user names, in a sticky team directory where another user planted links
// at the names they use: nothing is written through those links. Needs root to plant them.
TEST_F(SafeFile, NoFileTheUserNamesIsWrittenThroughSomeoneElsesLink) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making another user's link needs root";
    const fs::path shared = dir_ / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    for (const char* name : {"export.txt", "orn.log", "settings.ini"}) {
        fs::create_symlink(victim_, shared / name);
        ASSERT_EQ(lchown((shared / name).c_str(), 4343, 4343), 0);
    }
    {
        TFileReplacer out((shared / "export.txt").string());
        EXPECT_FALSE(out.IsOpen());
        EXPECT_FALSE(out.Write("x"));
        EXPECT_FALSE(out.Finish());
    }
    errno = 0;
    EXPECT_LT(OpenToAppend((shared / "orn.log").string()), 0);
    EXPECT_EQ(Read(victim_), "victim");
    EXPECT_TRUE(fs::is_symlink(shared / "export.txt"));
}

// A file the user may not write is refused whole, and its text stays; checked as an ordinary
// user (root may write anything).
TEST_F(SafeFile, AFileTheUserMayNotWriteIsRefused) {
    const fs::path ro = dir_ / "ro.txt";
    std::ofstream(ro) << "old";
    ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        TFileReplacer out(ro.string());
        const bool refused = !out.IsOpen() && !out.Finish();
        const int fd = OpenToAppend(ro.string());
        _exit(refused && fd < 0 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Read(ro), "old");
}

// What replaces a file keeps its mode and group, and the text arrives whole or not at all.
TEST_F(SafeFile, AReplacedFileKeepsItsModeAndGroup) {
    const fs::path file = dir_ / "private.txt";
    std::ofstream(file) << "old";
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    const gid_t group = geteuid() == 0 ? before.st_gid + 4242 : before.st_gid;
    ASSERT_EQ(chown(file.c_str(), static_cast<uid_t>(-1), group), 0);
    {
        TFileReplacer out(file.string());
        ASSERT_TRUE(out.IsOpen());
        ASSERT_TRUE(out.Write("new"));
        EXPECT_EQ(Read(file), "old") << "nothing shows before Finish";
        ASSERT_TRUE(out.Finish());
    }
    struct stat after {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_gid, group);
    EXPECT_EQ(Read(file), "new");
    {
        TFileReplacer abandoned(file.string());
        ASSERT_TRUE(abandoned.Write("lost"));
    }
    EXPECT_EQ(Read(file), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2)
        << "no temporary is left";
}

}  // namespace
}  // namespace orn
