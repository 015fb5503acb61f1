#include "engine/FormCommands.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <filesystem>

#include "errors/zErrors.h"
#include "text/inifile.h"
#include "text/zstring.h"

namespace orn {

namespace {

// Used when the host gives no view: shows nothing, every dialog reads as closed.
class TSilentView : public TProgramView {
  public:
    using TDialogs::Ask;
    DialogButton Ask(const DialogRequest&) override { return DialogButton::None; }
};

TSilentView gSilentView;

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Replaces every "[caption]" by value, searching from the start again after each replacement.
std::string ReplacePlaceholder(std::string text, const std::string& placeholder,
                               const std::string& value) {
    if (value.find(placeholder) != std::string::npos) {
        // The value holds its own placeholder: one pass over the occurrences in the line, never
        // into the inserted text.
        return ReplaceEach(text, placeholder, value);
    }
    // A growing text stops once it is longer than its length before this parameter times the
    // value's length.
    const std::size_t start = text.size();
    for (std::size_t p = text.find(placeholder); p != std::string::npos;
         p = text.find(placeholder)) {
        text.replace(p, placeholder.size(), value);
        if (!value.empty() && text.size() > start * value.size()) {
            break;
        }
    }
    return text;
}

// The reason a program file gave no lines, appended to "No programs <name>".
std::string WhyNoLines(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) {
        return ": the file does not exist";
    }
    if (!std::filesystem::is_regular_file(status)) {
        return ": it is not a regular file";
    }
    if (access(path.c_str(), R_OK) != 0) {
        return ": the file cannot be read";
    }
    return ": the file has no lines in section [Program]";
}

// Lines without "=" are skipped and keys are not line numbers: both are allowed, but GOTO targets
// and "!!" branches count the lines that remain, from 0, in file order. The author hears of it.
std::string NumberingWarning(const std::string& fileName, const TProfileFile& file,
                             const std::vector<ProfileEntry>& entries) {
    std::string warning;
    const std::vector<std::string> stray = file.LinesWithoutKey("Program");
    if (!stray.empty()) {
        warning = "Program " + fileName + ": " + std::to_string(stray.size()) +
                  (stray.size() == 1 ? " line" : " lines") +
                  " of section [Program] without \"=\" will not run (the first: \"" +
                  stray.front() + "\"), and the lines after it move up";
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].key != std::to_string(i)) {
            warning += std::string(warning.empty() ? "" : "\r\n") + "Program " + fileName +
                       ": the keys of section [Program] are not 0, 1, 2, ... in order (line " +
                       std::to_string(i) + " has the key \"" + entries[i].key +
                       "\"); GOTO and the !! branches count lines from 0, not keys";
            break;
        }
    }
    return warning;
}

}  // namespace

TParamProgram::TParamProgram(TProgramView* view) : view_(view ? view : &gSilentView) {
    RegisterOwnCommands();
}

void TParamProgram::SetView(TProgramView* view) {
    view_ = view ? view : &gSilentView;
}

void TParamProgram::AddCommand(std::unique_ptr<TProgramCommand> command) {
    commands_.Add(std::move(command));
}

void TParamProgram::SetMacroValue(const std::string& name, const std::string& value) {
    macros_.SetValue(name, value);
}

void TParamProgram::SetTitleStr(const std::string& title) {
    title_ = title;
    view_->TitleChanged(title_);
}

