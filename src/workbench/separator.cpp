#include "workbench/separator.h"

#include <cctype>
#include <limits>

namespace orn {

namespace {

int DigitValue(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') {
        v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        v = c - 'A' + 10;
    }
    return v < base ? v : -1;
}

}  // namespace

long long SeparatorCode(const std::string& digits) {
    std::size_t i = 0;
    while (i < digits.size() && digits[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < digits.size() && (digits[i] == '-' || digits[i] == '+')) {
        negative = digits[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < digits.size() && (digits[i] == '$' || digits[i] == 'x' || digits[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < digits.size() && digits[i] == '0' &&
               (digits[i + 1] == 'x' || digits[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == digits.size()) {
        return 0;
    }
    // The value must fit a 32-bit integer, as the number forms of the separator box always did.
    constexpr long long kLimit = std::numeric_limits<std::int32_t>::max();
    long long value = 0;
    for (; i < digits.size(); ++i) {
        const int d = DigitValue(digits[i], base);
        if (d < 0) {
            return 0;
        }
        value = value * base + d;
        if (value > kLimit + 1) {
            return 0;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > kLimit || value < -kLimit - 1) {
        return 0;
    }
    return value;
}

std::string SeparatorFromText(const std::string& boxText) {
    if (boxText.empty() || boxText == "\\t") {
        return "\t";
    }
    if (boxText == "\\n") {
        return "\n";
    }
    if (boxText == "\\r") {
        return "\r";
    }
    if (boxText[0] == '#') {
        const long long code = SeparatorCode(boxText.substr(1, 100));
        return std::string(1, static_cast<char>(static_cast<unsigned long long>(code) & 0xFF));
    }
    return boxText;
}

}  // namespace orn
