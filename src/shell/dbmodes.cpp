// EXEC, INDEX and CHANGE: one guarded database operation without any window. Failures go to
// ReportError (the "/error=" file, else stderr) and give a non-zero exit code.
#include <iostream>

#include "shell/consoleview.h"
#include "shell/modes.h"
#include "text/separators.h"
#include "workbench/SqlComBDE.h"
#include "workbench/tablelocationsetting.h"

namespace orn {

namespace {

int ExitCode(bool succeeded) {
    return succeeded ? kExitOk : kExitFailed;
}

}  // namespace

int ExecMode(const TCommandLine& line) {
    InitSeparatorsFromLocale();
    LoadTableDefaults();  // CREATE TABLE makes tables as programs and windows do
    TConsoleView view(false, std::cin, std::cout, std::cerr);
    return ExitCode(GuardedExecStatement(line.Arg(2), view));
}

int IndexMode(const TCommandLine& line) {
    InitSeparatorsFromLocale();
    TConsoleView view(false, std::cin, std::cout, std::cerr);
    return ExitCode(GuardedAddPrimaryIndex(line.Arg(2), line.Arg(3), view));
}

int ChangeMode(const TCommandLine& line) {
    InitSeparatorsFromLocale();
    TConsoleView view(false, std::cin, std::cout, std::cerr);
    return ExitCode(GuardedChangeField(line.Arg(2), line.Arg(3), line.Arg(4), line.Arg(5), view));
}

}  // namespace orn
