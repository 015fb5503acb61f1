#include "errors/errorswitches.h"

#include <cctype>

#include "errors/zErrors.h"
#include "settings/IniReadOrder.h"
#include "text/zstring.h"

namespace orn {

std::string ErrorSwitchName(const std::string& code, int column, const std::string& suffix) {
    static const char* const kColumns[] = {"Show", "Log", "Ext"};
    return "Error_" + code + kColumns[column < 0 || column > 2 ? 0 : column] + suffix;
}

bool IsComponentName(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    for (unsigned char c : name) {
        if (!(std::isalnum(c) || c == '_') || c >= 128) {
            return false;
        }
    }
    return true;
}

std::string ErrorRowSuffix(const std::string& code,
                           const std::function<bool(const std::string&)>& taken) {
    std::string suffix;
    for (int n = 1; taken(ErrorSwitchName(code, 0, suffix)); ++n) {
        suffix = std::to_string(n);
    }
    return suffix;
}

bool SwitchFromStored(const std::string& text) {
    int n = 0;
    if (!TryStrToInt(Trim(text), n)) {
        return false;
    }
    return n == 1;
}

void LoadStoredSwitches(TCommError& kind, const std::string& suffix) {
    for (int column = 0; column < 3; ++column) {
        const std::string name = ErrorSwitchName(kind.Code(), column, suffix);
        if (!IsComponentName(name)) {
            continue;
        }
        const std::string stored = ReadIniString("", kErrorOptSection, name, kNotStored);
        if (stored == kNotStored) {
            continue;
        }
        const bool on = SwitchFromStored(stored);
        if (column == 0) {
            kind.SetShow(on);
        } else if (column == 1) {
            kind.SetLog(on);
        } else {
            kind.SetExt(on);
        }
    }
}

void FollowStoredSwitches(TErrorLog& log) {
    for (const auto& kind : log.Kinds()) {
        LoadStoredSwitches(*kind, "");
    }
    log.OnKindAdded = [](TCommError& kind) { LoadStoredSwitches(kind, ""); };
}

}  // namespace orn