std::string TParamProgram::LoadProgram(const std::string& fileName) {
    if (running_) {
        return "A program is running; stop it before loading another one";
    }
    std::string path = fileName;
    if (std::filesystem::path(fileName).parent_path().empty()) {
        path = "./" + fileName;
    }
    std::string message = "No programs " + fileName;
    TProfileFile file = TProfileFile::Load(path);
    SetTitleStr(file.ReadString("Title", "Title"));

    lines_.clear();
    std::string tooLong;
    const std::vector<ProfileEntry> entries = file.ReadSection("Program");
    for (const ProfileEntry& entry : entries) {
        if (entry.cut && tooLong.empty()) {
            tooLong = entry.key;
        }
        lines_.push_back(entry.key + "=" + entry.value);
    }
    std::vector<std::pair<std::string, std::string>> params;
    for (const ProfileEntry& entry : file.ReadSection("Params")) {
        params.emplace_back(entry.key, entry.value);
    }
    RebuildParams(params);

    if (!tooLong.empty()) {
        // Running a line cut short (a file name, an SQL statement) could do harm; refuse.
        lines_.clear();
        return "Program line " + tooLong + " of " + fileName + " is longer than " +
               std::to_string(kProfileValueLimit) + " characters";
    }
    if (lines_.empty()) {
        return message + WhyNoLines(path);
    }
    if (std::string warning = NumberingWarning(fileName, file, entries); !warning.empty()) {
        view_->Warn(warning);
    }
    return {};
}

void TParamProgram::HideParams() {
    for (const auto& param : params_) {
        if (param->visible_) {
            param->visible_ = false;
            view_->ParamHidden(*param);
        }
    }
}

TParam* TParamProgram::FindParam(const std::string& caption) {
    for (const auto& param : params_) {
        if (param->Caption() == caption) {
            return param.get();
        }
    }
    return nullptr;
}

void TParamProgram::RebuildParams(const std::vector<std::pair<std::string, std::string>>& entries) {
    HideParams();
    for (const auto& [rawName, rawValue] : entries) {
        std::string name = Trim(rawName);
        if (name.empty()) {
            continue;
        }
        if (TParam* param = FindParam(name)) {
            param->visible_ = true;
            param->position_ = ++nextPosition_;
            view_->ParamShown(*param);
            continue;
        }
        params_.push_back(std::make_unique<TParam>(name, Trim(rawValue), EditHeight, EditWidth));
        params_.back()->position_ = ++nextPosition_;
        view_->ParamCreated(*params_.back());
    }
}

std::vector<TParam*> TParamProgram::VisibleParams() const {
    std::vector<TParam*> visible;
    for (const auto& param : params_) {
        if (param->Visible()) {
            visible.push_back(param.get());
        }
    }
    std::sort(visible.begin(), visible.end(),
              [](const TParam* a, const TParam* b) { return a->Position() < b->Position(); });
    return visible;
}

void TParamProgram::SaveParams(const std::string& fileName) const {
    TProfileLock lock(fileName);  // other processes keep their keys of the file
    TProfileFile file = TProfileFile::Load(fileName);
    for (const auto& param : params_) {
        if (param->Visible()) {
            file.WriteString("Params", param->Caption(), param->Value());
        }
    }
    file.Save(fileName);
}

std::string TParamProgram::SubstituteParams(std::string text) const {
    for (const auto& param : params_) {
        text = ReplacePlaceholder(std::move(text), "[" + param->Caption() + "]", param->Value());
    }
    return text;
}

bool TParamProgram::PrepareLine(const std::string& raw, std::string& line) const {
    std::string text = raw;
    std::size_t eq = text.find('=');
    if (eq != std::string::npos) {
        text.erase(0, eq + 1);
    }
    // A SETVALUE line keeps its variable name out of every substitution.
    std::string prefix;
    if (StartsWith(text, "SETVALUE")) {
        std::size_t comma = text.find(',');
        if (comma != std::string::npos) {
            prefix = text.substr(0, comma + 1);
            text.erase(0, comma + 1);
        }
    }
    std::string expanded;
    bool complete = macros_.ExpandAll(SubstituteParams(std::move(text)), expanded);
    line = prefix + expanded;
    return complete;
}

void TParamProgram::ExecuteLine(const std::string& line, std::string& result) {
    std::size_t blank = line.find(' ');
    std::string name = Trim(line.substr(0, blank));
    std::string params = blank == std::string::npos ? std::string() : Trim(line.substr(blank + 1));
    commands_.Execute(name, params, result);
}

