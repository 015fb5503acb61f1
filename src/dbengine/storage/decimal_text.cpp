#include "dbengine/storage/decimal_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orn::db {

std::optional<std::string> roundedDecimal(std::string_view text, int decimals) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // All digits written, and where the point stands among them.
    std::string digits;
    long point = -1;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c == '.' && point < 0) {
            point = static_cast<long>(digits.size());
        } else {
            break;
        }
    }
    if (digits.empty()) {
        return std::nullopt;
    }
    if (point < 0) {
        point = static_cast<long>(digits.size());
    }
    if (i < text.size()) {
        if (text[i] != 'e' && text[i] != 'E') {
            return std::nullopt;
        }
        const std::string exponent(text.substr(i + 1));
        char* end = nullptr;
        const long e = std::strtol(exponent.c_str(), &end, 10);
        if (exponent.empty() || *end != '\0' || e > 400 || e < -400) {
            return std::nullopt;
        }
        point += e;
    }
    if (decimals < 0) {
        decimals = 0;
    }
    // Digits before the point, then exactly `decimals` + 1 after it (the last decides rounding).
    std::string whole, fraction;
    for (long k = std::min<long>(point, 0); k < point; ++k) {
        whole += k >= 0 && k < static_cast<long>(digits.size())
                     ? digits[static_cast<std::size_t>(k)]
                     : '0';
    }
    for (long k = point; k < point + decimals + 1; ++k) {
        fraction += k >= 0 && k < static_cast<long>(digits.size())
                        ? digits[static_cast<std::size_t>(k)]
                        : '0';
    }
    // Only a non-zero digit beyond the kept ones can make a half round up; a half exactly
    // rounds away from zero too, so the first dropped digit alone decides.
    const bool up = fraction.back() >= '5';
    fraction.pop_back();
    std::string number = whole + fraction;
    if (up) {
        std::size_t k = number.size();
        while (k > 0 && number[k - 1] == '9') {
            number[--k] = '0';
        }
        if (k == 0) {
            number.insert(number.begin(), '1');
        } else {
            ++number[k - 1];
        }
    }
    std::string intPart = number.substr(0, number.size() - static_cast<std::size_t>(decimals));
    const std::size_t first = intPart.find_first_not_of('0');
    intPart = first == std::string::npos ? "0" : intPart.substr(first);
    std::string out = intPart;
    if (decimals > 0) {
        out += '.' + number.substr(number.size() - static_cast<std::size_t>(decimals));
    }
    if (negative && out.find_first_not_of("0.") != std::string::npos) {
        out.insert(out.begin(), '-');
    }
    return out;
}

std::optional<std::string> decimalOfDouble(double d) {
    if (!std::isfinite(d)) {
        return std::nullopt;
    }
    constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
    if (std::fabs(d) >= 1e15) {
        if (d != std::floor(d) || std::fabs(d) > kExactIntegers) {
            return std::nullopt;
        }
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", d);
        return std::string(buf);
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    return roundedDecimal(buf, 15);
}

}  // namespace orn::db
