#include "shell/windowslauncher.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <vector>

#include "settings/IniName.h"
#include "shell/modes.h"

namespace orn {

namespace {

namespace fs = std::filesystem;

constexpr const char* kLauncherVariable = "ORN_LAUNCHER";

}  // namespace

std::string WindowsProgramPath(const std::string& self) {
    const fs::path dir = fs::path(self).parent_path();
    for (const fs::path& candidate :
         {dir / kWindowsProgramName, dir / ORN_WINDOWS_FROM_BINDIR / kWindowsProgramName}) {
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate.lexically_normal().string();
    }
    return {};
}

int StartWindowsProgram(const TCommandLine& line) {
    const std::string self = ProgramFileName();
    const std::string windows = WindowsProgramPath(self);
    if (windows.empty()) {
        std::cerr << "orn: the windows program " << kWindowsProgramName
                  << " is not installed beside " << self
                  << "; see orn --help for the modes without windows\n";
        return kExitNoWindows;
    }
    std::vector<std::string> args = line.args;
    args[0] = windows;
    if (line.hasErrorFile)
        args.push_back("/error=" + line.errorFile);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::setenv(kLauncherVariable, self.c_str(), 1);
    std::cout.flush();
    ::execv(windows.c_str(), argv.data());
    const int error = errno;
    ::unsetenv(kLauncherVariable);
    std::cerr << "orn: cannot start " << windows << ": " << std::strerror(error) << "\n";
    return kExitNoWindows;
}

void AdoptLauncherProgramFileName() {
    const char* launcher = std::getenv(kLauncherVariable);
    if (launcher == nullptr || *launcher == '\0')
        return;
    SetProgramFileName(launcher);
    // Programs this process starts are no windows programs of ours.
    ::unsetenv(kLauncherVariable);
}

}  // namespace orn
