#include "shell/recentfiles.h"

#include <algorithm>

#include "settings/IniReadOrder.h"

namespace orn {

namespace {
constexpr const char* kSection = "RecentFiles";
}

void TRecentFiles::Load() {
    items_.clear();
    for (std::size_t i = 0; i < kMaxCount; ++i) {
        std::string path = ReadIniString("", kSection, std::to_string(i), "");
        if (!path.empty() && std::find(items_.begin(), items_.end(), path) == items_.end()) {
            items_.push_back(std::move(path));
        }
    }
}

void TRecentFiles::Save() const {
    for (std::size_t i = 0; i < kMaxCount; ++i) {
        WriteIniString("", kSection, std::to_string(i), i < items_.size() ? items_[i] : "");
    }
}

void TRecentFiles::Add(const std::string& path) {
    if (path.empty()) {
        return;
    }
    Remove(path);
    items_.insert(items_.begin(), path);
    if (items_.size() > kMaxCount) {
        items_.resize(kMaxCount);
    }
}

void TRecentFiles::Remove(const std::string& path) {
    items_.erase(std::remove(items_.begin(), items_.end(), path), items_.end());
}

}  // namespace orn
