#include "text/progress.h"

#include <unistd.h>

#include <cstdio>

namespace orn {

namespace {

class TSilentProgress : public TProgress {
  public:
    bool Step(const std::string&, std::int64_t, std::int64_t) override { return true; }
};

TProgress*& Installed() {
    static TSilentProgress silent;
    static thread_local TProgress* current = &silent;
    return current;
}

}  // namespace

TProgress& CurrentProgress() {
    return *Installed();
}

TProgressScope::TProgressScope(TProgress& progress) : previous_(Installed()) {
    Installed() = &progress;
}

TProgressScope::~TProgressScope() {
    Installed() = previous_;
}

TProgressTicker::TProgressTicker(std::string task, std::int64_t total, std::int64_t every)
    : task_(std::move(task)), total_(total), every_(every > 0 ? every : 1) {}

TProgressTicker::~TProgressTicker() {
    CurrentProgress().Finish(task_);
}

bool TProgressTicker::Tick() {
    if (cancelled_) {
        return false;
    }
    ++done_;
    if (done_ % every_ == 0 && !CurrentProgress().Step(task_, done_, total_)) {
        cancelled_ = true;
    }
    return !cancelled_;
}

TTerminalProgress::TTerminalProgress(std::int64_t minimum)
    : minimum_(minimum), terminal_(::isatty(STDERR_FILENO) == 1) {}

bool TTerminalProgress::Step(const std::string& task, std::int64_t done, std::int64_t total) {
    if (!terminal_ || (done < minimum_ && total < minimum_)) {
        return true;
    }
    if (total > 0) {
        std::fprintf(stderr, "\r%s: %lld of %lld rows\033[K", task.c_str(),
                     static_cast<long long>(done), static_cast<long long>(total));
    } else {
        std::fprintf(stderr, "\r%s: %lld rows\033[K", task.c_str(), static_cast<long long>(done));
    }
    std::fflush(stderr);
    shown_ = true;
    return true;
}

void TTerminalProgress::Finish(const std::string&) {
    if (shown_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        shown_ = false;
    }
}

}  // namespace orn
