#pragma once
// The files and folders the user opened last, newest first, for the "&File" menu. Kept in the
// settings (section "RecentFiles", keys "0" to "7") so the next start shows them too.

#include <string>
#include <vector>

namespace orn {

class TRecentFiles {
  public:
    static constexpr std::size_t kMaxCount = 8;

    // Replaces the list by the stored one; empty and repeated entries are skipped.
    void Load();
    // Writes the list; keys past its end are emptied, so a shorter list does not leave old
    // entries behind. A store that cannot be written is reported by the settings layer.
    void Save() const;

    // Puts `path` first (moving it there when it is already listed) and drops what falls past
    // kMaxCount. An empty path changes nothing.
    void Add(const std::string& path);
    void Remove(const std::string& path);

    const std::vector<std::string>& Items() const { return items_; }

  private:
    std::vector<std::string> items_;
};

}  // namespace orn
