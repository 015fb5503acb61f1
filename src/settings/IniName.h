#pragma once

#include <string>

namespace orn {

// The running program's file (from /proc/self/exe unless set; the shell and tests may set it).
std::string ProgramFileName();
void SetProgramFileName(const std::string& path);

// The program file's directory with its trailing "/".
std::string ProgramDir();

// Where a settings file lives. A name with a directory part is returned unchanged; "-" gives an
// empty text; an empty name is the program's name; a name without extension gets defaultExt; a
// bare ".ext" name replaces defaultExt. The file is looked for in the current directory, else it
// lies beside the program.
std::string IniFileName(const std::string& name, const std::string& defaultExt);

// True unless the file exists and is read-only (no write permission bit, or not writable by us).
bool FileWritable(const std::string& fileName);

// Creates every missing directory of the file's directory part; failures are ignored.
void ForceFileDir(const std::string& fileName);

// Settings paths use "\" between parts, as in registry key paths; files use "/".
std::string NativePath(const std::string& path);

}  // namespace orn
