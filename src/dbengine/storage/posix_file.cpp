#include "dbengine/storage/posix_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "dbengine/storage/table.h"
#include "text/safefile.h"

namespace orn::db {

std::string systemErrorText(const std::filesystem::path& path, int err) {
    return path.string() + ": " + std::strerror(err);
}

namespace {
[[noreturn]] void fail(const std::filesystem::path& path) {
    throw EngineError(systemErrorText(path, errno));
}

std::atomic<std::uint64_t> readCalls{0};
std::atomic<std::uint64_t> readBytes{0};
}  // namespace

PosixFile::ReadCounters PosixFile::readCounters() {
    return {readCalls.load(std::memory_order_relaxed), readBytes.load(std::memory_order_relaxed)};
}

PosixFile::PosixFile(const std::filesystem::path& path, Access access) : path_(path) {
    int flags = O_CLOEXEC;
    switch (access) {
        case Access::Read:
            flags |= O_RDONLY;
            break;
        case Access::ReadWrite:
            flags |= O_RDWR;
            break;
        case Access::Create:
            flags |= O_RDWR | O_CREAT;
            break;
        case Access::CreateNew:
        case Access::CreateFresh:
            flags = O_RDWR;
            break;
        case Access::ReadNoLink:
            flags |= O_RDONLY | O_NOFOLLOW;
            break;
        case Access::ReadWriteNoLink:
            flags |= O_RDWR | O_NOFOLLOW;
            break;
    }
    if (access == Access::CreateNew || access == Access::CreateFresh) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (access == Access::CreateFresh && ::unlink(path.c_str()) != 0 && errno != ENOENT)
                fail(path);
            fd_ = OpenNewFile(path.string(), flags);
            if (fd_ >= 0 || errno != EEXIST || access == Access::CreateNew)
                break;
        }
    } else {
        do {
            fd_ = ::open(path.c_str(), flags, 0666);
        } while (fd_ < 0 && errno == EINTR);
    }
    if (fd_ < 0)
        fail(path);
}

PosixFile::PosixFile(PosixFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

PosixFile::~PosixFile() {
    close();
}

void PosixFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::uint64_t PosixFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail(path_);
    return static_cast<std::uint64_t>(st.st_size);
}

std::pair<std::uint64_t, std::int64_t> PosixFile::changeStamp() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail(path_);
    return changeStamp(st);
}

std::pair<std::uint64_t, std::int64_t> PosixFile::changeStamp(const struct ::stat& st) {
    return {static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::size_t PosixFile::readAt(std::uint64_t offset, void* dst, std::size_t len) const {
    auto* out = static_cast<char*>(dst);
    std::size_t done = 0;
    readCalls.fetch_add(1, std::memory_order_relaxed);
    while (done < len) {
        ssize_t n = ::pread(fd_, out + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(path_);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    readBytes.fetch_add(done, std::memory_order_relaxed);
    return done;
}

void PosixFile::writeAt(std::uint64_t offset, const void* src, std::size_t len) {
    const auto* in = static_cast<const char*>(src);
    std::size_t done = 0;
    while (done < len) {
        ssize_t n = ::pwrite(fd_, in + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(path_);
        }
        done += static_cast<std::size_t>(n);
    }
}

void PosixFile::writeAt(std::uint64_t offset, std::vector<struct ::iovec> pieces) {
    std::size_t first = 0;
    while (first < pieces.size() && pieces[first].iov_len == 0)
        ++first;
    while (first < pieces.size()) {
        const auto count = static_cast<int>(std::min<std::size_t>(pieces.size() - first, IOV_MAX));
        const ssize_t n = ::pwritev(fd_, pieces.data() + first, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;  // a regular file takes something of every write
            fail(path_);
        }
        offset += static_cast<std::uint64_t>(n);
        auto left = static_cast<std::size_t>(n);
        while (first < pieces.size() && left >= pieces[first].iov_len) {
            left -= pieces[first].iov_len;
            ++first;
        }
        if (left > 0) {
            pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + left;
            pieces[first].iov_len -= left;
        }
        while (first < pieces.size() && pieces[first].iov_len == 0)
            ++first;
    }
}

void PosixFile::truncate(std::uint64_t size) {
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        if (errno != EINTR)
            fail(path_);
    }
}

void PosixFile::sync() {
    while (::fdatasync(fd_) != 0) {
        if (errno != EINTR)
            fail(path_);
    }
}

void syncDirectory(const std::filesystem::path& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;  // not every file system lets a directory be opened; nothing to sync then
    ::fsync(fd);
    ::close(fd);
}

}  // namespace orn::db
