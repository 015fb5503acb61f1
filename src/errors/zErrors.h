#pragma once
// The error log: the common sink for diagnostic texts. A unit registers an error kind once
// (a short code and a description) and reports texts on it; per kind three switches send its
// lines to the error window's memo (Show), to errorlog.txt (Log) and to an installed receiver
// (Ext). Reporting never waits for any of them: it queues the line, and the outputs are served
// later, in report order, when the host (the error window, or the headless run) gets to it.

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "errors/logfile.h"

namespace orn {

class TErrorLog;

class TCommError {
  public:
    TCommError(std::string code, std::string description, bool counted, bool show, bool log,
               bool ext = false);

    const std::string& Code() const { return code_; }
    const std::string& Description() const { return description_; }
    // Lines of this kind shown in the memo count towards the error limit.
    bool Counted() const { return counted_; }
    bool Show() const { return show_; }
    bool Log() const { return log_; }
    bool Ext() const { return ext_; }
    // Show or Log or Ext.
    bool Active() const { return active_; }
    void SetShow(bool on);
    void SetLog(bool on);
    void SetExt(bool on);
    TErrorLog* Owner() const { return owner_; }

    // Nothing unless Show or Log is on; otherwise the owner's AddError.
    void Report(const std::string& msg);
    void ShowWindow();

  private:
    friend class TErrorLog;
    void Recompute() { active_ = show_ || log_ || ext_; }

    std::string code_;
    std::string description_;
    bool counted_;
    bool show_;
    bool log_;
    bool ext_;
    bool active_ = false;
    TErrorLog* owner_ = nullptr;
};

// What serves the error log's outputs: the error window in the windowed program, the headless
// host in command-line runs.
class TErrorHost {
  public:
    virtual ~TErrorHost() = default;
    // Arranges for TErrorLog::ServePending to run once control is back in the event loop.
    // Called when the first line starts waiting; the headless host serves at once.
    virtual void ScheduleService() = 0;
    virtual void AppendMemo(const std::vector<std::string>& lines) = 0;
    // Makes the window visible and brings it to the front.
    virtual void ShowErrors() {}
    virtual double ErrorLimit() const { return 5; }
    // "Can't write log file <name>!", shown once.
    virtual void ShowLogFileError(const std::string& message) = 0;
};

using TErrorExtraWriter = std::function<bool(const std::string& line)>;

class TErrorLog {
  public:
    // How many lines may wait before reporting serves them itself (so that memory stays
    // bounded when the event loop does not run, without losing a line).
    static constexpr std::size_t kMaxWaiting = 20000;

    explicit TErrorLog(const std::string& logFileName);
    ~TErrorLog();
    TErrorLog(const TErrorLog&) = delete;
    TErrorLog& operator=(const TErrorLog&) = delete;

    // Finds the kind of that code (letter case ignored, as component names are) into `kind`
    // and returns false, or makes a new one, announces it (OnKindAdded may load its stored
    // switches) and returns true.
    bool NewErrorKind(TCommError*& kind, const std::string& code, const std::string& description,
                      bool counted, bool show, bool log);
    TCommError* FindError(const std::string& code) const;
    const std::vector<std::unique_ptr<TCommError>>& Kinds() const { return kinds_; }
    // Called for each kind made from now on (the options dialog adds its row).
    std::function<void(TCommError&)> OnKindAdded;

    // The reporting step: the accept rule, the drop of a repeated message, the line, and the
    // outputs the kind's switches ask for.
    void AddError(TCommError& kind, const std::string& msg);
    // "Mark: ----------------------------" on the kind "ma".
    void Mark();
    // Forgets the last message and the count (the window empties its memo).
    void Clear();

    bool ShowActive() const { return showActive_; }
    void SetShowActive(bool on) { showActive_ = on; }
    int ErrorCount() const { return errorCount_; }
    void ResetErrorCount() { errorCount_ = 0; }
    const std::string& LastMessage() const { return lastMessage_; }
    // Reaching the error limit with a counted line shows the window.
    bool AutoShow = false;
    TErrorExtraWriter ExtraWriter;
    TLogFile& LogFile() { return *logFile_; }

    // The host serves from now on; lines that waited for one are scheduled.
    void SetHost(TErrorHost* host);
    TErrorHost* Host() const { return host_; }
    // Serves every waiting line, in report order.
    void ServePending();
    // At the end of the program: every log line still waiting goes to the file; memo and
    // extra lines are dropped.
    void FinalFlush();
    std::size_t Waiting() const { return waiting_.size(); }

  private:
    enum class Output { Memo, Log, Extra };
    struct Pending {
        Output output;
        TCommError* kind;
        std::string line;
    };
    void Queue(Output output, TCommError& kind, const std::string& line);
    void ServeOne(Pending& item, std::vector<std::string>& memo);
    void FlushMemo(std::vector<std::string>& memo);

    std::vector<std::unique_ptr<TCommError>> kinds_;
    std::unique_ptr<TLogFile> logFile_;
    std::deque<Pending> waiting_;
    TErrorHost* host_ = nullptr;
    bool scheduled_ = false;
    bool serving_ = false;
    bool showActive_ = true;
    int errorCount_ = 0;
    std::string lastMessage_;
    TCommError* markError_ = nullptr;
};

// "yymmdd hhnnss.hh" and one blank.
std::string DefaultTimeStamp();

// The process-wide error log. Made on first use with "ne" and "ma" registered; its log file is
// errorlog.txt in the working directory of that moment, so the program makes it at start.
TErrorLog& GlobalErrorLog();
bool GlobalErrorLogExists();
// Ends the process-wide error log (its final flush runs first); the next use makes a new one.
void ReleaseGlobalErrorLog();

// Registers a kind on the process-wide error log; false when the code already had one (then
// `kind` is that one).
bool RegisterError(TCommError*& kind, const std::string& code, const std::string& description,
                   bool counted, bool show, bool log);

// The kinds of the error log itself.
TCommError& NoError();    // "ne", "No error"
TCommError& MarkError();  // "ma", "An mark"
// "pe", "Program errors": failed program lines and failed guarded database operations. The
// only counted kind: when as many of them reach the memo as the error limit says, the error
// window comes forward.
TCommError& ProgramErrorKind();
// Reports a failure on "pe" as one line (its line breaks become blanks).
void ReportProgramError(const std::string& text);

}  // namespace orn
