#pragma once
// The error log in runs without windows: the same errorlog.txt in the start directory, the same
// stored switches, served at once (there is no event loop to wait for and no memo), and the
// log-file failure told once on standard error.

#include <ostream>
#include <string>

#include "errors/zErrors.h"

namespace orn {

class THeadlessErrorHost : public TErrorHost {
  public:
    THeadlessErrorHost(TErrorLog& log, std::ostream& err) : log_(log), err_(err) {}
    void ScheduleService() override { log_.ServePending(); }
    void AppendMemo(const std::vector<std::string>&) override {}
    void ShowLogFileError(const std::string& message) override {
        err_ << "orn: " << message << "\n";
    }

  private:
    TErrorLog& log_;
    std::ostream& err_;
};

// For the length of a headless run: attaches the host to the process-wide error log (made now,
// so errorlog.txt lies in the current directory), loads the stored switches and registers the
// program's kinds; at the end every waiting line is written.
class THeadlessErrorLog {
  public:
    explicit THeadlessErrorLog(std::ostream& err);
    ~THeadlessErrorLog();
    THeadlessErrorLog(const THeadlessErrorLog&) = delete;
    THeadlessErrorLog& operator=(const THeadlessErrorLog&) = delete;

  private:
    TErrorLog& log_;
    THeadlessErrorHost host_;
};

}  // namespace orn
