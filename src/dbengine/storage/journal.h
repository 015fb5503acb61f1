#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dbengine/storage/posix_file.h"

namespace orn::db {

// The rollback journal of one table: "<main file>.orn-journal" beside it. It holds, for every file
// of the table touched by the running transaction, the file's size before the transaction and the
// original bytes of every range about to be overwritten. Entries carry a checksum, so a journal
// torn by a crash while it was written is used up to its last whole entry (the bytes behind a torn
// entry were never overwritten: data is written only after the journal is synced).
std::filesystem::path journalPath(const std::filesystem::path& mainFile);

class JournalWriter {
  public:
    explicit JournalWriter(std::filesystem::path mainFile);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // Must be recorded (and synced) before the first byte of that file changes. existed=false:
    // the transaction creates the file, rolling back removes it.
    void recordFile(std::uint32_t id, const std::filesystem::path& file, std::uint64_t size,
                    bool existed);
    void recordOriginal(std::uint32_t id, std::uint64_t offset, const void* bytes, std::size_t len);
    // Writes the recorded entries and makes them durable. Entries may reach the file before
    // (see kWriteAhead), but only sync() makes them durable.
    void sync();
    bool onDisk() const { return file_.isOpen(); }
    // The transaction is over: the journal is deleted (durably).
    void discard();
    // Forgets unsynced entries and closes the journal but leaves it for rollBackJournal().
    void abandon();

    // Entries are written out (not synced) once this many bytes of them wait in memory.
    static constexpr std::size_t kWriteAhead = std::size_t{1} << 20;

  private:
    void add(std::uint8_t kind, const std::vector<std::uint8_t>& payload);
    void writePending();

    std::filesystem::path path_;
    PosixFile file_;
    std::uint64_t written_ = 0;
    std::uint64_t synced_ = 0;
    bool created_ = false;  // the file is new: its directory entry is synced with it
    std::vector<std::uint8_t> pending_;
};

// Puts back what a journal recorded and deletes it. The caller holds the table's write lock, so
// the journal's writer is gone or is this process. Returns false when there was no journal.
// The journal is read `piece` bytes at a time, whatever its size.
constexpr std::size_t kJournalPiece = std::size_t{1} << 20;
bool rollBackJournal(const std::filesystem::path& mainFile, std::size_t piece = kJournalPiece);

}  // namespace orn::db
