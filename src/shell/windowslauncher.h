#pragma once
// `orn` runs its modes without loading the GUI libraries (loading them costs every headless run
// more than its own work on a small table); a windowed start replaces the process with the
// windows program, orn-windows, which keeps the settings and error log of `orn`.

#include <string>

#include "shell/commandline.h"

namespace orn {

inline constexpr const char* kWindowsProgramName = "orn-windows";

// The windows program for the executable `self`: beside it (a build tree), else where an
// install puts it relative to the bin directory; empty when neither is there.
std::string WindowsProgramPath(const std::string& self);

// Execs the windows program with the same command line; returns only when that fails, with the
// reason on standard error and the exit code for "no windows".
int StartWindowsProgram(const TCommandLine& line);

// In the windows program: takes the name of the `orn` that started it, so settings stored under
// the program's name and directory are the same in both.
void AdoptLauncherProgramFileName();

}  // namespace orn
