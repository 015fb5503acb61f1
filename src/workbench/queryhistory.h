#pragma once
// The SQL history of the query windows: one entry per key "0", "1", ... in section "SQLHistory"
// of the program's own ini file. Add and Del read the file again before they write it, so two
// windows that edit the history one after the other both keep their entries.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orn {

inline constexpr const char* kHistorySection = "SQLHistory";
inline constexpr int kHistoryLastKey = 1000;

// Add on a history whose every shown place is taken.
class THistoryFull : public std::runtime_error {
  public:
    THistoryFull();
};

class TQueryHistory {
  public:
    // The file is IniFileName("", ".ini") unless given.
    explicit TQueryHistory(std::string fileName = {});

    const std::string& FileName() const { return fileName_; }
    const std::vector<std::string>& Items() const { return items_; }

    // Reads keys "0" to "1000" until one is missing (or holds exactly "xxx"); values that
    // compare below a run of 12 blanks (empty ones, blanks only, a control character first) are
    // skipped. An unreadable file gives an empty history. Entries stored beyond key "1000" (a
    // history written elsewhere) are not shown but kept: Save writes them after the items.
    void Load();
    // Rewrites the section with the items in order, then the entries kept unshown; throws
    // TProfileWriteError.
    void Save() const;

    // Adds `text` unless it compares below a run of 34 blanks (false then) or is already there;
    // the file is read again first and written after. Throws TProfileWriteError, and
    // THistoryFull when all 1001 shown places are taken (an entry added there could never show).
    bool Add(const std::string& text);
    // Deletes `text` when the history (read again from the file) holds it and returns what the
    // SQL box shows next: the entry that took its place, or "" when it was the last one.
    // Nothing changes (nullopt) when the text is not in the history. Throws TProfileWriteError.
    std::optional<std::string> Del(const std::string& text);

  private:
    std::string fileName_;
    std::vector<std::string> items_;
    std::vector<std::string> unshown_;  // stored after key "1000"
};

}  // namespace orn
