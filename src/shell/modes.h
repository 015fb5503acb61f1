#pragma once
// The modes of the orn executable: a first argument that names a mode (compared exactly, upper
// case) runs it without any window. Add a mode by adding a row to the table in modes.cpp.

#include <iosfwd>
#include <string>
#include <vector>

#include "shell/commandline.h"

namespace orn {

struct TShellMode {
    const char* word;                      // e.g. "RUN"
    const char* arguments;                 // usage, e.g. "<file.orn> [Name=Value ...]"
    const char* summary;                   // one line for --help
    int (*run)(const TCommandLine& line);  // the process exit code
};

const std::vector<TShellMode>& ShellModes();

// Exit codes shared by the modes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;     // the operation or program failed
inline constexpr int kExitUsage = 2;      // the command line was wrong
inline constexpr int kExitNoWindows = 3;  // no display, or a build without windows
inline constexpr int kExitInterrupted = 130;

void PrintUsage(std::ostream& out);

// The windowed application: opens the main window (and the file of entry 1, when given) and runs
// until it closes; returns the exit code. Builds without windows pass none.
using TWindowedStart = int (*)(const TCommandLine& line);

// Whether a windowed start can reach a display: a platform named by QT_QPA_PLATFORM, or an X11
// or Wayland display in the environment.
bool DisplayAvailable();

// The whole executable: parses the line, takes out "/error=", dispatches. A first argument that
// is no mode starts the windowed application through `windowed`.
int OrnMain(int argc, const char* const* argv, TWindowedStart windowed = nullptr);

// --program-help: the commands a program line may use, and how lines are prepared.
int ProgramHelpMode();
// RUN <file.orn> [Name=Value ...]
int RunProgramMode(const TCommandLine& line);
// EXEC <statement|file:path>, INDEX <table> <columns>, CHANGE <table> <column> <type> <size>
int ExecMode(const TCommandLine& line);
int IndexMode(const TCommandLine& line);
int ChangeMode(const TCommandLine& line);

// INFO <table file> and DUMP <table file>
int InfoTableMode(const TCommandLine& line);
int DumpTableMode(const TCommandLine& line);
int PackTableMode(const TCommandLine& line);

}  // namespace orn
