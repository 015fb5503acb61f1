#include "dbengine/storage/table_files.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "dbengine/storage/file_lock.h"
#include "text/safefile.h"

namespace orn::db {

namespace {
std::size_t spillLimit = std::size_t{256} << 20;
std::chrono::microseconds pauseBetweenPages{0};
std::function<void(const std::filesystem::path&)> betweenOpenAndLock;
// Contiguous pages are written with one call of at most this size.
constexpr std::size_t kMaxWrite = std::size_t{8} << 20;

// Someone else's link at a table file's name in a shared directory is read, never written
// through (the user's own links are).
bool mayWriteThrough(const std::filesystem::path& file) {
    return !FollowOwnLinks(file.string()).empty();
}
}  // namespace

void TableFiles::setSpillLimit(std::size_t bytes) {
    spillLimit = bytes;
}

void TableFiles::setPauseBetweenPageWrites(std::chrono::microseconds pause) {
    pauseBetweenPages = pause;
}

void TableFiles::setBetweenOpenAndLock(std::function<void(const std::filesystem::path&)> hook) {
    betweenOpenAndLock = std::move(hook);
}

TableFiles::TableFiles(const std::filesystem::path& mainFile, OpenMode mode)
    : mode_(mode), journal_(mainFile) {
    auto slot = std::make_unique<Slot>();
    slot->path = mainFile;
    if (mode == OpenMode::ReadOnly) {
        slot->file = PosixFile(mainFile, PosixFile::Access::Read);
    } else {
        // A shared open of a file the user may not write still reads it.
        writable_ = mode == OpenMode::Exclusive || ::access(mainFile.c_str(), W_OK) == 0 ||
                    ::access(mainFile.c_str(), F_OK) != 0;
        writable_ = writable_ && mayWriteThrough(mainFile);
        slot->file =
            PosixFile(mainFile, writable_ ? PosixFile::Access::ReadWrite : PosixFile::Access::Read);
    }
    struct stat st {};
    for (int tries = 1;; ++tries) {
        if (betweenOpenAndLock)
            betweenOpenAndLock(mainFile);
        lockTableOpen(slot->file, mode == OpenMode::Exclusive);
        if (::fstat(slot->file.fd(), &st) != 0)
            throw EngineError("Cannot lock " + systemErrorText(mainFile, errno));
        // A table replaced by a new one (SAVE over it) after its file was opened here and
        // before the lock was taken would leave this object working in the old file, which
        // nobody reads any more: its changes would be lost. Open the file now at the name.
        struct stat named {};
        if (tries == 100 || ::stat(mainFile.c_str(), &named) != 0 ||
            (named.st_dev == st.st_dev && named.st_ino == st.st_ino))
            break;
        slot->file =
            PosixFile(mainFile, writable_ ? PosixFile::Access::ReadWrite : PosixFile::Access::Read);
    }
    shared_ = SharedLock::of(slot->file, writable_, st.st_dev, st.st_ino);
    // Taken before the read lock, this stamp can only be older than what the first read sees:
    // a later look then finds a change and caches are read again, never the other way round. So
    // the first read need not look again.
    seenStamp_ = PosixFile::changeStamp(st);
    stampFresh_ = true;
    files_.push_back(std::move(slot));
    // Every open reads at once (a header at least): the read starts here, journal check included.
    try {
        startRead();
    } catch (...) {
        shared_->release();
        throw;
    }
}

TableFiles::~TableFiles() {
    if (inTransaction_) {
        try {
            rollback();
        } catch (...) {
        }
    }
    endRead();
    shared_->release();
}

// The journal of a writer that is gone is rolled back by whoever finds it, before anything is
// read: under the write lock (so its writer is surely gone) and the commit lock (so no reader of
// another process reads while the bytes go back).
void TableFiles::recoverHotJournal() {
    const auto& main = files_[0]->path;
    if (::access(journalPath(main).c_str(), F_OK) != 0)
        return;
    PosixFile rw;
    const PosixFile* lockOn = &files_[0]->file;
    if (!writable_) {
        try {
            rw = PosixFile(main, PosixFile::Access::ReadWrite);
        } catch (const EngineError& e) {
            throw EngineError(main.string() +
                              " was left half-written by an interrupted write and cannot be "
                              "repaired: " +
                              e.what());
        }
        lockOn = &rw;
    }
    if (!tryLockTableWrite(*lockOn))
        return;  // its writer is still at work
    try {
        shared_->beginCommit(main, lockOn);
        try {
            rollBackJournal(main);
        } catch (...) {
            shared_->endCommit();
            throw;
        }
        shared_->endCommit();
    } catch (...) {
        unlockTableWrite(*lockOn);
        throw;
    }
    unlockTableWrite(*lockOn);
}

void TableFiles::startRead() {
    recoverHotJournal();
    shared_->beginRead(files_[0]->path);
    reading_ = true;
    try {
        noticeChanges();
    } catch (...) {
        endRead();
        throw;
    }
}

void TableFiles::endRead() {
    if (!reading_ || inTransaction_)
        return;
    reading_ = false;
    shared_->endRead();
}

void TableFiles::noticeChanges() {
    if (std::exchange(stampFresh_, false))
        return;
    const auto stamp = files_[0]->file.changeStamp();
    if (stamp == seenStamp_)
        return;
    seenStamp_ = stamp;
    ++changeCount_;
    for (auto& s : files_) {
        if (!s->existsOnDisk && std::filesystem::exists(s->path)) {
            s->file = PosixFile(s->path,
                                writable_ ? PosixFile::Access::ReadWrite : PosixFile::Access::Read);
            s->existsOnDisk = true;
        }
    }
    if (listener_)
        listener_();
}

std::size_t TableFiles::addCompanion(const std::filesystem::path& file, bool createIfMissing) {
    auto slot = std::make_unique<Slot>();
    slot->path = file;
    bool exists = std::filesystem::exists(file);
    if (!exists && !createIfMissing) {
        throw EngineError(systemErrorText(file, ENOENT));
    }
    if (exists && writable_ && !mayWriteThrough(file))
        writable_ = false;
    if (exists) {
        slot->file =
            PosixFile(file, writable_ ? PosixFile::Access::ReadWrite : PosixFile::Access::Read);
        slot->diskSize = slot->originalSize = slot->logicalSize = slot->file.size();
        if (inTransaction_)  // taken into the transaction that is open
            slot->journaled.assign((slot->originalSize + kPageSize - 1) / kPageSize, false);
    } else {
        slot->existsOnDisk = false;
    }
    files_.push_back(std::move(slot));
    return files_.size() - 1;
}

std::uint64_t TableFiles::size(std::size_t f) const {
    ensureRead();
    const Slot& s = *files_[f];
    if (inTransaction_ || !s.existsOnDisk)
        return s.logicalSize;
    return s.file.size();
}

std::pair<std::uint64_t, std::int64_t> TableFiles::changeStamp(std::size_t f) const {
    const Slot& s = *files_[f];
    if (!s.existsOnDisk)
        return {0, 0};
    return s.file.changeStamp();
}

std::size_t TableFiles::read(std::size_t f, std::uint64_t offset, void* dst,
                             std::size_t len) const {
    ensureRead();
    const Slot& s = *files_[f];
    if (!s.existsOnDisk && s.pages.empty())
        return 0;
    if (s.pages.empty())
        return s.file.readAt(offset, dst, len);
    std::uint64_t end = std::min<std::uint64_t>(offset + len, s.logicalSize);
    if (offset >= end)
        return 0;
    auto* out = static_cast<std::uint8_t*>(dst);
    std::uint64_t pos = offset;
    while (pos < end) {
        std::uint64_t pageNo = pos / kPageSize;
        std::size_t inPage = pos % kPageSize;
        std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize - inPage, end - pos));
        auto it = s.pages.find(pageNo);
        if (it != s.pages.end()) {
            std::memcpy(out, it->second->data() + inPage, n);
        } else {
            std::size_t got = s.existsOnDisk ? s.file.readAt(pos, out, n) : 0;
            if (got < n)
                std::memset(out + got, 0, n - got);
        }
        out += n;
        pos += n;
    }
    return static_cast<std::size_t>(end - offset);
}

