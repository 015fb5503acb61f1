#pragma once

#include <chrono>
#include <filesystem>
#include <functional>

#include "dbengine/storage/posix_file.h"

namespace orn::db {

// How processes share a table
// ===========================
// Every lock is an advisory lock on the table's main file (.db or .dbf); nothing else is created
// beside the table for locking. Four locks, each with one job:
//
// OPEN (flock on the Table's own descriptor), for as long as a Table object is open: shared for
//   ordinary opens, exclusive for OpenMode::Exclusive and for whatever replaces or removes the
//   files (CHANGE, INDEX, ALTER, DROP, SAVE over a table, restructuring). Taking it never waits:
//   a conflict fails at once with "... is in use by another process" or "... open exclusively".
//
// WRITE (OFD byte lock at kWriteByte on the Table's own descriptor): one writer at a time. A
//   write statement takes it before it reads its first record (the SQL layer begins the storage
//   transaction when the statement starts) and keeps it to its commit or rollback, so the values
//   it computes come from the state it then changes: no lost update. Whoever can take it while a
//   journal exists knows that journal's writer is gone and rolls the journal back.
//
// READ (shared OFD byte lock at kSharedByte) is held by a reader from its first read of a
//   statement to the statement's end. COMMIT (the same byte, exclusive) is held by a writer from
//   the first page it writes in place (at commit, or earlier when a very large transaction spills)
//   to the journal's removal. So a reader sees one committed state from start to end, never a
//   commit half-written; a reader that comes back later (a result window fetching more rows)
//   checks whether the table changed meanwhile and re-reads what it had cached.
//
// PENDING (kPendingByte): a writer takes it exclusively before it waits for COMMIT; a reader takes
//   it shared for the moment of taking READ. A stream of overlapping readers cannot starve a
//   writer.
//
// READ and COMMIT belong to one descriptor per file and process (below), so the Table objects of
// one process never wait for each other's reads; WRITE and OPEN stay per Table object.
//
// No wait is endless: WRITE, COMMIT and READ wait up to lockWait() (10 s, or ORN_LOCK_WAIT_MS), and
// then fail with "Cannot write|read <file>: the table is in use by another process." Nothing holds
// a lock while a person is asked something: statements end (or pause) before any question.

// The open lock: see above.
void lockTableOpen(const PosixFile& file, bool exclusive);
void unlockTableOpen(const PosixFile& file);

// The write lock: see above. The file must be open for writing.
void lockTableWrite(const PosixFile& file);     // waits up to lockWait()
bool tryLockTableWrite(const PosixFile& file);  // false when another writer holds it
void unlockTableWrite(const PosixFile& file);

// Holds an existing table that is about to be replaced by a new one built elsewhere (SAVE over a
// table). From the start it holds WRITE, so no other process commits a change that the
// replacement would then drop; takeOver() adds the exclusive OPEN lock that DROP and ALTER take,
// so nobody goes on working in the old files once they are gone. A table the user may not write
// is refused: it is never replaced by one that can be written.
class TableReplaceLock {
  public:
    explicit TableReplaceLock(const std::filesystem::path& file);
    // Fails as an exclusive open does while another holder has the table open. `letGo` is called
    // once before a second try: the caller closes what it holds open itself.
    void takeOver(const std::function<void()>& letGo);

  private:
    PosixFile file_;
};

// The longest a lock is waited for before the operation gives up.
std::chrono::milliseconds lockWait();
void setLockWait(std::chrono::milliseconds wait);

// READ and COMMIT of one file for this process. Obtained per table file (any descriptor of it);
// the holder counts of all Table objects of the process are kept together.
class SharedLock {
  public:
    // Finds or makes the process's lock for the file `file` is open on.
    static SharedLock* of(const PosixFile& file);
    // The same for a caller that knows the file's identity (device and inode, from its own
    // fstat) and whether `file` is open for writing: no system call when the lock exists.
    static SharedLock* of(const PosixFile& file, bool writable, unsigned long long dev,
                          unsigned long long ino);
    // Every of() is matched by one release().
    void release();

    void beginRead(const std::filesystem::path& label);  // waits for a commit
    void endRead();
    // Waits for other processes' readers. `writable`: a descriptor open for writing, for a lock
    // first made through a read-only one.
    void beginCommit(const std::filesystem::path& label, const PosixFile* writable = nullptr);
    void endCommit();

    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

  private:
    SharedLock() = default;
    ~SharedLock();
    friend struct SharedLockRegistry;

    int fd_ = -1;
    unsigned long long dev_ = 0, ino_ = 0;
    int users_ = 0;
    int readers_ = 0;
    bool committing_ = false;
};

}  // namespace orn::db
