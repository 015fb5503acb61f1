#include "workbench/reporterror.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "errors/zErrors.h"
#include "text/safefile.h"

namespace orn {

namespace {
std::string& ErrorFile() {
    static std::string name;
    return name;
}
}  // namespace

const std::string& ErrorFileName() {
    return ErrorFile();
}

void SetErrorFileName(const std::string& fileName) {
    ErrorFile() = fileName;
}

bool AppendToErrorFile(const std::string& text) {
    if (ErrorFileName().empty()) {
        return false;
    }
    const int fd = OpenToAppend(ErrorFileName());
    if (fd < 0) {
        return false;
    }
    const std::string line = text + "\r\n";
    std::string_view left = line;
    while (!left.empty()) {
        const ssize_t n = ::write(fd, left.data(), left.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        left.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::close(fd) == 0 && left.empty();
}

void ReportError(const std::string& text, TDialogs& dialogs) {
    ReportProgramError(text);
    if (!AppendToErrorFile(text)) {
        dialogs.Ask(DialogKind::Error, text, {DialogButton::OK});
    }
}

}  // namespace orn
