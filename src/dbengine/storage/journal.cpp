#include "dbengine/storage/journal.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/table.h"

namespace orn::db {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'N', 'J', 'R', 'N', 'L', '1'};
constexpr std::uint8_t kFileEntry = 1;
constexpr std::uint8_t kRangeEntry = 2;

// FNV-1a; `h` carries the sum of the bytes before these.
constexpr std::uint32_t kChecksumStart = 2166136261u;
std::uint32_t checksum(const std::uint8_t* data, std::size_t len,
                       std::uint32_t h = kChecksumStart) {
    for (std::size_t i = 0; i < len; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putU64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
std::uint32_t getU32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint64_t getU64(const std::uint8_t* p) {
    return getU32(p) | (std::uint64_t(getU32(p + 4)) << 32);
}

// A journal names the files it restores; only the table's own files (its name with another
// extension, any letter case) in its own directory qualify.
bool ownFileName(const std::filesystem::path& mainFile, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return false;
    return asciiLower(std::filesystem::path(name).stem().string()) ==
           asciiLower(mainFile.stem().string());
}

}  // namespace

std::filesystem::path journalPath(const std::filesystem::path& mainFile) {
    std::filesystem::path p = mainFile;
    p += ".orn-journal";
    return p;
}

JournalWriter::JournalWriter(std::filesystem::path mainFile) : path_(journalPath(mainFile)) {}

JournalWriter::~JournalWriter() = default;

void JournalWriter::add(std::uint8_t kind, const std::vector<std::uint8_t>& payload) {
    std::size_t start = pending_.size();
    pending_.push_back(kind);
    putU32(pending_, static_cast<std::uint32_t>(payload.size()));
    pending_.insert(pending_.end(), payload.begin(), payload.end());
    putU32(pending_, checksum(pending_.data() + start, pending_.size() - start));
    if (pending_.size() >= kWriteAhead)
        writePending();
}

// Entries go to the file as they come, so that a transaction that changes much does not hold
// all its original bytes in memory too. Written but not synced they are harmless: no byte
// they restore has changed before sync() returns, and a rollback restores them as they are.
void JournalWriter::writePending() {
    if (pending_.empty())
        return;
    if (!file_.isOpen()) {
        file_ = PosixFile(path_, PosixFile::Access::CreateFresh);
        file_.truncate(0);
        file_.writeAt(0, kMagic, sizeof kMagic);
        written_ = sizeof kMagic;
        created_ = true;
    }
    file_.writeAt(written_, pending_.data(), pending_.size());
    written_ += pending_.size();
    pending_.clear();
    if (pending_.capacity() > 2 * kWriteAhead)
        std::vector<std::uint8_t>().swap(pending_);
}

void JournalWriter::recordFile(std::uint32_t id, const std::filesystem::path& file,
                               std::uint64_t size, bool existed) {
    std::vector<std::uint8_t> payload;
    putU32(payload, id);
    putU64(payload, size);
    payload.push_back(existed ? 1 : 0);
    std::string name = file.filename().string();
    payload.insert(payload.end(), name.begin(), name.end());
    add(kFileEntry, payload);
}

void JournalWriter::recordOriginal(std::uint32_t id, std::uint64_t offset, const void* bytes,
                                   std::size_t len) {
    std::vector<std::uint8_t> payload;
    payload.reserve(12 + len);
    putU32(payload, id);
    putU64(payload, offset);
    const auto* b = static_cast<const std::uint8_t*>(bytes);
    payload.insert(payload.end(), b, b + len);
    add(kRangeEntry, payload);
}

void JournalWriter::sync() {
    if (pending_.empty() && synced_ == written_)
        return;
    writePending();
    file_.sync();
    synced_ = written_;
    if (std::exchange(created_, false))
        syncDirectory(path_.parent_path());
}

void JournalWriter::discard() {
    pending_.clear();
    if (!file_.isOpen())
        return;
    file_.close();
    written_ = synced_ = 0;
    created_ = false;
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
        throw EngineError("Cannot remove " + systemErrorText(path_, errno));
    }
    syncDirectory(path_.parent_path());
}

void JournalWriter::abandon() {
    pending_.clear();
    file_.close();
    written_ = synced_ = 0;
    created_ = false;
}

namespace {

// Reads a journal front to back through a window of at most `piece` bytes, so that recovering a
// journal of any size takes that much memory.
class JournalPieces {
  public:
    JournalPieces(const PosixFile& file, std::size_t piece)
        : file_(file), size_(file.size()), piece_(std::max<std::size_t>(piece, 16)) {}

    std::uint64_t size() const { return size_; }
    std::size_t piece() const { return piece_; }