TableFiles::Page& TableFiles::pageFor(Slot& s, std::uint64_t pageNo) {
    if (pageNo == s.lastPageNo)
        return *s.lastPage;
    auto& slot = s.pages[pageNo];
    if (!slot) {
        slot = std::make_unique<Page>();
        std::uint64_t start = pageNo * kPageSize;
        std::size_t got = 0;
        if (s.existsOnDisk && start < s.diskSize)
            got = s.file.readAt(start, slot->data(), kPageSize);
        std::memset(slot->data() + got, 0, kPageSize - got);
        pendingBytes_ += kPageSize;
    }
    s.lastPageNo = pageNo;
    s.lastPage = slot.get();
    return *slot;
}

void TableFiles::write(std::size_t f, std::uint64_t offset, const void* src, std::size_t len) {
    if (!inTransaction_)
        throw EngineError("Internal error: write outside a transaction.");
    ++changeCount_;
    Slot& s = *files_[f];
    const auto* in = static_cast<const std::uint8_t*>(src);
    std::uint64_t pos = offset;
    std::uint64_t end = offset + len;
    while (pos < end) {
        std::uint64_t pageNo = pos / kPageSize;
        std::size_t inPage = pos % kPageSize;
        std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize - inPage, end - pos));
        std::memcpy(pageFor(s, pageNo).data() + inPage, in, n);
        in += n;
        pos += n;
    }
    s.logicalSize = std::max(s.logicalSize, end);
    if (pendingBytes_ > spillLimit)
        flush();
}

