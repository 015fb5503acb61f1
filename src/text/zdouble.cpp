#include "text/zdouble.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <system_error>

#include "text/separators.h"
#include "text/zstring.h"

namespace orn {

namespace {

constexpr std::string_view kNoBreakSpace = "\xC2\xA0";

// Whether value lies exactly halfway between two numbers with `decimals` decimals. With value =
// m * 2^e (m odd) and 10^d = 2^d * 5^d, value * 10^d is k + 1/2 exactly when e + d == -1.
bool IsExactTie(double value, int decimals) {
    if (value == 0 || !std::isfinite(value)) {
        return false;
    }
    int exponent = 0;
    double fraction = std::frexp(std::fabs(value), &exponent);
    auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    int twos = std::countr_zero(mantissa);
    return exponent - 53 + twos + decimals == -1;
}

// Fixed ("%.*f") or general ("%.15g") text with "." as decimal point, whatever the C locale.
// Fixed texts round an exact tie away from zero, as a person writes it (2.5 -> "3", 0.125 ->
// "0.13"), and never show a minus in front of a text that is all zeros ("-0.00" -> "0.00").
std::string PlainNumber(int decimals, double value) {
    // 309 whole digits of 1e308, the point and 300 decimals fit.
    char buffer[700];
    std::to_chars_result r;
    if (decimals >= 0) {
        decimals = decimals > 300 ? 300 : decimals;
        if (IsExactTie(value, decimals)) {
            // One step further from zero leaves no tie, so the usual rounding goes outward.
            value = std::nextafter(value, value > 0 ? HUGE_VAL : -HUGE_VAL);
        }
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                          decimals);
        if (r.ec == std::errc() && buffer[0] == '-' &&
            std::string_view(buffer + 1, r.ptr).find_first_not_of("0.") == std::string_view::npos) {
            return std::string(buffer + 1, r.ptr);
        }
    } else {
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    }
    if (r.ec != std::errc()) {
        return "0";
    }
    std::string text(buffer, r.ptr);
    if (decimals >= 0) {
        return text;
    }
    if (text == "-0") {
        return "0";
    }
    // "1e+20" -> "1E20", "1e-07" -> "1E-7".
    std::size_t e = text.find('e');
    if (e != std::string::npos) {
        std::string mantissa = text.substr(0, e);
        std::string exponent = text.substr(e + 1);
        bool negative = !exponent.empty() && exponent[0] == '-';
        std::size_t digits = exponent.find_first_not_of("+-0");
        exponent = digits == std::string::npos ? "0" : exponent.substr(digits);
        text = mantissa + "E" + (negative ? "-" : "") + exponent;
    }
    return text;
}

std::string WithSeparator(std::string text, char separator) {
    std::size_t dot = text.find('.');
    if (dot != std::string::npos) {
        text[dot] = separator;
    }
    return text;
}

std::string Group(const std::string& text, char thousand) {
    std::size_t start = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    std::size_t end = text.find_first_not_of("0123456789", start);
    if (end == std::string::npos) {
        end = text.size();
    }
    std::string out = text.substr(0, start);
    for (std::size_t i = start; i < end; ++i) {
        if (i > start && (end - i) % 3 == 0) {
            out += thousand;
        }
        out += text[i];
    }
    out += text.substr(end);
    return out;
}

std::string RemoveAll(std::string text, std::string_view what) {
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p)) {
        text.erase(p, what.size());
    }
    return text;
}

std::string Replace(const std::string& text, std::string_view what, std::string_view with) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, from)) {
        out.append(text, from, p - from);
        out.append(with);
        from = p + what.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

// Length of the longest prefix of text that is a number: [sign] digits [. digits] [e [sign]
// digits], with at least one mantissa digit. 0 when there is none.
std::size_t NumberPrefix(std::string_view text, char point) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        ++i, ++digits;
    }
    if (i < text.size() && text[i] == point) {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i, ++digits;
        }
    }
    if (digits == 0) {
        return 0;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        std::size_t expDigits = 0;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
            ++j, ++expDigits;
        }
        if (expDigits > 0) {
            i = j;
        }
    }
    return i;
}

// Converts a number written with `point` as decimal point; the prefix must have been checked.
double ConvertNumber(std::string_view text, char point) {
    std::string plain(text);
    if (!plain.empty() && plain[0] == '+') {
        plain.erase(0, 1);
    }
    if (point != '.') {
        std::size_t p = plain.find(point);
        if (p != std::string::npos) {
            plain[p] = '.';
        }
    }
    double value = 0;
    auto r = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        // Overflow reads as infinity, underflow as zero, as strtod does.
        return std::strtod(plain.c_str(), nullptr);
    }
    return value;
}

// The whole text must be a number written with `point`; anything else gives fallback.
double StrictToFloat(std::string_view text, char point, double fallback) {
    if (text.empty() || NumberPrefix(text, point) != text.size()) {
        return fallback;
    }
    return ConvertNumber(text, point);
}

}  // namespace

std::string FormatNumber(int decimals, double value) {
    std::string plain = PlainNumber(decimals, value);
    if (decimals < 0) {
        return WithSeparator(plain, DecimalSeparator());
    }
    std::size_t dot = plain.find('.');
    std::string fraction =
        dot == std::string::npos ? "" : DecimalSeparator() + plain.substr(dot + 1);
    return Group(plain.substr(0, dot), ThousandSeparator()) + fraction;
}

std::string FormatDotNumber(int decimals, double value) {
    return PlainNumber(decimals, value);
}

int DecimalsOf(double value) {
    if (!std::isfinite(value)) {
        return -1;
    }
    double fraction = std::fabs(value - std::trunc(value));
    std::string text = PlainNumber(-1, fraction);
    std::size_t e = text.find('E');
    if (e != std::string::npos) {
        return -StrToIntDef(text.substr(e + 1, 5), 0);
    }
    return static_cast<int>(text.size()) - 2;
}

double TextToFloatDef(std::string_view text, double fallback) {
    std::string clean(text);
    std::string thousand(1, ThousandSeparator());
    if (thousand != ",") {
        clean = RemoveAll(clean, thousand);
    }
    clean = Replace(clean, kNoBreakSpace, " ");
    clean = RemoveAll(clean, " ");
    if (DecimalSeparator() == ',') {
        return StrictToFloat(clean, ',', fallback);
    }
    std::size_t used = NumberPrefix(clean, '.');
    if (used == 0) {
        return fallback;
    }
    return ConvertNumber(std::string_view(clean).substr(0, used), '.');
}

double TextToFloat(std::string_view text) {
    return TextToFloatDef(text, 0);
}

double DotTextToFloatDef(std::string_view text, double fallback) {
    std::string clean = Replace(std::string(text), kNoBreakSpace, " ");
    clean = Replace(clean, ",", " ");
    clean = RemoveAll(clean, " ");
    char point = DecimalSeparator();
    if (point != '.') {
        std::size_t dot = clean.find('.');
        if (dot != std::string::npos) {
            clean[dot] = point;
        }
    }
    return StrictToFloat(clean, point, fallback);
}

std::string NextField(std::string& s, std::string_view delims, std::string_view fallback) {
    std::string field = NextTokenAny(s, delims);
    return field.empty() ? std::string(fallback) : field;
}

int NextIntField(std::string& s, std::string_view delims, int fallback) {
    return StrToIntDef(Trim(NextField(s, delims, "")), fallback);
}

int MinInt(int a, int b) {
    return a < b ? a : b;
}

}  // namespace orn
