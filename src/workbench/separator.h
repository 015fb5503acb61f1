#pragma once
// Separator texts as users type them in the separator box: "\t", "\n", "\r", "#<number>" for
// one character by its code, or the text itself.

#include <string>

namespace orn {

// The separator a box text stands for. An empty text is a tab. After "#" the number may have
// leading blanks and a sign, and is decimal or hexadecimal after "$", "x" or "0x"; a text that is
// no number counts as 0; the code is taken modulo 256.
std::string SeparatorFromText(const std::string& boxText);

// The number after "#" as SeparatorFromText reads it (before the modulo).
long long SeparatorCode(const std::string& digits);

}  // namespace orn
