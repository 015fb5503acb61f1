#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace orn {

// A store failed to read or write; the message is the text shown to the user.
class EStoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What the read order needs of a store: an ini file or a registry key.
class TzCustomIniFile {
  public:
    virtual ~TzCustomIniFile() = default;

    virtual std::string ReadString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) = 0;
    virtual void WriteString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    // Every Name=Value line of a section, in stored order.
    virtual std::vector<std::pair<std::string, std::string>> ReadSectionValues(
        const std::string& section) = 0;
    virtual void UpdateFile() = 0;

    // A stored integer (decimal or hexadecimal) is true when non-zero.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue);
};

// Parses a decimal integer or a hexadecimal one after "0x", "0X" or "$"; false when the text is
// no number (blanks around it are allowed).
bool ParseIniInteger(const std::string& text, long long& value);

}  // namespace orn