void TableFiles::truncate(std::size_t f, std::uint64_t size) {
    if (!inTransaction_)
        throw EngineError("Internal error: write outside a transaction.");
    Slot& s = *files_[f];
    if (size >= s.logicalSize)
        return;
    ++changeCount_;
    // Every page from the cut on joins the transaction, so that its original bytes are journaled
    // before the file shrinks; what lies past the cut reads as zeros if the file grows again.
    for (std::uint64_t no = size / kPageSize; no * kPageSize < s.logicalSize; ++no) {
        Page& p = pageFor(s, no);
        const std::uint64_t start = no * kPageSize;
        const std::size_t keep = size > start ? std::size_t(size - start) : 0;
        std::memset(p.data() + keep, 0, kPageSize - keep);
    }
    s.logicalSize = size;
    if (pendingBytes_ > spillLimit)
        flush();
}

void TableFiles::begin() {
    if (inTransaction_)
        throw EngineError("Internal error: nested transaction.");
    ++changeCount_;  // other processes may have written since
    if (!writable_) {
        throw EngineError("Cannot write " + files_[0]->path.string() +
                          ": the table is open read-only.");
    }
    lockTableWrite(files_[0]->file);
    try {
        if (::access(journalPath(files_[0]->path).c_str(), F_OK) == 0) {
            // A writer of another process died; the companions may have been restored too.
            shared_->beginCommit(files_[0]->path);
            try {
                rollBackJournal(files_[0]->path);
            } catch (...) {
                shared_->endCommit();
                throw;
            }
            shared_->endCommit();
            for (auto& s : files_) {
                if (!s->existsOnDisk && std::filesystem::exists(s->path))
                    s->existsOnDisk = true;
            }
        }
        for (auto& s : files_) {
            if (!s->existsOnDisk &&
                std::filesystem::is_regular_file(std::filesystem::symlink_status(s->path))) {
                // Made by another process's write since this one opened the table: a file, never
                // a link (a link put there is replaced when the companion is written).
                s->file = PosixFile(s->path, PosixFile::Access::ReadWriteNoLink);
                s->existsOnDisk = true;
            }
            std::uint64_t sz = s->existsOnDisk ? s->file.size() : 0;
            s->diskSize = s->originalSize = s->logicalSize = sz;
            s->recorded = s->touched = false;
            s->journaled.assign((sz + kPageSize - 1) / kPageSize, false);
        }
        inTransaction_ = true;
        noticeChanges();  // another process may have committed since this object last looked
    } catch (...) {
        inTransaction_ = false;
        unlockTableWrite(files_[0]->file);
        throw;
    }
}

