#pragma once
// Where the separator box keeps its text between sessions: the settings read order "U" (the
// default), section "FormQuery-Params", key "EditSeparator", the place the query window's
// EditSeparator box uses. The headless session and the window therefore share one value.

#include <optional>
#include <string>

namespace orn {

inline constexpr const char* kSeparatorSection = "FormQuery-Params";
inline constexpr const char* kSeparatorKey = "EditSeparator";

// The stored box text, or nullopt when none is stored or the settings cannot be read (a broken
// settings file does not stop a program; the box then keeps its default).
std::optional<std::string> LoadSeparatorText();

// Stores the box text. Write failures are reported by the settings service, never thrown.
void SaveSeparatorText(const std::string& text);

}  // namespace orn
