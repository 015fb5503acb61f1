#include "dbengine/storage/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "dbengine/storage/table.h"

namespace orn::db {

namespace {

// Far beyond any data, so that the locks never stand in the way of reading or writing the file.
constexpr off_t kWriteByte = off_t{1} << 62;
constexpr off_t kPendingByte = kWriteByte + 1;
constexpr off_t kSharedByte = kWriteByte + 2;

std::chrono::milliseconds initialWait() {
    if (const char* env = std::getenv("ORN_LOCK_WAIT_MS")) {
        char* end = nullptr;
        const long ms = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && ms >= 0)
            return std::chrono::milliseconds(ms);
    }
    return std::chrono::seconds(10);
}

std::chrono::milliseconds& waitSetting() {
    static std::chrono::milliseconds wait = initialWait();
    return wait;
}

// One attempt; false when another descriptor holds a conflicting lock.
// `bytes` > 1 locks that many bytes from `at` at once: all of them or none.
bool tryLock(int fd, short type, off_t at, const std::filesystem::path& label, off_t bytes = 1) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = bytes;
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EACCES)
            return false;
        throw EngineError("Cannot lock " + systemErrorText(label, errno));
    }
}

// Tries until lockWait() has passed, sleeping a little longer each time.
bool waitLock(int fd, short type, off_t at, const std::filesystem::path& label, off_t bytes = 1) {
    if (tryLock(fd, type, at, label, bytes))
        return true;
    const auto deadline = std::chrono::steady_clock::now() + lockWait();
    auto pause = std::chrono::microseconds(200);
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(pause);
        if (tryLock(fd, type, at, label, bytes))
            return true;
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(2));
    }
    return false;
}

void unlock(int fd, off_t at) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    while (::fcntl(fd, F_OFD_SETLK, &fl) != 0 && errno == EINTR) {
    }
}

[[noreturn]] void inUse(const char* verb, const std::filesystem::path& label) {
    throw EngineError(std::string("Cannot ") + verb + " " + label.string() +
                      ": the table is in use by another process.");
}

}  // namespace

std::chrono::milliseconds lockWait() {
    return waitSetting();
}

void setLockWait(std::chrono::milliseconds wait) {
    waitSetting() = wait;
}

void lockTableOpen(const PosixFile& file, bool exclusive) {
    for (;;) {
        if (::flock(file.fd(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0)
            return;
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK) {
            if (exclusive) {
                throw EngineError("Cannot open " + file.path().string() +
                                  " exclusively: the table is in use by another process.");
            }
            throw EngineError("Cannot open " + file.path().string() +
                              ": another process has the table open exclusively.");
        }
        throw EngineError("Cannot lock " + systemErrorText(file.path(), errno));
    }
}

void unlockTableOpen(const PosixFile& file) {
    ::flock(file.fd(), LOCK_UN);
}

TableReplaceLock::TableReplaceLock(const std::filesystem::path& file) {
    // A file without any write permission bit is read-only even for root, who passes access().
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 &&
        ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(file.c_str(), W_OK) != 0))
        throw EngineError("Cannot write " + file.string() + ": the table is read-only.");
    file_ = PosixFile(file, PosixFile::Access::ReadWrite);
    lockTableWrite(file_);
}

void TableReplaceLock::takeOver(const std::function<void()>& letGo) {
    try {
        lockTableOpen(file_, true);
        return;
    } catch (const EngineError&) {
        if (!letGo)
            throw;
    }
    letGo();
    lockTableOpen(file_, true);
}

void lockTableWrite(const PosixFile& file) {
    if (!waitLock(file.fd(), F_WRLCK, kWriteByte, file.path()))
        inUse("write", file.path());
}

bool tryLockTableWrite(const PosixFile& file) {
    return tryLock(file.fd(), F_WRLCK, kWriteByte, file.path());
}

void unlockTableWrite(const PosixFile& file) {
    unlock(file.fd(), kWriteByte);
}

// ---------------------------------------------------------------------------------------------
// The process's READ/COMMIT lock of each file

struct SharedLockRegistry {
    std::mutex mutex;
    std::map<std::pair<unsigned long long, unsigned long long>, SharedLock*> locks;

