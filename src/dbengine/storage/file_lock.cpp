#include "dbengine/storage/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "dbengine/storage/table.h"

namespace orn::db {

namespace {

constexpr off_t kWriteLockByte = off_t{1} << 62;

bool setWriteLock(const PosixFile& file, short type, bool wait) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = kWriteLockByte;
    fl.l_len = 1;
    for (;;) {
        if (::fcntl(file.fd(), wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (!wait && (errno == EAGAIN || errno == EACCES))
            return false;
        throw EngineError("Cannot lock " + systemErrorText(file.path(), errno));
    }
}

}  // namespace

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

void lockTableWrite(const PosixFile& file) {
    setWriteLock(file, F_WRLCK, true);
}

bool tryLockTableWrite(const PosixFile& file) {
    return setWriteLock(file, F_WRLCK, false);
}

void unlockTableWrite(const PosixFile& file) {
    setWriteLock(file, F_UNLCK, false);
}

}  // namespace orn::db
