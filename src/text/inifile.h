#pragma once
// Profile (ini) files with the section and key rules that program files and settings rely on:
// section and key names compare without regard to case, blanks around keys and values are
// dropped, a value enclosed in a matching pair of single or double quotes is read without them,
// lines whose first non-blank character is ";" are comments, a repeated key yields the value of
// its first occurrence, and ReadString cuts values at kProfileValueLimit characters.
// Writes go to a temporary file beside the target that then replaces it, so a crash leaves the
// old or the new file, never a half-written one.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orn {

inline constexpr std::size_t kProfileValueLimit = 2047;

// Raised when a profile file cannot be written; the message is "Unable to write to <file>".
class TProfileWriteError : public std::runtime_error {
  public:
    explicit TProfileWriteError(const std::string& fileName);
};

struct ProfileEntry {
    std::string key;    // as written in the file, trimmed
    std::string value;  // the value of the key's first occurrence, cut at kProfileValueLimit
    bool cut = false;   // true when the value was longer than the limit
};

// One profile file held in memory. Loading a missing or unreadable file, or anything that is not
// a regular file, gives an empty profile; nothing is written until Save.
class TProfileFile {
  public:
    TProfileFile() = default;
    static TProfileFile Load(const std::string& fileName);
    static TProfileFile Parse(std::string_view text);

    std::vector<std::string> SectionNames() const;
    bool HasSection(std::string_view section) const;
    // The full value of the key's first occurrence, without the length limit.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback = {}) const;
    // Every entry of the section in file order (repeated keys included, each with the value of
    // its key's first occurrence). A missing section gives an empty list.
    std::vector<ProfileEntry> ReadSection(std::string_view section) const;
    // The lines of the section (trimmed) that are neither blank, nor a comment, nor Key=Value:
    // ReadSection skips them.
    std::vector<std::string> LinesWithoutKey(std::string_view section) const;

    // Changes in memory. Line breaks inside a value are written as blanks, so a value can never
    // add lines or sections to the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void DeleteKey(std::string_view section, std::string_view key);
    void EraseSection(std::string_view section);
    // The section anew with these keys and values in order, at the end of the file; one pass,
    // for sections of thousands of keys.
    void ReplaceSection(std::string_view section,
                        const std::vector<std::pair<std::string, std::string>>& entries);

    // Writes the whole profile atomically; throws TProfileWriteError.
    void Save(const std::string& fileName) const;
    std::string Text() const;

  private:
    std::vector<std::string> lines_;
    std::string newline_ = "\n";
    bool bom_ = false;
};

// One-call helpers over TProfileFile.
std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view key, std::string_view fallback = {});
std::vector<ProfileEntry> ReadProfileSection(const std::string& fileName, std::string_view section);
// Reads the file, changes one value and writes the file atomically; throws TProfileWriteError.
void WriteProfileString(const std::string& fileName, std::string_view section, std::string_view key,
                        std::string_view value);

// Replaces fileName atomically by text (temporary file beside it, then rename); keeps the
// permissions of an existing file and writes through the user's own symbolic link to its target,
// never through someone else's link in a shared directory (text/safefile.h). Throws
// TProfileWriteError.
void WriteFileAtomically(const std::string& fileName, std::string_view text);

}  // namespace orn
