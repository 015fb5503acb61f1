#pragma once

#include <memory>
#include <optional>
#include <string>

#include "settings/GetRegRoot.h"
#include "settings/zIniStore.h"

namespace orn {

class TRegistryRootFile;

// A registry key as a settings store: a section is a subkey of the key ("\" in a section names
// nested subkeys), a key is a string value under it.
class TzRegistryIniFile : public TzCustomIniFile {
  public:
    // A given root overrides the root named at the start of path (GetRegRoot). The key is opened
    // without being created; KeyOpened tells whether it exists with full access.
    explicit TzRegistryIniFile(const std::string& path,
                               std::optional<TRegRoot> root = std::nullopt);
    ~TzRegistryIniFile() override;

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    // Does nothing when ReadOnly. The first write creates the key; when that is impossible the
    // write is dropped without an error.
    void WriteString(const std::string& section, const std::string& key,
                     const std::string& value) override;
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(
        const std::string& section) override;
    void UpdateFile() override {}

    const std::string& KeyPath() const { return keyPath_; }
    TRegRoot RootKey() const { return rootKey_; }
    bool WriteOpened() const { return writeOpened_; }
    bool KeyOpened() const { return keyOpened_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    const std::string& FileName() const;

  private:
    std::string SubkeyPath(const std::string& section) const;

    std::string keyPath_;
    TRegRoot rootKey_;
    bool writeOpened_ = false;
    bool readOnly_ = false;
    bool keyOpened_ = false;
    std::shared_ptr<TRegistryRootFile> file_;
};

}  // namespace orn
