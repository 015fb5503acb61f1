#include "workbench/reporterror.h"

#include <fstream>

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

void ReportError(const std::string& text, TDialogs& dialogs) {
    if (!ErrorFileName().empty()) {
        std::ofstream out(ErrorFileName(), std::ios::binary | std::ios::app);
        if (out) {
            out << text << "\r\n";
            out.flush();
            if (out) {
                return;
            }
        }
    }
    dialogs.Ask(DialogKind::Error, text, {DialogButton::OK});
}

}  // namespace orn
