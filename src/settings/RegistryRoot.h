#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/GetRegRoot.h"
#include "settings/RegistryFile.h"
#include "settings/zIniStore.h"

namespace orn {

// Where each root's file lives: $ORN_REGISTRY_DIR when set (all roots), else the current user's
// root in $XDG_CONFIG_HOME/orn/registry (~/.config by default) and the machine-wide roots in
// $ORN_MACHINE_REGISTRY_DIR, by default /etc/orn/registry.
std::string RegistryRootFileName(TRegRoot root);

// The file behind one registry root, shared by every store of the process that uses it.
// Reads follow changes other processes made (the file is re-read when it changed on disk);
// each write re-reads the file under an exclusive lock, applies one change and replaces the
// file atomically, so two processes writing the same root keep each other's keys.
class TRegistryRootFile {
  public:
    explicit TRegistryRootFile(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    // True when the file exists and we may both read and write it: a root the user may only
    // read counts as not opened.
    bool FullAccess() const;
    bool KeyExists(const std::string& keyPath);

    // The string value `name` of the key; nullopt when the key or value is missing. A value that
    // is not a string raises "Invalid data type for '%s'".
    std::optional<std::string> ReadValue(const std::string& keyPath, const std::string& name);
    std::vector<std::pair<std::string, std::string>> ReadValues(const std::string& keyPath);

    // Creates the key, and the file and its directory when missing; false when that is not
    // possible (no full access, a directory we cannot create, a bad key name). Raises "Failed
    // to create key %s" with the damage when the file is damaged.
    bool CreateKey(const std::string& keyPath);
    // Stores a string value, creating the key when missing. Raises the store errors.
    void WriteValue(const std::string& keyPath, const std::string& name, const std::string& value);

    // Lines kept verbatim at the last read because they could not be understood.
    std::size_t DamagedLines() const { return doc_.damagedLines; }
    // Empty unless the file at the last read could not be held (see TRegDocument::damage): then
    // "the settings file <name> is damaged (<what, where>); it is left as it is". Such a file
    // yields no keys, and every write to it fails with this text instead of replacing it.
    std::string Damage() const;

  private:
    struct Stamp {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        long long mtimeNs = 0;
        bool operator==(const Stamp&) const = default;
    };

    Stamp CurrentStamp() const;
    void Refresh();
    void Reload();
    // Runs change on the freshly re-read document under the lock and saves it; the text of the
    // failure goes to error.
    template <class F>
    bool Modify(F&& change, std::string& error);
    bool SaveLocked(std::string& error);

    std::string fileName_;
    reg::TRegDocument doc_;
    Stamp stamp_;
    bool loaded_ = false;
    bool readFailed_ = false;
};

// The shared file object of a root (its location is looked up now).
std::shared_ptr<TRegistryRootFile> OpenRegistryRoot(TRegRoot root);

}  // namespace orn
