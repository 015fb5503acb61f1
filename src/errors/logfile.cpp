#include "errors/logfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "text/safefile.h"

namespace orn {

namespace {

bool Exists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0;
}

bool WriteAll(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

TLogFile::TLogFile(std::string fileName) : FileName(std::move(fileName)) {
    MustCreate = !Exists(FileName);
}

bool TLogFile::Prepare() {
    MustCreate = false;
    if (Exists(FileName)) {
        return true;
    }
    int fd = OpenToAppend(FileName, 0644);
    if (fd < 0) {
        Failed = true;
        return false;
    }
    ::close(fd);
    return true;
}

bool TLogFile::Write(const std::string& line) {
    const std::string prefix = TimeStamp ? TimeStamp() + "\t" : std::string();
    if (MustCreate && !Prepare()) {
        return false;
    }
    bool ok = false;
    int fd = OpenToAppend(FileName, 0644);
    if (fd >= 0) {
        const off_t start = ::lseek(fd, 0, SEEK_END);
        ok = WriteAll(fd, prefix + line + "\r\n");
        if (!ok && start >= 0) {
            // Whatever part of the line did get in is taken out: no half lines.
            [[maybe_unused]] int r = ::ftruncate(fd, start);
        }
        ok = (::close(fd) == 0) && ok;
    }
    if (ok) {
        Failed = false;
        return true;
    }
    if (!Failed && OnWriteError) {
        Failed = true;
        OnWriteError("Can't write log file " + FileName + "!");
    }
    Failed = true;
    return false;
}

}  // namespace orn
