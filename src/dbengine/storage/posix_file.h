#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct stat;
struct iovec;

namespace orn::db {

// An owned file descriptor with whole-buffer reads and writes. Every failure throws EngineError
// naming the file and the system's reason.
class PosixFile {
  public:
    enum class Access {
        Read,
        ReadWrite,
        Create,  // read/write, made if missing
        // Read/write, made new and exclusively; fails when anything (a link included) has the name.
        CreateNew,
        // Read/write, made new for a name that belongs to the caller (a table being created, a
        // journal under the write lock): whatever had the name is removed first, a link itself
        // rather than its target, and never written through.
        CreateFresh,
        ReadNoLink,       // read; fails (ELOOP) rather than follow a symbolic link
        ReadWriteNoLink,  // read/write; fails (ELOOP) rather than follow a symbolic link
    };

    PosixFile() = default;
    PosixFile(const std::filesystem::path& path, Access access);
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    ~PosixFile();

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }

    std::uint64_t size() const;
    // Size and modification time together: changes whenever any process writes the file.
    std::pair<std::uint64_t, std::int64_t> changeStamp() const;
    // The same from what fstat() or stat() returned.
    static std::pair<std::uint64_t, std::int64_t> changeStamp(const struct ::stat& st);
    // Reads up to len bytes at offset; returns fewer only at the end of the file.
    std::size_t readAt(std::uint64_t offset, void* dst, std::size_t len) const;
    void writeAt(std::uint64_t offset, const void* src, std::size_t len);
    // Writes the pieces one after another from offset, many at a time, without copying them
    // together first.
    void writeAt(std::uint64_t offset, std::vector<struct ::iovec> pieces);
    void truncate(std::uint64_t size);
    void sync();
    void close();

    // Reads by every PosixFile of the process since it started: calls and bytes. Tests count them
    // to check that a lookup reads a few blocks rather than the whole table.
    struct ReadCounters {
        std::uint64_t calls = 0;
        std::uint64_t bytes = 0;
    };
    static ReadCounters readCounters();

  private:
    int fd_ = -1;
    std::filesystem::path path_;
};

// Makes a directory entry change (create, rename, unlink) durable.
void syncDirectory(const std::filesystem::path& dir);

// "<path>: <strerror(err)>" for error messages.
std::string systemErrorText(const std::filesystem::path& path, int err);

}  // namespace orn::db