    static SharedLockRegistry& get() {
        static SharedLockRegistry* registry = new SharedLockRegistry;  // outlives static tables
        return *registry;
    }
};

namespace {

// A descriptor of its own for the file `fd` is open on: read/write when the file may be written.
int reopen(int fd, bool write, const std::filesystem::path& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (const bool rw : {write, false}) {
        const int flags = (rw ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY;
        int out = ::open(self.c_str(), flags);
        if (out < 0)
            out = ::open(path.c_str(), flags | O_NOFOLLOW);
        if (out >= 0)
            return out;
        if (!rw)
            break;
    }
    throw EngineError("Cannot lock " + systemErrorText(path, errno));
}

bool writableDescriptor(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

}  // namespace

SharedLock* SharedLock::of(const PosixFile& file) {
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0)
        throw EngineError("Cannot lock " + systemErrorText(file.path(), errno));
    return of(file, writableDescriptor(file.fd()), st.st_dev, st.st_ino);
}

SharedLock* SharedLock::of(const PosixFile& file, bool write, unsigned long long dev,
                           unsigned long long ino) {
    auto& registry = SharedLockRegistry::get();
    std::lock_guard<std::mutex> guard(registry.mutex);
    const auto key = std::make_pair(dev, ino);
    auto it = registry.locks.find(key);
    if (it != registry.locks.end()) {
        SharedLock* lock = it->second;
        if (write && !writableDescriptor(lock->fd_) && lock->readers_ == 0 && !lock->committing_) {
            const int fd = reopen(file.fd(), true, file.path());
            ::close(lock->fd_);
            lock->fd_ = fd;
        }
        ++lock->users_;
        return lock;
    }
    auto* lock = new SharedLock;
    lock->fd_ = reopen(file.fd(), write, file.path());
    lock->dev_ = dev;
    lock->ino_ = ino;
    lock->users_ = 1;
    registry.locks.emplace(key, lock);
    return lock;
}

void SharedLock::release() {
    auto& registry = SharedLockRegistry::get();
    std::lock_guard<std::mutex> guard(registry.mutex);
    if (--users_ > 0)
        return;
    registry.locks.erase({dev_, ino_});
    delete this;
}

SharedLock::~SharedLock() {
    if (fd_ >= 0)
        ::close(fd_);  // drops whatever this descriptor still held
}

void SharedLock::beginRead(const std::filesystem::path& label) {
    if (readers_++ > 0 || committing_)
        return;
    // A writer waiting to commit holds PENDING: new readers let it go first. PENDING and READ
    // are neighbours and taken in one call, which gets both or neither.
    static_assert(kSharedByte == kPendingByte + 1);
    if (!waitLock(fd_, F_RDLCK, kPendingByte, label, 2)) {
        --readers_;
        inUse("read", label);
    }
    unlock(fd_, kPendingByte);
}

void SharedLock::endRead() {
    if (readers_ == 0 || --readers_ > 0 || committing_)
        return;
    unlock(fd_, kSharedByte);
}

void SharedLock::beginCommit(const std::filesystem::path& label, const PosixFile* writable) {
    if (committing_)
        return;
    if (writable && !writableDescriptor(fd_) && readers_ == 0) {
        std::lock_guard<std::mutex> guard(SharedLockRegistry::get().mutex);
        const int fd = reopen(writable->fd(), true, label);
        ::close(fd_);
        fd_ = fd;
    }
    if (!waitLock(fd_, F_WRLCK, kPendingByte, label))
        inUse("write", label);
    if (!waitLock(fd_, F_WRLCK, kSharedByte, label)) {
        unlock(fd_, kPendingByte);
        inUse("write", label);
    }
    committing_ = true;
}

void SharedLock::endCommit() {
    if (!committing_)
        return;
    committing_ = false;
    if (readers_ > 0) {
        tryLock(fd_, F_RDLCK, kSharedByte, "");  // a downgrade of our own lock: cannot conflict
    } else {
        unlock(fd_, kSharedByte);
    }
    unlock(fd_, kPendingByte);
}

}  // namespace orn::db
