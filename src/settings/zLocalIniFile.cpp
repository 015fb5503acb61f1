#include "settings/zLocalIniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orn {

namespace {

bool ReadWhole(const std::string& fileName, std::string& text) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

}  // namespace

TzLocalIniFile::TzLocalIniFile(std::string fileName, bool readOnly)
    : fileName_(std::move(fileName)), readOnly_(readOnly) {}

TzLocalIniFile::~TzLocalIniFile() = default;

TzLocalIniFile::Stamp TzLocalIniFile::CurrentStamp() const {
    struct stat st {};
    Stamp s;
    if (::stat(fileName_.c_str(), &st) == 0) {
        s.exists = true;
        s.ino = st.st_ino;
        s.size = st.st_size;
        s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    }
    return s;
}

void TzLocalIniFile::Refresh() {
    const Stamp now = CurrentStamp();
    if (loaded_ && now == stamp_)
        return;
    stamp_ = now;
    loaded_ = true;
    std::string text;
    unreadable_ = now.exists && !ReadWhole(fileName_, text);
    profile_ = unreadable_ ? TProfileFile() : TProfileFile::Parse(text);
}

std::string TzLocalIniFile::ReadString(const std::string& section, const std::string& key,
                                       const std::string& defaultValue) {
    Refresh();
    return profile_.ReadString(section, key, defaultValue);
}

void TzLocalIniFile::WriteString(const std::string& section, const std::string& key,
                                 const std::string& value) {
    if (readOnly_)
        return;
    // Another process may write the file at the same time: read, change and write under its lock,
    // and read it again whatever the stamp says (a replaced file can look the same).
    TProfileLock lock(fileName_);
    loaded_ = false;
    Refresh();
    if (unreadable_)
        throw TProfileWriteError(fileName_);
    profile_.WriteString(section, key, value);
    try {
        profile_.Save(fileName_);
    } catch (...) {
        loaded_ = false;  // what we hold is not on disk: read the file again next time
        throw;
    }
    stamp_ = CurrentStamp();
}

std::vector<std::pair<std::string, std::string>> TzLocalIniFile::ReadSectionValues(
    const std::string& section) {
    Refresh();
    std::vector<std::pair<std::string, std::string>> values;
    for (const auto& entry : profile_.ReadSection(section)) {
        values.emplace_back(entry.key, entry.value);
    }
    return values;
}

}  // namespace orn
