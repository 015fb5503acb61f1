#include "settings/RegistryRoot.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "settings/IniName.h"
#include "text/safefile.h"

namespace orn {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFileComment = "; ORN settings: one registry root, edited by the program";

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::string(v) : fallback;
}

std::string UserConfigDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

bool DirWritable(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return FileWritable(dir);
}

std::string DirOf(const std::string& fileName) {
    return fs::path(fileName).parent_path().string();
}

// Closes a descriptor on every way out, releasing a lock held on it.
class FdGuard {
  public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadWholeFile(const std::string& fileName, std::string& text) {
    FdGuard fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    text.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

std::string RegistryRootFileName(TRegRoot root) {
    const std::string name = std::string(RegRootName(root)) + ".reg";
    const std::string all = EnvOr("ORN_REGISTRY_DIR", "");
    if (!all.empty())
        return all + "/" + name;
    if (root == TRegRoot::CurrentUser)
        return UserConfigDir() + "/orn/registry/" + name;
    return EnvOr("ORN_MACHINE_REGISTRY_DIR", "/etc/orn/registry") + "/" + name;
}

TRegistryRootFile::TRegistryRootFile(std::string fileName) : fileName_(std::move(fileName)) {}

TRegistryRootFile::Stamp TRegistryRootFile::CurrentStamp() const {
    struct stat st {};
    Stamp s;
    if (::stat(fileName_.c_str(), &st) == 0) {
        s.exists = true;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.size = st.st_size;
        s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    }
    return s;
}

bool TRegistryRootFile::FullAccess() const {
    struct stat st {};
    if (::stat(fileName_.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return ::access(fileName_.c_str(), R_OK) == 0 && FileWritable(fileName_);
}

void TRegistryRootFile::Reload() {
    stamp_ = CurrentStamp();
    std::string text;
    readFailed_ = stamp_.exists && !ReadWholeFile(fileName_, text);
    doc_ = readFailed_ ? reg::TRegDocument{} : reg::ParseRegistryText(text);
    loaded_ = true;
}

void TRegistryRootFile::Refresh() {
    if (!loaded_ || CurrentStamp() != stamp_)
        Reload();
}

bool TRegistryRootFile::KeyExists(const std::string& keyPath) {
    if (!FullAccess())
        return false;
    Refresh();
    return !readFailed_ && doc_.damage.empty() && doc_.root.Find(keyPath) != nullptr;
}

std::string TRegistryRootFile::Damage() const {
    if (doc_.damage.empty())
        return {};
    return "the settings file " + fileName_ + " is damaged (" + doc_.damage +
           "); it is left as it is";
}

std::optional<std::string> TRegistryRootFile::ReadValue(const std::string& keyPath,
                                                        const std::string& name) {
    Refresh();
    if (readFailed_)
        throw EStoreError("Failed to get data for '" + name + "'");
    const reg::TRegKey* key = doc_.root.Find(keyPath);
    const reg::TRegEntry* entry = key != nullptr ? key->FindValue(name) : nullptr;
    if (entry == nullptr)
        return std::nullopt;
    if (entry->kind != reg::TRegEntry::Kind::String) {
        throw EStoreError("Invalid data type for '" + name + "'");
    }
    return entry->data;
}

std::vector<std::pair<std::string, std::string>> TRegistryRootFile::ReadValues(
    const std::string& keyPath) {
    Refresh();
    std::vector<std::pair<std::string, std::string>> values;
    if (const reg::TRegKey* key = doc_.root.Find(keyPath)) {
        for (const auto& e : key->Entries()) {
            if (e.kind == reg::TRegEntry::Kind::String)
                values.emplace_back(e.name, e.data);
        }
    }
    return values;
}

template <class F>
bool TRegistryRootFile::Modify(F&& change, std::string& error) {
    ForceFileDir(fileName_);
    const std::string dir = DirOf(fileName_);
    if (CurrentStamp().exists ? !FullAccess() : !DirWritable(dir)) {
        error = "no write access to " + fileName_;
        return false;
    }
    // The lock lives in its own file: the root file itself is replaced by every write.
    const std::string lockName = fileName_ + ".lock";
    // ORN never makes a link there: one found is not followed.
    int fd = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        fd = ::open(lockName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    FdGuard lock(fd);
    if (lock.get() < 0) {
        error = "cannot lock " + fileName_;
        return false;
    }
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            error = "cannot lock " + fileName_;
            return false;
        }
    }
    Reload();
    if (readFailed_) {
        // A file we could not read whole is never replaced.
        error = "cannot read " + fileName_;
        return false;
    }
    if (!doc_.damage.empty()) {
        // Nor is one we could not hold whole.
        error = Damage();
        return false;
    }
    if (!change(doc_.root)) {
        loaded_ = false;
        return false;
    }
    const bool saved = SaveLocked(error);
    if (!saved)
        loaded_ = false;
    return saved;
}

bool TRegistryRootFile::SaveLocked(std::string& error) {
    static std::atomic<unsigned> counter{0};
    const std::string text = reg::FormatRegistryText(doc_.root, kFileComment);
    // A root file that is the user's own symbolic link (kept with the user's other dotfiles, say)
    // is replaced at its target, so the link survives; someone else's link is not followed.
    const std::string target = FollowOwnLinks(fileName_);
    if (target.empty()) {
        error = "cannot write " + fileName_ + " through another user's link";
        return false;
    }
    const std::string tempName =
        target + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
    FdGuard out(::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (out.get() < 0) {
        error = "cannot create " + tempName;
        return false;
    }
    struct stat old {};
    bool ok = WriteAll(out.get(), text);
    if (ok && ::stat(target.c_str(), &old) == 0)
        ok = ::fchmod(out.get(), old.st_mode & 07777) == 0;
    ok = ok && ::fsync(out.get()) == 0;
    ok = ::close(out.release()) == 0 && ok;
    ok = ok && ::rename(tempName.c_str(), target.c_str()) == 0;
    if (!ok) {
        error = "cannot write " + fileName_;
        ::unlink(tempName.c_str());
        return false;
    }
    // The directory is not synced: until it is, a crash leaves the old file, never a torn one.
    stamp_ = CurrentStamp();
    return true;
}

bool TRegistryRootFile::CreateKey(const std::string& keyPath) {
    for (const auto& part : reg::SplitKeyPath(keyPath)) {
        if (!reg::ValidKeyName(part))
            return false;
    }
    if (!reg::KeyPathBeyondLimits(keyPath).empty())
        return false;
    std::string error;
    if (KeyExists(keyPath))
        return true;
    const bool created = Modify(
        [&](reg::TRegKey& root) {
            root.FindOrCreate(keyPath);
            return true;
        },
        error);
    if (!created && !doc_.damage.empty())
        throw EStoreError("Failed to create key " + keyPath + ": " + error);
    return created;
}

void TRegistryRootFile::WriteValue(const std::string& keyPath, const std::string& name,
                                   const std::string& value) {
    for (const auto& part : reg::SplitKeyPath(keyPath)) {
        if (!reg::ValidKeyName(part))
            throw EStoreError("Failed to create key " + keyPath);
    }
    if (!reg::KeyPathBeyondLimits(keyPath).empty())
        throw EStoreError("Failed to create key " + keyPath);
    std::string error;
    const bool written = Modify(
        [&](reg::TRegKey& root) {
            root.FindOrCreate(keyPath).SetString(name, value);
            return true;
        },
        error);
    if (!written && !doc_.damage.empty())
        throw EStoreError("Failed to set data for '" + name + "': " + error);
    if (!written)
        throw EStoreError("Failed to set data for '" + name + "'");
}

std::shared_ptr<TRegistryRootFile> OpenRegistryRoot(TRegRoot root) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<TRegistryRootFile>> open;
    const std::string fileName = RegistryRootFileName(root);
    std::lock_guard lock(mutex);
    if (auto file = open[fileName].lock())
        return file;
    auto file = std::make_shared<TRegistryRootFile>(fileName);
    open[fileName] = file;
    return file;
}

}  // namespace orn
