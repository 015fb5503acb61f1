#pragma once
// The command line as the modes see it: entry 0 is the executable, then the arguments in order
// without any "/error=" switch; entries past the end read as empty.

#include <string>
#include <vector>

namespace orn {

struct TCommandLine {
    std::vector<std::string> args;
    bool hasErrorFile = false;
    std::string errorFile;  // the last "/error=" argument with every "/error=" removed

    const std::string& Arg(std::size_t index) const;
    std::size_t Count() const { return args.size(); }
};

TCommandLine ParseCommandLine(int argc, const char* const* argv);

}  // namespace orn
