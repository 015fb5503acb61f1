#pragma once
// Six program commands on files and directories: CHDIR, MOVEFILE, COPYFILE, DELETEFILE, IFEXISTS
// and MKDIR. Relative names are taken against the process's current directory.

#include <string>

#include "engine/programcommands.h"

namespace orn {

class TParamProgram;

class TFileProgramCommands {
  public:
    // Told about every CHDIR (argument and result); what it leaves in the result is the
    // command's result.
    TProgramCommandEvent OnChDir;

    void ChDir(const std::string& params, std::string& result);
    void MoveFile(const std::string& params, std::string& result);
    void CopyFile(const std::string& params, std::string& result);
    void DeleteFile(const std::string& params, std::string& result);
    void IfExists(const std::string& params, std::string& result);
    void MkDir(const std::string& params, std::string& result);
};

// Adds the six commands to the program in the order above, bound to a provider of their own
// whose OnChDir is `onChDir`.
void RegisterFileCommands(TParamProgram& program, TProgramCommandEvent onChDir);

// True when a directory search for `name` (wildcards "*" and "?" allowed) finds an entry and the
// first entry found is not a directory.
bool FileExistsAsFile(const std::string& name);

}  // namespace orn
