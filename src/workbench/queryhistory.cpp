#include "workbench/queryhistory.h"

#include <algorithm>
#include <unordered_map>

#include "settings/IniName.h"
#include "text/inifile.h"
#include "text/zstring.h"

namespace orn {

namespace {

// Byte-wise comparison: a letter or any byte above the blank compares greater than a blank, so
// short statements pass while texts of blanks or control characters do not.
bool BelowBlanks(const std::string& text, std::size_t blanks) {
    return text < std::string(blanks, ' ');
}

}  // namespace

THistoryFull::THistoryFull()
    : std::runtime_error("The SQL history is full (" + std::to_string(kHistoryLastKey + 1) +
                         " entries): delete one to add another") {}

TQueryHistory::TQueryHistory(std::string fileName)
    : fileName_(fileName.empty() ? IniFileName("", ".ini") : std::move(fileName)) {}

void TQueryHistory::Load() {
    items_.clear();
    unshown_.clear();
    const TProfileFile file = TProfileFile::Load(fileName_);
    // One pass over the section, however many entries it holds.
    const std::vector<ProfileEntry> entries = file.ReadSection(kHistorySection);
    std::unordered_map<std::string, const ProfileEntry*> byKey;
    for (const ProfileEntry& entry : entries) {
        byKey.emplace(LowerCase(entry.key), &entry);
    }
    for (int key = 0;; ++key) {
        const auto found = byKey.find(std::to_string(key));
        if (found == byKey.end() || found->second->value == "xxx") {
            break;
        }
        // A statement longer than a profile value is read whole.
        const std::string value = found->second->cut
                                      ? file.Find(kHistorySection, std::to_string(key)).value()
                                      : found->second->value;
        if (!BelowBlanks(value, 12)) {
            (key <= kHistoryLastKey ? items_ : unshown_).push_back(value);
        }
    }
}

void TQueryHistory::Save() const {
    TProfileFile file = TProfileFile::Load(fileName_);
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(items_.size() + unshown_.size());
    for (const auto* list : {&items_, &unshown_}) {
        for (const std::string& item : *list) {
            entries.emplace_back(std::to_string(entries.size()), item);
        }
    }
    file.ReplaceSection(kHistorySection, entries);
    file.Save(fileName_);
}

bool TQueryHistory::Add(const std::string& text) {
    if (BelowBlanks(text, 34)) {
        return false;
    }
    Load();
    if (std::find(items_.begin(), items_.end(), text) == items_.end()) {
        if (items_.size() > static_cast<std::size_t>(kHistoryLastKey)) {
            throw THistoryFull();
        }
        items_.push_back(text);
    }
    Save();
    return true;
}

std::optional<std::string> TQueryHistory::Del(const std::string& text) {
    Load();
    auto it = std::find(items_.begin(), items_.end(), text);
    if (it == items_.end()) {
        return std::nullopt;
    }
    const std::size_t at = static_cast<std::size_t>(items_.erase(it) - items_.begin());
    if (!unshown_.empty()) {
        // The first entry kept out of sight moves up into the freed place.
        items_.push_back(std::move(unshown_.front()));
        unshown_.erase(unshown_.begin());
    }
    std::string next = at < items_.size() ? items_[at] : std::string();
    Save();
    return next;
}

}  // namespace orn
