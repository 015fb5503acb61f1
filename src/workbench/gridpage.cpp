#include "workbench/gridpage.h"

#include <algorithm>

namespace orn {

TGridPage::TGridPage(int capacity) : capacity_(std::max(1, capacity)) {}

void TGridPage::Reset(std::int64_t total) {
    total_ = std::max<std::int64_t>(0, total);
    start_ = 0;
}

void TGridPage::SetTotal(std::int64_t total) {
    total_ = std::max<std::int64_t>(0, total);
    start_ = Clamp(start_);
}

int TGridPage::Rows() const {
    return static_cast<int>(std::min<std::int64_t>(capacity_, total_ - start_));
}

int TGridPage::ToPage(std::int64_t row) const {
    return Contains(row) ? static_cast<int>(row - start_) : -1;
}

std::int64_t TGridPage::Clamp(std::int64_t start) const {
    return std::clamp<std::int64_t>(start, 0, std::max<std::int64_t>(0, total_ - capacity_));
}

std::int64_t TGridPage::StartToHold(std::int64_t first, std::int64_t count) const {
    count = std::clamp<std::int64_t>(count, 1, capacity_);
    const std::int64_t from = std::max<std::int64_t>(0, first);
    const std::int64_t to = std::min(total_, first + count);
    if (from >= start_ && to <= start_ + Rows()) {
        return start_;
    }
    return Clamp(first + count / 2 - capacity_ / 2);
}

std::int64_t TGridPage::StartToShow(std::int64_t first, int visible) const {
    visible = std::clamp(visible, 1, capacity_);
    // A capacity under three screens spares what it can.
    const int margin = std::min(visible, (capacity_ - visible) / 2);
    return StartToHold(first - margin, std::int64_t{visible} + 2 * margin);
}

std::int64_t TGridPage::StartToMoveFrom(std::int64_t row, int visible) const {
    const int reach = std::clamp(visible, 1, std::max(1, (capacity_ - 1) / 2));
    return StartToHold(row - reach, 2 * std::int64_t{reach} + 1);
}

void TGridPage::MoveTo(std::int64_t start) {
    start_ = Clamp(start);
}

}  // namespace orn
