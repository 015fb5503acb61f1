// RUN: loads a program, sets parameters from Name=Value arguments, runs it headless.
#include <unistd.h>

#include <iostream>

#include "shell/consoleview.h"
#include "shell/modes.h"
#include "text/progress.h"
#include "text/separators.h"
#include "text/zstring.h"
#include "workbench/querysession.h"
#include "workbench/reporterror.h"

namespace orn {

namespace {

std::string DeclaredNames(TParamProgram& program) {
    std::string names;
    for (TParam* param : program.VisibleParams()) {
        names += (names.empty() ? "" : ", ") + param->Caption();
    }
    return names.empty() ? "none" : names;
}

}  // namespace

int ProgramHelpMode() {
    TConsoleView view(false, std::cin, std::cout, std::cerr);
    TQuerySession session(view);
    std::cout << "Program commands\n"
              << ReplaceEach(session.Program().Help() + "\r\n" + ProgramLineNotes(), "\r\n", "\n");
    return kExitOk;
}

int RunProgramMode(const TCommandLine& line) {
    const std::string& file = line.Arg(2);
    if (file.empty()) {
        std::cerr << "orn: RUN needs a program file\nUsage: orn RUN <file.orn> [Name=Value ...]\n";
        return kExitUsage;
    }
    InitSeparatorsFromLocale();
    TConsoleView view(isatty(STDIN_FILENO) != 0, std::cin, std::cout, std::cerr);
    TQuerySession session(view);
    std::string message = session.OpenProgram(file);
    if (!message.empty()) {
        std::cerr << "orn: " << message << "\n";
        return kExitFailed;
    }
    TParamProgram& program = session.Program();
    for (std::size_t i = 3; i < line.Count(); ++i) {
        const std::string& assignment = line.Arg(i);
        std::size_t eq = assignment.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::cerr << "orn: a parameter is given as Name=Value, not \"" << assignment << "\"\n";
            return kExitUsage;
        }
        TParam* param = program.FindParam(assignment.substr(0, eq));
        if (!param) {
            std::cerr << "orn: the program has no parameter \"" << assignment.substr(0, eq)
                      << "\" (its parameters: " << DeclaredNames(program) << ")\n";
            return kExitUsage;
        }
        param->SetValue(assignment.substr(eq + 1));
    }
    if (!ErrorFileName().empty()) {
        // The error prompt still decides whether the run goes on; the file keeps the texts.
        program.OnLineError = [](const std::string& text) { AppendToErrorFile(text); };
    }
    view.OnInterrupt = [&program] { program.Stop(); };
    TConsoleView::WatchInterrupts();
    // Long exports and imports show how far they got when standard error is a terminal.
    TTerminalProgress progress;
    TProgressScope progressScope(progress);
    switch (session.RunProgram()) {
        case RunEnd::Completed:
        case RunEnd::StopResult:
            return kExitOk;
        case RunEnd::StopRequested:
        case RunEnd::DebugCancelled:
            std::cerr << "orn: the run was stopped\n";
            return kExitInterrupted;
        case RunEnd::Failed:
        case RunEnd::Busy:
            break;
    }
    return kExitFailed;
}

}  // namespace orn
