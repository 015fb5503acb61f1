#pragma once
// The non-visual half of a query window: its SQL and program directories and its program runner
// with every command registered. The Qt window wraps one; the headless program run uses one
// directly, so a program behaves the same in both.

#include <string>

#include "engine/FormCommands.h"

namespace orn {

class TQuerySession {
  public:
    // Both directories start at `startDirectory` (the current directory when empty).
    explicit TQuerySession(TProgramView& view, const std::string& startDirectory = {});
    TQuerySession(const TQuerySession&) = delete;
    TQuerySession& operator=(const TQuerySession&) = delete;

    TParamProgram& Program() { return program_; }
    TProgramView& View() { return view_; }
    const std::string& SqlDirectory() const { return sqlDirectory_; }
    const std::string& ProgramDirectory() const { return programDirectory_; }

    // The CHDIR callback: points both directories (and the working directory) at `directory`,
    // taken relative to the SQL directory. A directory that does not exist changes nothing and
    // gives an error text.
    void ChangeDirectories(const std::string& directory, std::string& result);

    // Loads a program file, its name taken relative to the current directory; returns the
    // runner's load message ("" on success).
    std::string OpenProgram(const std::string& fileName);
    // Makes the SQL directory the working directory and runs the loaded program.
    RunEnd RunProgram();

  private:
    void RegisterCommands();

    TProgramView& view_;
    TParamProgram program_;
    std::string sqlDirectory_;
    std::string programDirectory_;
};

}  // namespace orn
