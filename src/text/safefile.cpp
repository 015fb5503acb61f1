#include "text/safefile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace orn {

namespace {

std::string DirOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Eight hex digits naming this host, so that a process on another machine sharing the directory
// is never taken for a dead one of ours.
const std::string& HostTag() {
    static const std::string tag = [] {
        char name[256] = {};
        ::gethostname(name, sizeof name - 1);
        std::uint32_t h = 2166136261u;
        for (const char* p = name; *p != '\0'; ++p) {
            h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
        }
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", h);
        return std::string(hex);
    }();
    return tag;
}

std::atomic<unsigned> tempCounter{0};

bool AllDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

int OpenNewFile(const std::string& path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::string TempFileName(std::string_view rest) {
    return "~orn" + std::to_string(::getpid()) + "-" + HostTag() + "." +
           std::to_string(tempCounter++) + "." + std::string(rest);
}

bool IsDeadWritersTemp(std::string_view name) {
    if (name.substr(0, 4) != "~orn") {
        return false;
    }
    name.remove_prefix(4);
    const auto dash = name.find('-');
    if (dash == std::string_view::npos || !AllDigits(name.substr(0, dash)) || dash > 9) {
        return false;
    }
    const long pid = std::strtol(std::string(name.substr(0, dash)).c_str(), nullptr, 10);
    const std::string_view rest = name.substr(dash + 1);
    const auto dot = rest.find('.');
    if (rest.substr(0, dot) != HostTag() || dot == std::string_view::npos) {
        return false;
    }
    const auto dot2 = rest.find('.', dot + 1);
    if (dot2 == std::string_view::npos || !AllDigits(rest.substr(dot + 1, dot2 - dot - 1))) {
        return false;
    }
    // A process that still runs, or one we may not signal, is left alone.
    return pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
           errno == ESRCH;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a hard link is just as exclusive.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

void KeepModeAndGroup(int fd, const struct stat& model) {
    struct stat now {};
    if (::fstat(fd, &now) == 0 && now.st_gid != model.st_gid &&
        ::fchown(fd, static_cast<uid_t>(-1), model.st_gid) != 0) {
        // not a member of that group: the file keeps the group the directory gave it
    }
    if (::fchmod(fd, model.st_mode & 07777) != 0) {
        // not the owner (only root gets here with a file it did not make): nothing to keep
    }
}

bool MayFollowLink(const std::string& link, const struct stat& linkStat) {
    if (linkStat.st_uid == ::geteuid()) {
        return true;
    }
    struct stat dir {};
    return ::stat(DirOf(link).c_str(), &dir) == 0 && linkStat.st_uid == dir.st_uid;
}

std::string FollowOwnLinks(const std::string& path) {
    std::string name = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return name;
        }
        if (!MayFollowLink(name, st)) {
            return {};
        }
        std::string to(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(name.c_str(), to.data(), to.size());
        if (n <= 0) {
            return {};
        }
        to.resize(static_cast<std::size_t>(n));
        name = to.front() == '/' ? to : DirOf(name) + "/" + to;
    }
    return {};  // a loop of links
}

int OpenToAppend(const std::string& fileName, mode_t mode) {
    const std::string target = FollowOwnLinks(fileName);
    if (target.empty()) {
        errno = EACCES;
        return -1;
    }
    // No link is followed past the ones just checked, even one put there meanwhile.
    int fd;
    do {
        fd = ::open(target.c_str(),
                    O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

TFileReplacer::TFileReplacer(const std::string& fileName) : target_(FollowOwnLinks(fileName)) {
    if (target_.empty()) {
        return;
    }
    struct stat old {};
    const bool exists = ::stat(target_.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        return;
    }
    if (exists && (!S_ISREG(old.st_mode) || old.st_nlink > 1)) {
        // A device or pipe, or a file with other names: written where it is.
        fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        return;
    }
    if (exists && ::access(target_.c_str(), W_OK) != 0) {
        return;
    }
    const std::string dir = DirOf(target_);
    const std::string base = target_.substr(target_.rfind('/') + 1);
    for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
        std::string temp = dir + "/" + TempFileName(base + ".tmp");
        fd_ = OpenNewFile(temp, O_WRONLY);
        if (fd_ >= 0) {
            temp_ = std::move(temp);
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (fd_ < 0) {
        if (!exists) {
            // A directory we may not make other files in, but perhaps this one.
            fd_ = OpenNewFile(target_, O_WRONLY);
        } else {
            fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        }
        return;
    }
    if (exists) {
        KeepModeAndGroup(fd_, old);
    }
}

TFileReplacer::~TFileReplacer() {
    if (fd_ >= 0) {
        ::close(fd_);
        if (!temp_.empty()) {
            ::unlink(temp_.c_str());
        }
    }
}

bool TFileReplacer::Write(std::string_view text) {
    while (!failed_ && fd_ >= 0 && !text.empty()) {
        const ssize_t n = ::write(fd_, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        failed_ = n <= 0;
        if (!failed_) {
            text.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    return fd_ >= 0 && !failed_;
}

bool TFileReplacer::Finish() {
    if (fd_ < 0) {
        return false;
    }
    struct stat st {};
    const bool regular = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    bool ok = !failed_ && (!regular || ::fsync(fd_) == 0);
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    if (temp_.empty()) {
        return ok;
    }
    ok = ok && ::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok) {
        ::unlink(temp_.c_str());
    }
    temp_.clear();
    return ok;
}

}  // namespace orn
