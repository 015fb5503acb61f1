#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orn::reg {

// One line below a key header: a string value, a value of another type (kept as written), or a
// line that could not be read (a comment, or damage), kept verbatim so that rewriting the file
// never loses it.
struct TRegEntry {
    enum class Kind { String, Other, Line };
    Kind kind = Kind::Line;
    std::string name;
    std::string data;
};

// A key with its values and subkeys; names compare without regard to ASCII letter case and keep
// the case they were created with.
class TRegKey {
  public:
    TRegKey() = default;
    explicit TRegKey(std::string name) : name_(std::move(name)) {}
    // Freeing and replacing a tree walk it with a list, not with the call stack: however deep
    // a file nests its keys, they are released without recursion.
    ~TRegKey();
    TRegKey(TRegKey&& other) noexcept = default;
    TRegKey& operator=(TRegKey&& other) noexcept;
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;

    const std::string& Name() const { return name_; }
    const std::vector<TRegEntry>& Entries() const { return entries_; }
    const std::vector<std::unique_ptr<TRegKey>>& Subkeys() const { return subkeys_; }

    TRegKey* FindSubkey(std::string_view name) const;
    TRegKey& SubkeyOrAdd(std::string_view name);
    const TRegEntry* FindValue(std::string_view name) const;
    void SetString(std::string_view name, std::string_view value);
    void AddEntry(TRegEntry entry) { entries_.push_back(std::move(entry)); }

    // Walks a "\"-separated path below this key; empty parts are skipped.
    TRegKey* Find(std::string_view path);
    TRegKey& FindOrCreate(std::string_view path);

  private:
    void ReleaseSubkeys() noexcept;

    std::string name_;
    std::vector<TRegEntry> entries_;
    std::vector<std::unique_ptr<TRegKey>> subkeys_;
};

// The most levels of keys below a root that a store holds (the limit of the platform the stores
// come from). A file that nests deeper is damaged.
inline constexpr std::size_t kMaxKeyDepth = 512;

struct TRegDocument {
    TRegKey root;
    // Lines kept verbatim because they were neither a comment, a key header nor a value.
    std::size_t damagedLines = 0;
    // Non-empty when the file cannot be held (a key header nested beyond the limit):
    // what is wrong and on which line. The root is then empty; such a file is refused, never
    // rewritten.
    std::string damage;
};

// Reads the text of one root file. Never fails: a line that cannot be read is kept as an opaque
// line; a key header nested beyond the limit sets `damage` and ends the reading.
TRegDocument ParseRegistryText(std::string_view text);

// Why a key path cannot be held ("" when it can): too many levels.
std::string KeyPathBeyondLimits(std::string_view path);

// The text of a root file; rootComment starts a file whose root key holds no lines yet.
std::string FormatRegistryText(const TRegKey& root, std::string_view rootComment);

// Splits a key path at "\", dropping empty parts.
std::vector<std::string> SplitKeyPath(std::string_view path);

// A key name may not be empty and may not hold "\" or control characters (they would break
// the one-header-per-line text).
bool ValidKeyName(std::string_view name);

bool SameName(std::string_view a, std::string_view b);

}  // namespace orn::reg
