#include "dbengine/storage/decimal_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
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
    digits.reserve(text.size());
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
    // The digits from the point's place or the first digit, whichever comes first, to
    // `decimals` + 1 after the point (the last decides rounding), zeros where none was written.
    const long from = std::min<long>(point, 0);
    const long to = point + decimals + 1;
    std::string number(static_cast<std::size_t>(to - from), '0');
    const long written = static_cast<long>(digits.size());
    for (long k = std::max<long>(from, 0); k < std::min(to, written); ++k) {
        number[static_cast<std::size_t>(k - from)] = digits[static_cast<std::size_t>(k)];
    }
    // Only a non-zero digit beyond the kept ones can make a half round up; a half exactly
    // rounds away from zero too, so the first dropped digit alone decides.
    const bool up = number.back() >= '5';
    number.pop_back();
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
    const std::size_t intLength = number.size() - static_cast<std::size_t>(decimals);
    std::size_t first = 0;
    while (first < intLength && number[first] == '0') {
        ++first;
    }
    std::string out;
    out.reserve(intLength - first + static_cast<std::size_t>(decimals) + 3);
    if (negative && number.find_first_not_of('0') != std::string::npos) {
        out += '-';
    }
    if (first == intLength) {
        out += '0';
    } else {
        out.append(number, first, intLength - first);
    }
    if (decimals > 0) {
        out += '.';
        out.append(number, intLength, static_cast<std::size_t>(decimals));
    }
    return out;
}

namespace {

// The shortest decimal that reads back as d, in fixed notation, when it has at most 15
// significant digits. It is then also d rounded to 15 significant digits: it lies within half a
// unit of d's last binary place, which is less than half a unit of the fifteenth significant
// digit. Far cheaper than printing 15 digits, and what numbers that were typed in give.
bool shortDecimal(double d, char (&buf)[400], std::string_view& out) {
    if (!(std::fabs(d) < 1e15)) {
        return false;
    }
    const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
    if (r.ec != std::errc()) {
        return false;
    }
    out = std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
    int significant = 0;
    bool leading = true;
    for (const char c : out) {
        if (c >= '1' && c <= '9') {
            leading = false;
        }
        if (!leading && c >= '0' && c <= '9') {
            ++significant;
        }
    }
    return significant <= 15;
}

}  // namespace

std::optional<std::string> roundedDecimalOfDouble(double d, int decimals) {
    char buf[400];
    std::string_view text;
    if (shortDecimal(d, buf, text)) {
        const std::size_t point = text.find('.');
        const std::size_t written = point == std::string_view::npos ? 0 : text.size() - point - 1;
        if (d == 0 || written > static_cast<std::size_t>(std::max(decimals, 0))) {
            return roundedDecimal(text, decimals);  // rounds, or drops the sign of -0
        }
        // Nothing to round: the digits as they stand, with zeros up to `decimals`.
        std::string out;
        out.reserve(text.size() + static_cast<std::size_t>(std::max(decimals, 0)) + 1);
        out.append(text);
        if (decimals > 0) {
            if (point == std::string_view::npos) {
                out += '.';
            }
            out.append(static_cast<std::size_t>(decimals) - written, '0');
        }
        return out;
    }
    const auto digits = decimalOfDouble(d);
    if (!digits) {
        return std::nullopt;
    }
    return roundedDecimal(*digits, decimals);
}

std::optional<std::string> decimalOfDouble(double d) {
    if (!std::isfinite(d)) {
        return std::nullopt;
    }
    {
        char buf[400];
        std::string_view text;
        if (shortDecimal(d, buf, text)) {
            return roundedDecimal(text, 15);
        }
    }
    constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
    if (std::fabs(d) >= 1e15) {
        if (d != std::floor(d) || std::fabs(d) > kExactIntegers) {
            return std::nullopt;
        }
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, 0);
        return std::string(buf, r.ptr);
    }
    // printf's "%.15g", without printf's cost (every number a dBASE table stores comes here)
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
    return roundedDecimal(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), 15);
}

}  // namespace orn::db
