#pragma once
// Files written in directories that other people may write too (a team's table folder, a shared
// start directory). Anyone who can write such a directory can put a file or a symbolic link at a
// name ORN is about to use, so:
// - every file ORN makes for itself there is created new and exclusively (never through a link
//   or an existing file), under a name of its own per process, and renamed into place;
// - those names ("~orn<pid>-<host>.<n>.<rest>") say which process made them, so that leftovers
//   of a process that was killed can be removed later, and they never end in .db or .dbf;
// - a symbolic link the user did not make is not written through: the rule the kernel applies
//   in sticky directories (follow a link only when it belongs to the user or to the directory's
//   owner);
// - a file that replaces another keeps the permissions and, where the user may set it, the group
//   of the one it replaces.

#include <sys/types.h>

#include <string>
#include <string_view>

struct stat;

namespace orn {

// open(2) with O_CREAT|O_EXCL|O_NOFOLLOW|O_CLOEXEC added to `flags` (O_RDWR or O_WRONLY): fails
// with EEXIST when anything, a link included, has the name. -1 and errno on failure.
int OpenNewFile(const std::string& path, int flags, mode_t mode = 0666);

// A name for a temporary file of this process: "~orn<pid>-<host>.<n>." + rest, with n counting
// up per call.
std::string TempFileName(std::string_view rest);

// True when `name` (a file name, no folder) is a temporary name of an ORN process on this host
// that no longer runs.
bool IsDeadWritersTemp(std::string_view name);

// rename(2) that fails with EEXIST instead of replacing `to`.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Gives the open file `fd` the permission bits and, where the user may, the group of `model`.
void KeepModeAndGroup(int fd, const struct stat& model);

// Whether the symbolic link `link` (with lstat data `linkStat`) may be followed for writing: it
// belongs to the user or to the owner of the directory holding it.
bool MayFollowLink(const std::string& link, const struct stat& linkStat);

// `path` with its symbolic links followed, as far as MayFollowLink allows. Empty when a link may
// not be followed (or loops); `path` itself when it is no link.
std::string FollowOwnLinks(const std::string& path);

// Opens `fileName` for appending (a log), made with `mode` less the umask when missing, following
// links as FollowOwnLinks allows. -1 when it may not be followed or cannot be opened.
int OpenToAppend(const std::string& fileName, mode_t mode = 0666);

// Writes a file the user names (an export, a settings file, a log) in place of the one there.
// The new text goes to a new file beside the target that replaces it in one rename, so a failed
// write keeps the old file whole. What the old file was stays:
// - a symbolic link is followed to its target, as a shell redirection follows it, unless
//   MayFollowLink says no (someone else's link in a shared directory): then nothing is written;
// - permissions and, where the user may set it, the group are kept; a new file gets what any file
//   made there gets (umask, the group of a set-group-id directory);
// - a file with other hard links is rewritten in place, so that every name of it sees the text;
// - devices and pipes are written directly;
// - a file the user may not write, a directory, is refused (IsOpen() is false).
class TFileReplacer {
  public:
    explicit TFileReplacer(const std::string& fileName);
    ~TFileReplacer();  // without Finish(), the old file stays as it was
    TFileReplacer(const TFileReplacer&) = delete;
    TFileReplacer& operator=(const TFileReplacer&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    bool Write(std::string_view text);
    // Makes the text durable and puts it in place; false when any of it failed.
    bool Finish();

  private:
    std::string target_;  // where the text goes, links followed
    std::string temp_;    // the new file beside it; empty when written in place
    int fd_ = -1;
    bool failed_ = false;
};

}  // namespace orn
