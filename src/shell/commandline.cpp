#include "shell/commandline.h"

#include "text/zstring.h"

namespace orn {

namespace {
constexpr std::string_view kErrorSwitch = "/error=";
}

const std::string& TCommandLine::Arg(std::size_t index) const {
    static const std::string empty;
    return index < args.size() ? args[index] : empty;
}

TCommandLine ParseCommandLine(int argc, const char* const* argv) {
    TCommandLine line;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        if (i > 0 && arg.compare(0, kErrorSwitch.size(), kErrorSwitch) == 0) {
            line.hasErrorFile = true;
            line.errorFile = ReplaceEach(arg, kErrorSwitch, "");
            continue;
        }
        line.args.push_back(std::move(arg));
    }
    return line;
}

}  // namespace orn
