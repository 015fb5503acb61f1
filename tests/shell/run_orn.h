#pragma once
// Runs the orn executable in a folder, the way a script would, and collects what it left behind.

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace orn::testing {

struct OrnOutcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

// Standard input is empty; standard error is captured through a file in `scratch`. `prefix` is
// put before the executable (an "env ..." or "timeout ..." command, say).
inline OrnOutcome RunOrn(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                         const std::filesystem::path& scratch, const std::string& prefix = "",
                         const std::string& exe = ORN_EXE) {
    std::string command =
        "cd " + ShellQuote(cwd.string()) + " && " + prefix + " " + ShellQuote(exe);
    for (const std::string& a : args) {
        command += " " + ShellQuote(a);
    }
    const std::filesystem::path errFile = scratch / "orn-stderr.txt";
    command += " </dev/null 2>" + ShellQuote(errFile.string());
    OrnOutcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return outcome;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        outcome.out.append(buffer, n);
    }
    const int raw = pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(errFile, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    outcome.err = text.str();
    return outcome;
}

}  // namespace orn::testing
