#include "workbench/queryhistory.h"

#include <algorithm>

#include "settings/IniName.h"
#include "text/inifile.h"

namespace orn {

namespace {

// Byte-wise comparison: a letter or any byte above the blank compares greater than a blank, so
// short statements pass while texts of blanks or control characters do not.
bool BelowBlanks(const std::string& text, std::size_t blanks) {
    return text < std::string(blanks, ' ');
}

}  // namespace

TQueryHistory::TQueryHistory(std::string fileName)
    : fileName_(fileName.empty() ? IniFileName("", ".ini") : std::move(fileName)) {}

void TQueryHistory::Load() {
    items_.clear();
    const TProfileFile file = TProfileFile::Load(fileName_);
    for (int key = 0; key <= kHistoryLastKey; ++key) {
        const std::string value =
            file.Find(kHistorySection, std::to_string(key)).value_or(std::string("xxx"));
        if (value == "xxx") {
            break;
        }
        if (!BelowBlanks(value, 12)) {
            items_.push_back(value);
        }
    }
}

void TQueryHistory::Save() const {
    TProfileLock lock(fileName_);  // other processes keep their keys of the file
    TProfileFile file = TProfileFile::Load(fileName_);
    file.EraseSection(kHistorySection);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        file.WriteString(kHistorySection, std::to_string(i), items_[i]);
    }
    file.Save(fileName_);
}

bool TQueryHistory::Add(const std::string& text) {
    if (BelowBlanks(text, 34)) {
        return false;
    }
    Load();
    if (std::find(items_.begin(), items_.end(), text) == items_.end()) {
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
    it = items_.erase(it);
    std::string next = it == items_.end() ? std::string() : *it;
    Save();
    return next;
}

}  // namespace orn
