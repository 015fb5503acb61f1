#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "dbengine/storage/file_lock.h"
#include "dbengine/storage/journal.h"
#include "dbengine/storage/posix_file.h"
#include "dbengine/storage/table.h"

namespace orn::db {

// The files of one open table (index 0 = the main file, then companions such as memo, blob and
// index files) and the crash-safe way of changing them.
//
// Opening takes the open lock (file_lock.h), rolls back a journal left by a killed writer and
// starts a read (an open reads the table's header at once). Reading takes the process's read
// lock of the table at the first read and keeps it until
// endRead(), so that everything read in between comes from one committed state; when the files
// changed since the last read, the change listener is told first (caches must be re-read).
// Writes happen only inside begin()..commit(): they collect in memory, in pages, and are visible
// to read() of this object at once but to nobody else. commit() records in the journal the
// original bytes of every page that existed before, syncs the journal, writes the pages, syncs the
// files and deletes the journal. A crash at any point leaves either the old or the new state once
// the table is opened again. Very large transactions spill pages early through the same path.
class TableFiles {
  public:
    TableFiles(const std::filesystem::path& mainFile, OpenMode mode);
    ~TableFiles();
    TableFiles(const TableFiles&) = delete;
    TableFiles& operator=(const TableFiles&) = delete;

    // Adds a companion file and returns its index. A missing file is an error unless
    // createIfMissing: then it reads as empty and comes into being with the first commit that
    // writes to it (a rollback removes it again).
    std::size_t addCompanion(const std::filesystem::path& file, bool createIfMissing = false);

    std::size_t fileCount() const { return files_.size(); }
    const std::filesystem::path& path(std::size_t f) const { return files_[f]->path; }
    OpenMode mode() const { return mode_; }
    // False when the table was opened read-only or its files cannot be written.
    bool writable() const { return writable_; }

    // Size as this object sees it, pending writes included.
    std::uint64_t size(std::size_t f) const;
    // Takes the read lock unless held (or inside a transaction, whose write lock covers reads).
    void ensureRead() const {
        if (!reading_ && !inTransaction_)
            const_cast<TableFiles*>(this)->startRead();
    }
    // Lets commits of other processes through again; the next read takes the lock anew.
    void endRead();
    // Called (with the read or write lock held) when another process or Table object committed
    // since this object last looked.
    void setChangeListener(std::function<void()> listener) { listener_ = std::move(listener); }
    // Changes whenever the file on disk changes (size and modification time).
    std::pair<std::uint64_t, std::int64_t> changeStamp(std::size_t f) const;
    // Reads up to len bytes at offset; fewer only at the end of the file.
    std::size_t read(std::size_t f, std::uint64_t offset, void* dst, std::size_t len) const;
    // Only inside a transaction. Writing past the end extends the file (a gap reads as zeros).
    void write(std::size_t f, std::uint64_t offset, const void* src, std::size_t len);
    // Only inside a transaction: cuts file f to `size` bytes when it is longer. The bytes cut off
    // go to the journal like overwritten ones, so a rollback or crash brings them back.
    void truncate(std::size_t f, std::uint64_t size);
    // True when reads of file f must go through read() to see this transaction's writes.
    bool hasPendingWrites(std::size_t f) const { return !files_[f]->pages.empty(); }
    // Changes with every write, begin and rollback: bytes read ahead under an older value may
    // no longer be what read() returns.
    std::uint64_t changeCount() const { return changeCount_; }

    // begin() waits while another process writes, then rolls back a journal its writer left.
    // Callers must re-read whatever they cached of the files (other processes may have written).
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return inTransaction_; }
    // Bytes of pages the open transaction holds in memory.
    std::size_t pendingBytes() const { return pendingBytes_; }

    static constexpr std::size_t kPageSize = 4096;
    // Memory a transaction may fill with pages before they are written out early (process-wide;
    // 256 MiB unless changed, e.g. by tests).
    static void setSpillLimit(std::size_t bytes);
    // Fault injection for crash tests: write pages one at a time with this pause between them,
    // so that a process killed at a random moment is often killed half-way through a commit.
    static void setPauseBetweenPageWrites(std::chrono::microseconds pause);
    // For tests: called when an open has opened the main file and not yet locked it.
    static void setBetweenOpenAndLock(std::function<void(const std::filesystem::path&)> hook);

  private:
    using Page = std::array<std::uint8_t, kPageSize>;
    struct Slot {
        std::filesystem::path path;
        PosixFile file;
        bool existsOnDisk = true;
        std::uint64_t diskSize = 0;      // at begin(), grows when pages are spilled
        std::uint64_t originalSize = 0;  // at begin()
        std::uint64_t logicalSize = 0;
        bool recorded = false;  // its size is in the journal
        bool touched = false;   // written to disk in this transaction
        std::unordered_map<std::uint64_t, std::unique_ptr<Page>> pages;
        std::vector<bool> journaled;  // per page below originalSize: original bytes saved
        std::uint64_t lastPageNo = ~std::uint64_t{0};
        Page* lastPage = nullptr;
    };

    Page& pageFor(Slot& s, std::uint64_t pageNo);
    void flush();
    void endTransaction();
    void recoverHotJournal();
    void startRead();
    void noticeChanges();

    std::vector<std::unique_ptr<Slot>> files_;
    OpenMode mode_;
    bool writable_ = false;
    bool inTransaction_ = false;
    std::size_t pendingBytes_ = 0;
    std::uint64_t changeCount_ = 0;
    JournalWriter journal_;
    SharedLock* shared_ = nullptr;
    bool reading_ = false;     // READ held by this object
    bool committing_ = false;  // COMMIT held: pages are being written in place
    std::pair<std::uint64_t, std::int64_t> seenStamp_{};  // main file, when last looked at
    bool stampFresh_ = false;  // seenStamp_ was taken at the open, before the first read
    std::function<void()> listener_;
};

// Runs one write as its own transaction unless the caller already began one.
class WriteScope {
  public:
    explicit WriteScope(TableFiles& files) : files_(files), own_(!files.inTransaction()) {
        if (own_)
            files_.begin();
    }
    ~WriteScope() {
        if (own_ && files_.inTransaction()) {
            try {
                files_.rollback();
            } catch (...) {
            }
        }
    }
    bool ownsTransaction() const { return own_; }
    void commit() {
        if (own_)
            files_.commit();
    }
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

  private:
    TableFiles& files_;
    bool own_;
};

}  // namespace orn::db
