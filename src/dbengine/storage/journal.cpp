#include "dbengine/storage/journal.h"

#include <unistd.h>

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

std::uint32_t checksum(const std::uint8_t* data, std::size_t len) {
    std::uint32_t h = 2166136261u;
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

bool rollBackJournal(const std::filesystem::path& mainFile) {
    std::filesystem::path jpath = journalPath(mainFile);
    std::vector<std::uint8_t> data;
    {
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
        data.resize(j.size());
        data.resize(j.readAt(0, data.data(), data.size()));
    }

    struct Target {
        std::filesystem::path path;
        std::uint64_t size = 0;
        bool existed = true;
        PosixFile file;
    };
    std::map<std::uint32_t, Target> targets;
    const std::filesystem::path dir = mainFile.parent_path();

    std::size_t pos = sizeof kMagic;
    bool valid = data.size() >= sizeof kMagic && std::memcmp(data.data(), kMagic, 8) == 0;
    while (valid && pos + 9 <= data.size()) {
        std::uint8_t kind = data[pos];
        std::uint32_t len = getU32(&data[pos + 1]);
        if (len > data.size() - pos - 9)
            break;
        const std::uint8_t* payload = &data[pos + 5];
        if (checksum(&data[pos], 5 + len) != getU32(payload + len))
            break;
        pos += 9 + len;
        if (kind == kFileEntry && len >= 13) {
            Target t;
            t.size = getU64(payload + 4);
            t.existed = payload[12] != 0;
            const std::string name(reinterpret_cast<const char*>(payload + 13), len - 13);
            if (!ownFileName(mainFile, name))
                continue;  // not a file of this table: never touched
            t.path = dir / name;
            targets[getU32(payload)] = std::move(t);
        } else if (kind == kRangeEntry && len >= 12) {
            auto it = targets.find(getU32(payload));
            if (it == targets.end() || !it->second.existed)
                continue;
            Target& t = it->second;
            if (!t.file.isOpen())
                t.file = PosixFile(t.path, PosixFile::Access::ReadWrite);
            t.file.writeAt(getU64(payload + 4), payload + 12, len - 12);
        }
    }
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
