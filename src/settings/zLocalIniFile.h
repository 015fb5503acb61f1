#pragma once

#include <sys/types.h>

#include <string>

#include "settings/zIniStore.h"
#include "text/inifile.h"

namespace orn {

// An ini file as a settings store. Reads follow changes made on disk; each write re-reads a
// changed file, changes one value and replaces the file atomically, raising "Unable to write to
// %s" when that fails. A read gives at most 2047 characters of a value.
class TzLocalIniFile : public TzCustomIniFile {
  public:
    explicit TzLocalIniFile(std::string fileName, bool readOnly = false);
    ~TzLocalIniFile() override;

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    // Does nothing when ReadOnly.
    void WriteString(const std::string& section, const std::string& key,
                     const std::string& value) override;
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(
        const std::string& section) override;
    // Writes go to disk at once; there is nothing left to flush.
    void UpdateFile() override {}

    const std::string& FileName() const { return fileName_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  private:
    struct Stamp {
        bool exists = false;
        ino_t ino = 0;
        off_t size = 0;
        long long mtimeNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp CurrentStamp() const;
    void Refresh();

    std::string fileName_;
    bool readOnly_;
    TProfileFile profile_;
    Stamp stamp_;
    bool loaded_ = false;
    // The file exists but could not be read: it must never be replaced by what we hold.
    bool unreadable_ = false;
};

}  // namespace orn
