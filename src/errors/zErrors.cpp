#include "errors/zErrors.h"

#include <filesystem>

#include "text/zstring.h"

namespace orn {

TCommError::TCommError(std::string code, std::string description, bool counted, bool show, bool log,
                       bool ext)
    : code_(std::move(code)),
      description_(std::move(description)),
      counted_(counted),
      show_(show),
      log_(log),
      ext_(ext) {
    Recompute();
}

void TCommError::SetShow(bool on) {
    show_ = on;
    Recompute();
}

void TCommError::SetLog(bool on) {
    log_ = on;
    Recompute();
}

void TCommError::SetExt(bool on) {
    ext_ = on;
    Recompute();
}

void TCommError::Report(const std::string& msg) {
    if ((show_ || log_) && owner_ != nullptr) {
        owner_->AddError(*this, msg);
    }
}

void TCommError::ShowWindow() {
    if (owner_ != nullptr && owner_->Host() != nullptr) {
        owner_->Host()->ShowErrors();
    }
}

std::string DefaultTimeStamp() {
    return TimeStampText() + " ";
}

TErrorLog::TErrorLog(const std::string& logFileName)
    : logFile_(std::make_unique<TLogFile>(logFileName)) {
    logFile_->OnWriteError = [this](const std::string& message) {
        if (host_ != nullptr) {
            host_->ShowLogFileError(message);
        }
    };
    TCommError* kind = nullptr;
    NewErrorKind(kind, "ne", "No error", false, false, false);
    NewErrorKind(markError_, "ma", "An mark", false, false, false);
}

TErrorLog::~TErrorLog() = default;

TCommError* TErrorLog::FindError(const std::string& code) const {
    for (const auto& kind : kinds_) {
        if (SameText(kind->Code(), code)) {
            return kind.get();
        }
    }
    return nullptr;
}

bool TErrorLog::NewErrorKind(TCommError*& kind, const std::string& code,
                             const std::string& description, bool counted, bool show, bool log) {
    if (TCommError* existing = FindError(code)) {
        kind = existing;
        return false;
    }
    kinds_.push_back(std::make_unique<TCommError>(code, description, counted, show, log));
    kind = kinds_.back().get();
    kind->owner_ = this;
    if (OnKindAdded) {
        OnKindAdded(*kind);
    }
    return true;
}

void TErrorLog::AddError(TCommError& kind, const std::string& msg) {
    if (!((showActive_ && kind.Show()) || kind.Log())) {
        return;
    }
    if (msg == lastMessage_) {
        return;
    }
    lastMessage_ = msg;
    const std::string line = DefaultTimeStamp() + "\t" + kind.Code() + "\t" + msg;
    if (showActive_ && kind.Show()) {
        Queue(Output::Memo, kind, line);
    }
    if (!logFile_->Failed && kind.Log()) {
        Queue(Output::Log, kind, line);
    }
    if (kind.Ext()) {
        Queue(Output::Extra, kind, line);
    }
}

void TErrorLog::Mark() {
    if (markError_ != nullptr) {
        AddError(*markError_, "Mark: ----------------------------");
    }
}

void TErrorLog::Clear() {
    errorCount_ = 0;
    lastMessage_.clear();
}

void TErrorLog::Queue(Output output, TCommError& kind, const std::string& line) {
    waiting_.push_back({output, &kind, line});
    if (host_ == nullptr || serving_) {
        return;
    }
    if (waiting_.size() > kMaxWaiting) {
        // The event loop has not run for a long while: serve now rather than grow further.
        ServePending();
        return;
    }
    if (!scheduled_) {
        scheduled_ = true;
        host_->ScheduleService();
    }
}

void TErrorLog::SetHost(TErrorHost* host) {
    host_ = host;
    scheduled_ = false;
    if (host_ != nullptr && !waiting_.empty()) {
        scheduled_ = true;
        host_->ScheduleService();
    }
}

void TErrorLog::FlushMemo(std::vector<std::string>& memo) {
    if (!memo.empty()) {
        host_->AppendMemo(memo);
        memo.clear();
    }
}

void TErrorLog::ServeOne(Pending& item, std::vector<std::string>& memo) {
    switch (item.output) {
        case Output::Memo:
            memo.push_back(std::move(item.line));
            if (item.kind->Counted()) {
                ++errorCount_;
                if (errorCount_ >= host_->ErrorLimit()) {
                    errorCount_ = 0;
                    if (AutoShow) {
                        FlushMemo(memo);
                        host_->ShowErrors();
                    }
                }
            }
            break;
        case Output::Log:
            logFile_->Write(item.line);
            break;
        case Output::Extra:
            if (ExtraWriter) {
                try {
                    ExtraWriter(item.line);
                } catch (...) {
                    // The receiver's own trouble; the log goes on.
                }
            }
            break;
    }
}

void TErrorLog::ServePending() {
    scheduled_ = false;
    if (host_ == nullptr || serving_) {
        return;
    }
    serving_ = true;
    std::vector<std::string> memo;
    while (!waiting_.empty()) {
        Pending item = std::move(waiting_.front());
        waiting_.pop_front();
        ServeOne(item, memo);
    }
    FlushMemo(memo);
    serving_ = false;
}

void TErrorLog::FinalFlush() {
    while (!waiting_.empty()) {
        Pending item = std::move(waiting_.front());
        waiting_.pop_front();
        if (item.output == Output::Log) {
            logFile_->Write(item.line);
        }
    }
}

namespace {

std::unique_ptr<TErrorLog>& GlobalLog() {
    static std::unique_ptr<TErrorLog> log;
    return log;
}

}  // namespace

TErrorLog& GlobalErrorLog() {
    auto& log = GlobalLog();
    if (!log) {
        std::error_code ec;
        std::filesystem::path dir = std::filesystem::current_path(ec);
        log = std::make_unique<TErrorLog>((dir / "errorlog.txt").string());
    }
    return *log;
}

bool GlobalErrorLogExists() {
    return GlobalLog() != nullptr;
}

void ReleaseGlobalErrorLog() {
    auto& log = GlobalLog();
    if (log) {
        log->FinalFlush();
        log.reset();
    }
}

bool RegisterError(TCommError*& kind, const std::string& code, const std::string& description,
                   bool counted, bool show, bool log) {
    return GlobalErrorLog().NewErrorKind(kind, code, description, counted, show, log);
}

namespace {

TCommError& Registered(const std::string& code, const std::string& description, bool counted,
                       bool show, bool log) {
    TCommError* kind = nullptr;
    RegisterError(kind, code, description, counted, show, log);
    return *kind;
}

}  // namespace

TCommError& NoError() {
    return *GlobalErrorLog().FindError("ne");
}

TCommError& MarkError() {
    return *GlobalErrorLog().FindError("ma");
}

TCommError& ProgramErrorKind() {
    return Registered("pe", "Program errors", true, true, true);
}

void ReportProgramError(const std::string& text) {
    std::string line = ReplaceEach(text, "\r\n", " ");
    line = ReplaceEach(line, "\n", " ");
    ProgramErrorKind().Report(line);
}

}  // namespace orn
