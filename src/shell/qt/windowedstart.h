#pragma once
// The windowed application (no Qt in this header: the executable's main() calls it).

#include "shell/commandline.h"

namespace orn {

// Opens the main window with one query window and the hidden "Running" window. A first
// argument is opened in that query window while "Running" shows (a relative name is taken
// against the directory orn was started in); when the open fails its message is shown and the
// result is 1 without the windows ever waiting for the user. Otherwise runs until the main
// window closes (menu Exit, or EXIT in a program) and gives 0.
int RunWindowed(const TCommandLine& line);

}  // namespace orn