void TableFiles::flush() {
    // 1. The journal learns every changed file's size and the original bytes of its pages.
    std::uint32_t id = 0;
    for (auto& sp : files_) {
        Slot& s = *sp;
        ++id;
        if (s.pages.empty())
            continue;
        if (!s.recorded) {
            journal_.recordFile(id, s.path, s.originalSize, s.existsOnDisk);
            s.recorded = true;
        }
        std::vector<std::uint64_t> order;
        order.reserve(s.pages.size());
        for (auto& [no, page] : s.pages)
            order.push_back(no);
        std::sort(order.begin(), order.end());
        std::vector<std::uint8_t> original(kPageSize);
        for (std::uint64_t no : order) {
            std::uint64_t start = no * kPageSize;
            if (start >= s.originalSize || s.journaled[no])
                continue;
            std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(kPageSize, s.originalSize - start));
            std::size_t got = s.file.readAt(start, original.data(), n);
            journal_.recordOriginal(id, start, original.data(), got);
            s.journaled[no] = true;
        }
    }
    journal_.sync();

    // 2. Then the pages go to their files, contiguous runs in one write each, once no reader
    // of another process is in the middle of a statement.
    if (!committing_) {
        shared_->beginCommit(files_[0]->path);
        committing_ = true;
    }
    for (auto& sp : files_) {
        Slot& s = *sp;
        if (s.pages.empty())
            continue;
        if (!s.existsOnDisk) {
            s.file = PosixFile(s.path, PosixFile::Access::CreateFresh);
            s.existsOnDisk = true;
        }
        std::vector<std::uint64_t> order;
        order.reserve(s.pages.size());
        for (auto& [no, page] : s.pages)
            order.push_back(no);
        std::sort(order.begin(), order.end());
        std::vector<iovec> run;
        std::uint64_t runStart = 0;
        std::uint64_t runBytes = 0;
        auto put = [&] {
            if (run.empty())
                return;
            // The last pages may reach past the end of the file.
            const std::uint64_t end = std::min<std::uint64_t>(runStart + runBytes, s.logicalSize);
            for (std::uint64_t excess = runStart + runBytes - end; excess > 0;) {
                iovec& last = run.back();
                const std::uint64_t cut = std::min<std::uint64_t>(excess, last.iov_len);
                last.iov_len -= static_cast<std::size_t>(cut);
                excess -= cut;
                if (last.iov_len == 0)
                    run.pop_back();
            }
            if (!run.empty())
                s.file.writeAt(runStart, std::move(run));
            run.clear();
            runBytes = 0;
        };
        for (std::size_t i = 0; i < order.size(); ++i) {
            std::uint64_t start = order[i] * kPageSize;
            if (run.empty() || runStart + runBytes != start || runBytes >= kMaxWrite ||
                pauseBetweenPages.count() > 0) {
                put();
                if (pauseBetweenPages.count() > 0)
                    std::this_thread::sleep_for(pauseBetweenPages);
                runStart = start;
            }
            Page& p = *s.pages[order[i]];
            run.push_back(iovec{p.data(), p.size()});
            runBytes += p.size();
        }
        put();
        if (s.file.size() > s.logicalSize)
            s.file.truncate(s.logicalSize);
        s.pages.clear();
        s.lastPageNo = ~std::uint64_t{0};
        s.lastPage = nullptr;
        s.diskSize = s.logicalSize;
        s.touched = true;
    }
    pendingBytes_ = 0;
}

void TableFiles::commit() {
    if (!inTransaction_)
        throw EngineError("Internal error: commit without a transaction.");
    try {
        flush();
        for (auto& s : files_) {
            if (s->touched)
                s->file.sync();
        }
        journal_.discard();
    } catch (...) {
        rollback();
        throw;
    }
    endTransaction();
}

void TableFiles::rollback() {
    if (!inTransaction_)
        return;
    ++changeCount_;
    for (auto& s : files_) {
        s->pages.clear();
        s->lastPageNo = ~std::uint64_t{0};
        s->lastPage = nullptr;
    }
    pendingBytes_ = 0;
    journal_.abandon();
    rollBackJournal(files_[0]->path);  // pages already spilled go back to their old bytes
    for (auto& s : files_) {
        if (s->existsOnDisk && !std::filesystem::exists(s->path)) {
            s->file.close();
            s->existsOnDisk = false;
        }
        s->logicalSize = s->existsOnDisk ? s->file.size() : 0;
    }
    endTransaction();
}

void TableFiles::endTransaction() {
    inTransaction_ = false;
    for (auto& s : files_) {
        s->recorded = s->touched = false;
        s->journaled.clear();
    }
    try {
        seenStamp_ = files_[0]->file.changeStamp();  // this object knows what it wrote
    } catch (const EngineError&) {
        seenStamp_ = {};
    }
    if (committing_) {
        committing_ = false;
        shared_->endCommit();
    }
    unlockTableWrite(files_[0]->file);
}

}  // namespace orn::db
