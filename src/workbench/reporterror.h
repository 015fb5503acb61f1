#pragma once
// Error output of the command-line modes and of the commands that report their own failures:
// a message box, or one appended text per report in the file named by "/error=".

#include <string>

#include "text/dialogs.h"

namespace orn {

// Process-wide; empty unless the command line named an error file.
const std::string& ErrorFileName();
void SetErrorFileName(const std::string& fileName);

// Appends text and CR LF to the error file; false when there is none or it cannot be written.
bool AppendToErrorFile(const std::string& text);

// Appends text and CR LF to the error file, or shows text in an error box when there is no error
// file or it cannot be written.
void ReportError(const std::string& text, TDialogs& dialogs);

}  // namespace orn
