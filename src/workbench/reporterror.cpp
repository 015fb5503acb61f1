#include "workbench/reporterror.h"

#include <fstream>

#include "errors/zErrors.h"

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
    std::ofstream out(ErrorFileName(), std::ios::binary | std::ios::app);
    if (!out) {
        return false;
    }
    out << text << "\r\n";
    out.flush();
    return static_cast<bool>(out);
}

void ReportError(const std::string& text, TDialogs& dialogs) {
    ReportProgramError(text);
    if (!AppendToErrorFile(text)) {
        dialogs.Ask(DialogKind::Error, text, {DialogButton::OK});
    }
}

}  // namespace orn
