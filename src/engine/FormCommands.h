#pragma once
// The program runner: loads a program file (sections Title, Params and Program), keeps its lines,
// parameters and macro variables, and runs the lines one after another against its command
// table. What it shows or asks goes through a TProgramView.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/param.h"
#include "engine/programcommands.h"
#include "engine/programview.h"
#include "text/zMacroString.h"

namespace orn {

// How a run ended.
enum class RunEnd {
    Completed,       // past the last line (also after a jump at or past the end)
    StopResult,      // a command returned "@stop@"
    StopRequested,   // Stop was called during the run
    DebugCancelled,  // Cancel in the debug dialog
    Failed,          // the error prompt was answered No
    Busy,            // Run was called while a run was going on; nothing ran
};

// How a program line is prepared before it runs ([Name], macros, %NAME%, %%) and how lines are
// numbered: the notes below the command listing of the program help.
std::string ProgramLineNotes();

class TParamProgram {
  public:
    // Registers DEBUG and SETVALUE. The view must outlive the runner; null shows nothing and
    // answers every dialog as closed.
    explicit TParamProgram(TProgramView* view = nullptr);
    TParamProgram(const TParamProgram&) = delete;
    TParamProgram& operator=(const TParamProgram&) = delete;

    void SetView(TProgramView* view);
    TProgramView& View() { return *view_; }

    // Registration entry point for every command provider.
    void AddCommand(std::unique_ptr<TProgramCommand> command);
    // The runner's own handlers, registered by the host where its command order puts them:
    // DECIMAL, and the flow commands SHOWMESSAGE, IFGOTO and GOTO.
    void AddDecimalCommand();
    void AddFlowCommands();

    TProgramCommands& Commands() { return commands_; }
    TzMacroVarList& Macros() { return macros_; }
    void SetMacroValue(const std::string& name, const std::string& value);

    // Returns "" on success, else "No programs <fileName>: <why>" (or a message naming the line
    // that is too long). Refused during a run. Lines that will not run as numbered (a line
    // without "=", keys other than 0, 1, 2, ...) are told to the view once, through Warn.
    std::string LoadProgram(const std::string& fileName);
    RunEnd Run();
    void Stop() { stopped_ = true; }
    bool Stopped() const { return stopped_; }
    bool Running() const { return running_; }
    // Splits the line at its first blank into command name and arguments (both trimmed) and
    // executes it.
    void ExecuteLine(const std::string& line, std::string& result);
    // Called with the text of every failing line, before the error prompt (also when errors
    // are ignored): the headless run copies it into the "/error=" file.
    std::function<void(const std::string&)> OnLineError;

    // The help listing and ProgramLineNotes in a window captioned "Program commands"; failures
    // are swallowed.
    void ShowHelp();
    std::string Help() const { return commands_.GetHelp(); }

    const std::string& TitleStr() const { return title_; }
    void SetTitleStr(const std::string& title);
    const std::vector<std::string>& Lines() const { return lines_; }
    int Debug() const { return debug_; }
    void SetDebug(int level) { debug_ = level; }

    // Parameters (rows owned by the runner, in creation order).
    int EditWidth = 100;
    int EditHeight = 0;
    void HideParams();
    TParam* FindParam(const std::string& caption);
    const std::vector<std::unique_ptr<TParam>>& Params() const { return params_; }
    // The visible rows, top to bottom.
    std::vector<TParam*> VisibleParams() const;
    // Writes every visible row into section Params of the file; throws TProfileWriteError.
    void SaveParams(const std::string& fileName) const;

    // Text of line i after parameter substitution and macro expansion (what the run executes).
    // Returns false when the macro expansion had to be cut (a value that names itself).
    bool PrepareLine(const std::string& raw, std::string& line) const;

  private:
    void RegisterOwnCommands();
    void RebuildParams(const std::vector<std::pair<std::string, std::string>>& entries);
    std::string SubstituteParams(std::string text) const;
    // Applies a command result; returns false when the run must end (with `end` set).
    bool HandleResult(const std::string& result, long long& next, bool& ignoreErrors, RunEnd& end);

    void DoDebug(const std::string& params, std::string& result);
    void DoSetValue(const std::string& params, std::string& result);
    void DoDecimal(const std::string& params, std::string& result);
    void DoShowMessage(const std::string& params, std::string& result);
    void DoIfGoto(const std::string& params, std::string& result);
    void DoGoto(const std::string& params, std::string& result);

    TProgramView* view_;
    TProgramCommands commands_;
    TzMacroVarList macros_;
    std::vector<std::string> lines_;
    std::vector<std::unique_ptr<TParam>> params_;
    long nextPosition_ = 0;
    std::string title_;
    int debug_ = 1;
    bool stopped_ = false;
    bool running_ = false;
};

}  // namespace orn
