#pragma once
// How long work (export, save as a table, paste, import) says how far it got and learns that the
// user wants it to stop. The work asks the current reporter; the window installs one that shows a
// progress dialog with Cancel, a headless run one that prints on a terminal, and without either
// nothing is shown and nothing is cancelled.

#include <cstdint>
#include <string>

namespace orn {

class TProgress {
  public:
    virtual ~TProgress() = default;
    // `done` units of `total` (0: not known) of the task. False asks the work to stop.
    virtual bool Step(const std::string& task, std::int64_t done, std::int64_t total) = 0;
    // The task is over (finished, failed or cancelled).
    virtual void Finish(const std::string& task) {}
};

// The reporter long work uses now: the innermost installed by a TProgressScope, else a silent one.
TProgress& CurrentProgress();

// Installs a reporter for its lifetime.
class TProgressScope {
  public:
    explicit TProgressScope(TProgress& progress);
    ~TProgressScope();
    TProgressScope(const TProgressScope&) = delete;
    TProgressScope& operator=(const TProgressScope&) = delete;

  private:
    TProgress* previous_;
};

// Counts the units of one task inside a loop and reports every `every` units; once the reporter
// answered false, every later Tick is false too. Finishes the task when it goes.
class TProgressTicker {
  public:
    TProgressTicker(std::string task, std::int64_t total, std::int64_t every = 500);
    ~TProgressTicker();
    TProgressTicker(const TProgressTicker&) = delete;
    TProgressTicker& operator=(const TProgressTicker&) = delete;

    // One more unit done; false when the work is to stop.
    bool Tick();
    std::int64_t Count() const { return done_; }
    bool Cancelled() const { return cancelled_; }

  private:
    std::string task_;
    std::int64_t total_;
    std::int64_t every_;
    std::int64_t done_ = 0;
    bool cancelled_ = false;
};

// Progress of headless runs: one line on standard error, rewritten in place, only when standard
// error is a terminal; the task's line is cleared when it ends. Never cancels.
class TTerminalProgress : public TProgress {
  public:
    // `minimum`: units a task must reach before anything is printed.
    explicit TTerminalProgress(std::int64_t minimum = 10000);
    bool Step(const std::string& task, std::int64_t done, std::int64_t total) override;
    void Finish(const std::string& task) override;

  private:
    std::int64_t minimum_;
    bool terminal_;
    bool shown_ = false;
};

}  // namespace orn
