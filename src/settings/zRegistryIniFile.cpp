#include "settings/zRegistryIniFile.h"

#include "settings/RegistryRoot.h"

namespace orn {

TzRegistryIniFile::TzRegistryIniFile(const std::string& path, std::optional<TRegRoot> root)
    : keyPath_(path) {
    const TRegRoot found = GetRegRoot(keyPath_);
    rootKey_ = root.value_or(found);
    file_ = OpenRegistryRoot(rootKey_);
    keyOpened_ = file_->KeyExists(keyPath_);
}

TzRegistryIniFile::~TzRegistryIniFile() = default;

const std::string& TzRegistryIniFile::FileName() const {
    return file_->FileName();
}

std::string TzRegistryIniFile::SubkeyPath(const std::string& section) const {
    if (keyPath_.empty())
        return section;
    if (section.empty())
        return keyPath_;
    return keyPath_ + "\\" + section;
}

std::string TzRegistryIniFile::ReadString(const std::string& section, const std::string& key,
                                          const std::string& defaultValue) {
    if (!keyOpened_)
        return defaultValue;
    return file_->ReadValue(SubkeyPath(section), key).value_or(defaultValue);
}

void TzRegistryIniFile::WriteString(const std::string& section, const std::string& key,
                                    const std::string& value) {
    if (readOnly_)
        return;
    if (!writeOpened_) {
        if (file_->CreateKey(keyPath_)) {
            keyOpened_ = true;
            writeOpened_ = true;
        } else {
            keyOpened_ = file_->KeyExists(keyPath_);
            return;
        }
    }
    for (const auto& part : reg::SplitKeyPath(section)) {
        if (!reg::ValidKeyName(part))
            throw EStoreError("Failed to create key " + section);
    }
    file_->WriteValue(SubkeyPath(section), key, value);
}

std::vector<std::pair<std::string, std::string>> TzRegistryIniFile::ReadSectionValues(
    const std::string& section) {
    if (!keyOpened_)
        return {};
    return file_->ReadValues(SubkeyPath(section));
}

}  // namespace orn