RunEnd TParamProgram::Run() {
    if (running_) {
        return RunEnd::Busy;
    }
    running_ = true;
    stopped_ = false;
    RunEnd end = RunEnd::Completed;
    bool ignoreErrors = false;
    long long next = 0;
    while (next < static_cast<long long>(lines_.size())) {
        if (next < 0) {
            next = 0;
        }
        const std::string raw = lines_[static_cast<std::size_t>(next)];
        ++next;
        std::string line;
        bool complete = PrepareLine(raw, line);

        if (debug_ > 1) {
            DialogButton answer =
                view_->Ask(DialogKind::Information, raw + "\r\n" + line + "\r\nContinue?",
                           {DialogButton::OK, DialogButton::Cancel, DialogButton::All});
            if (answer == DialogButton::Cancel || answer == DialogButton::None) {
                end = RunEnd::DebugCancelled;
                break;
            }
            if (answer == DialogButton::All) {
                debug_ = 1;
            }
        }
        if (debug_ > 0) {
            view_->ShowStatus(line);
            view_->ProcessPendingMessages();
        }
        if (stopped_) {
            end = RunEnd::StopRequested;
            break;
        }

        std::string result;
        if (!complete) {
            result = "Macro expansion does not end (a macro value names itself): " + raw;
        } else {
            try {
                ExecuteLine(line, result);
            } catch (const std::exception& e) {
                result = *e.what() ? e.what() : "Error";
            } catch (...) {
                result = "Unknown error";
            }
        }
        if (!HandleResult(result, next, ignoreErrors, end)) {
            break;
        }
    }
    view_->HideStatus();
    running_ = false;
    return end;
}

bool TParamProgram::HandleResult(const std::string& result, long long& next, bool& ignoreErrors,
                                 RunEnd& end) {
    if (result.empty()) {
        return true;
    }
    if (result == kStopResult) {
        end = RunEnd::StopResult;
        return false;
    }
    if (StartsWith(result, kGotoPrefix)) {
        std::string target = Trim(result.substr(std::string_view(kGotoPrefix).size()));
        if (target.empty()) {
            return true;
        }
        if (target[0] == '+' || target[0] == '-') {
            int sign = target[0] == '+' ? 1 : -1;
            int count = StrToIntDef(target.substr(1), 1);
            next = next + static_cast<long long>(sign) * count - 1;
            return true;
        }
        int absolute = 0;
        if (TryStrToInt(target, absolute)) {
            next = absolute;
        }
        return true;
    }
    if (OnLineError) {
        OnLineError(result);
    }
    // A failed line is a program error for the error log, whether or not it is asked about.
    ReportProgramError(result);
    if (ignoreErrors) {
        return true;
    }
    DialogButton answer =
        view_->Ask(DialogKind::Error, result + "\r\nContinue?\r\nAll = Ignore all errors",
                   {DialogButton::Yes, DialogButton::No, DialogButton::All});
    if (answer == DialogButton::No) {
        end = RunEnd::Failed;
        return false;
    }
    if (answer == DialogButton::All) {
        ignoreErrors = true;
    }
    return true;
}

std::string ProgramLineNotes() {
    return "Before a line runs:\r\n"
           "  [Name] is replaced by the value of the parameter Name;\r\n"
           "  macro variables (SETVALUE, [currentdate], [currenttime], [currentsecond]) are\r\n"
           "  replaced by their values;\r\n"
           "  %NAME% is replaced by the environment variable NAME (empty when it is not set;\r\n"
           "  names are case-sensitive: %HOME% works, %home% does not);\r\n"
           "  %% gives one %, so write like '%%son%%' for the pattern '%son%'. A lone % at the\r\n"
           "  end stays, but the text between two single % signs is always taken as a name.\r\n"
           "Lines are numbered from 0 in file order: GOTO, IFGOTO and the !! branches count\r\n"
           "lines, not the keys before \"=\"; a line without \"=\" does not run.\r\n";
}

void TParamProgram::ShowHelp() {
    try {
        view_->ShowHelpWindow("Program commands", Help() + "\r\n" + ProgramLineNotes());
    } catch (...) {
        // The help window is a convenience; failing to show it must not disturb the caller.
    }
}

}  // namespace orn