    // The bytes [at, at + len) in memory, len at most piece(); null past the end of the file.
    const std::uint8_t* view(std::uint64_t at, std::size_t len) {
        if (at > size_)
            return nullptr;
        if (at < start_ || at + len > start_ + window_.size()) {
            window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(piece_, size_ - at)));
            window_.resize(file_.readAt(at, window_.data(), window_.size()));
            start_ = at;
        }
        return at + len <= start_ + window_.size() ? window_.data() + (at - start_) : nullptr;
    }

    // Calls `use` for the bytes [at, at + len) one piece at a time; false when the file ends first.
    template <typename Use>
    bool each(std::uint64_t at, std::uint64_t len, Use&& use) {
        while (len > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(len, piece_));
            const std::uint8_t* p = view(at, n);
            if (p == nullptr)
                return false;
            use(p, n);
            at += n;
            len -= n;
        }
        return true;
    }

  private:
    const PosixFile& file_;
    std::uint64_t size_;
    std::size_t piece_;
    std::vector<std::uint8_t> window_;
    std::uint64_t start_ = 0;
};

// The longest file entry taken: its id, size, flag and a file name.
constexpr std::uint32_t kMaxFileEntry = 13 + 4096;

}  // namespace

bool rollBackJournal(const std::filesystem::path& mainFile, std::size_t piece) {
    std::filesystem::path jpath = journalPath(mainFile);
    PosixFile j;
    try {
        j = PosixFile(jpath, PosixFile::Access::ReadNoLink);
    } catch (const EngineError&) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(jpath, ec);
        if (std::filesystem::is_symlink(status)) {
            // No writer of ours makes a link there: someone else put it in the directory.
            ::unlink(jpath.c_str());
            return false;
        }
        if (!std::filesystem::exists(status))
            return false;
        throw;
    }

    struct Target {
        std::filesystem::path path;
        std::uint64_t size = 0;
        bool existed = true;
        PosixFile file;
    };
    std::map<std::uint32_t, Target> targets;
    const std::filesystem::path dir = mainFile.parent_path();

    // Entries are used up to the first that is not whole (a crash tore the journal there): its
    // checksum is checked over all of it before any of it is used.
    JournalPieces in(j, piece);
    std::uint64_t pos = sizeof kMagic;
    const std::uint8_t* magic = in.view(0, sizeof kMagic);
    bool valid = magic != nullptr && std::memcmp(magic, kMagic, sizeof kMagic) == 0;
    while (valid && pos + 9 <= in.size()) {
        const std::uint8_t* head = in.view(pos, 5);
        if (head == nullptr)
            break;
        const std::uint8_t kind = head[0];
        const std::uint32_t len = getU32(head + 1);
        if (len > in.size() - pos - 9)
            break;
        std::uint32_t sum = kChecksumStart;
        const bool read =
            in.each(pos, 5 + std::uint64_t{len},
                    [&](const std::uint8_t* p, std::size_t n) { sum = checksum(p, n, sum); });
        const std::uint8_t* stored = read ? in.view(pos + 5 + len, 4) : nullptr;
        if (stored == nullptr || getU32(stored) != sum)
            break;
        const std::uint64_t payload = pos + 5;
        pos += 9 + std::uint64_t{len};
        if (kind == kFileEntry && len >= 13 && len <= kMaxFileEntry) {
            std::vector<std::uint8_t> entry(len);
            in.each(payload, len,
                    [&, at = std::size_t{0}](const std::uint8_t* p, std::size_t n) mutable {
                        std::memcpy(entry.data() + at, p, n);
                        at += n;
                    });
            Target t;
            t.size = getU64(entry.data() + 4);
            t.existed = entry[12] != 0;
            const std::string name(reinterpret_cast<const char*>(entry.data() + 13), len - 13);
            if (!ownFileName(mainFile, name))
                continue;  // not a file of this table: never touched
            t.path = dir / name;
            targets[getU32(entry.data())] = std::move(t);
        } else if (kind == kRangeEntry && len >= 12) {
            const std::uint8_t* range = in.view(payload, 12);
            auto it = targets.find(getU32(range));
            if (it == targets.end() || !it->second.existed)
                continue;
            std::uint64_t offset = getU64(range + 4);
            Target& t = it->second;
            if (!t.file.isOpen())
                t.file = PosixFile(t.path, PosixFile::Access::ReadWrite);
            in.each(payload + 12, len - 12, [&](const std::uint8_t* p, std::size_t n) {
                t.file.writeAt(offset, p, n);
                offset += n;
            });
        }
    }
    j.close();
    for (auto& [id, t] : targets) {
        if (!t.existed) {
            t.file.close();
            if (::unlink(t.path.c_str()) != 0 && errno != ENOENT) {
                throw EngineError("Cannot remove " + systemErrorText(t.path, errno));
            }
            continue;
        }
        if (!t.file.isOpen()) {
            if (!std::filesystem::exists(t.path))
                continue;
            t.file = PosixFile(t.path, PosixFile::Access::ReadWrite);
        }
        if (t.file.size() != t.size)
            t.file.truncate(t.size);
        t.file.sync();
    }
    if (::unlink(jpath.c_str()) != 0 && errno != ENOENT) {
        throw EngineError("Cannot remove " + systemErrorText(jpath, errno));
    }
    syncDirectory(dir);
    return true;
}

}  // namespace orn::db
