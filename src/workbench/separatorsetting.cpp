#include "workbench/separatorsetting.h"

#include <exception>

#include "settings/IniReadOrder.h"

namespace orn {

std::optional<std::string> LoadSeparatorText() {
    try {
        std::string text = ReadIniString("", kSeparatorSection, kSeparatorKey, kNotStored);
        if (!IsNotStored(text)) {
            return text;
        }
    } catch (const std::exception&) {
        // Unreadable settings: the default stays.
    }
    return std::nullopt;
}

void SaveSeparatorText(const std::string& text) {
    WriteIniString("", kSeparatorSection, kSeparatorKey, text);
}

}  // namespace orn
