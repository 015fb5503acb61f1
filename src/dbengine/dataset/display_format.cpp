#include "dbengine/dataset/display_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace orn::db {
namespace {

std::vector<std::string_view> sections(std::string_view mask) {
    std::vector<std::string_view> out;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const char c = mask[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';' && out.size() < 2) {
            out.push_back(mask.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(mask.substr(start));
    return out;
}

// What a section asks for.
struct Layout {
    int minIntDigits = 0;  // '0's from the first '0' before the point
    int minDecimals = 0;   // '0's after the point
    int maxDecimals = 0;   // '0's and '#'s after the point
    bool grouping = false;
    bool scientific = false;
    int minExpDigits = 0;
    bool anyDigit = false;
};

Layout analyse(std::string_view s) {
    Layout l;
    char quote = 0;
    bool afterPoint = false;
    bool seenZero = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (l.scientific) {
            continue;
        } else if (c == '0' || c == '#') {
            l.anyDigit = true;
            if (afterPoint) {
                ++l.maxDecimals;
                if (c == '0') {
                    l.minDecimals = l.maxDecimals;
                }
            } else {
                seenZero = seenZero || c == '0';
                if (seenZero) {
                    ++l.minIntDigits;
                }
            }
        } else if (c == '.' && !afterPoint) {
            afterPoint = true;
        } else if (c == ',' && !afterPoint) {
            l.grouping = true;
        } else if ((c == 'E' || c == 'e') && i + 1 < s.size() &&
                   (s[i + 1] == '+' || s[i + 1] == '-')) {
            l.scientific = true;
            for (std::size_t j = i + 2; j < s.size() && s[j] == '0'; ++j) {
                ++l.minExpDigits;
            }
        }
    }
    return l;
}

std::string groupDigits(const std::string& digits, char sep) {
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) {
            out += sep;
        }
        out += digits[i];
    }
    return out;
}

std::string render(double value, bool negative, std::string_view s, char dec, char thou) {
    const Layout l = analyse(s);
    int exponent = 0;
    if (l.scientific && value != 0) {
        exponent = static_cast<int>(std::floor(std::log10(value)));
        value /= std::pow(10.0, exponent);
        // rounding may carry into another digit: 9.999 -> 10.00
        const double scale = std::pow(10.0, l.maxDecimals);
        if (std::round(value * scale) / scale >= 10) {
            value /= 10;
            ++exponent;
        }
    }
    // Halves round away from zero, on the value's 15 significant digits (not on its binary
    // expansion, which would turn 1.005 into 1.00).
    value *= 1 + 4 * std::numeric_limits<double>::epsilon();
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", l.maxDecimals, value);
    std::string fixed = buf;
    std::string intDigits = fixed.substr(0, fixed.find('.'));
    std::string fraction =
        fixed.find('.') == std::string::npos ? "" : fixed.substr(fixed.find('.') + 1);
    while (static_cast<int>(fraction.size()) > l.minDecimals && !fraction.empty() &&
           fraction.back() == '0') {
        fraction.pop_back();
    }
    if (intDigits == "0") {
        intDigits.clear();
    }
    while (static_cast<int>(intDigits.size()) < l.minIntDigits) {
        intDigits.insert(intDigits.begin(), '0');
    }
    const bool zero = intDigits.find_first_not_of('0') == std::string::npos &&
                      fraction.find_first_not_of('0') == std::string::npos;
    const std::string sign = negative && !zero ? "-" : "";
    if (l.grouping) {
        intDigits = groupDigits(intDigits, thou);
    }

    std::string out;
    char quote = 0;
    bool afterPoint = false;
    bool intWritten = false;
    std::size_t fracPos = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else {
                out += c;
            }
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '0' || c == '#') {
            if (afterPoint) {
                if (fracPos < fraction.size()) {
                    out += fraction[fracPos];
                }
                ++fracPos;
            } else if (!intWritten) {
                out += sign + intDigits;
                intWritten = true;
            }
        } else if (c == '.' && !afterPoint) {
            afterPoint = true;
            if (!intWritten) {
                out += sign + intDigits;
                intWritten = true;
            }
            if (!fraction.empty()) {
                out += dec;
            }
        } else if (c == ',' && !afterPoint) {
            // grouping marker, not output
        } else if ((c == 'E' || c == 'e') && i + 1 < s.size() &&
                   (s[i + 1] == '+' || s[i + 1] == '-')) {
            out += c;
            if (exponent < 0) {
                out += '-';
            } else if (s[i + 1] == '+') {
                out += '+';
            }
            std::string e = std::to_string(std::abs(exponent));
            while (static_cast<int>(e.size()) < l.minExpDigits) {
                e.insert(e.begin(), '0');
            }
            out += e;
            i += 1 + static_cast<std::size_t>(l.minExpDigits);
        } else {
            out += c;
        }
    }
    return out;
}

// Lays out a scientific shortest form ("-1.25e+03") as "%.15g" would: fixed notation for
// exponents from -4 to 14, else d.ddde+XX. False (nothing added) for more than 15 digits.
bool appendShortestAsGeneral(std::string& out, const char* first, const char* last) {
    const std::string_view text(first, static_cast<std::size_t>(last - first));
    const std::size_t e = text.find('e');
    if (e == std::string_view::npos) {
        return false;
    }
    const bool negative = text[0] == '-';
    char digits[20];
    int count = 0;
    for (std::size_t i = negative ? 1 : 0; i < e; ++i) {
        if (text[i] != '.') {
            if (count == 15) {
                return false;
            }
            digits[count++] = text[i];
        }
    }
    int exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    exponent);
    if (negative) {
        out += '-';
    }
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out.append(digits, static_cast<std::size_t>(count));
            return true;
        }
        const int whole = exponent + 1;
        if (count <= whole) {
            out.append(digits, static_cast<std::size_t>(count));
            out.append(static_cast<std::size_t>(whole - count), '0');
        } else {
            out.append(digits, static_cast<std::size_t>(whole));
            out += '.';
            out.append(digits + whole, static_cast<std::size_t>(count - whole));
        }
        return true;
    }
    out += digits[0];
    if (count > 1) {
        out += '.';
        out.append(digits + 1, static_cast<std::size_t>(count - 1));
    }
    out += exponent < 0 ? "e-" : "e+";
    const int absolute = exponent < 0 ? -exponent : exponent;
    if (absolute < 10) {
        out += '0';
    }
    char exp[8];
    out.append(exp, std::to_chars(exp, exp + sizeof exp, absolute).ptr);
    return true;
}

}  // namespace

std::string generalNumber(double value, char dec) {
    std::string s;
    appendGeneralNumber(s, value, dec);
    return s;
}

void appendGeneralNumber(std::string& out, double value, char dec) {
    // The text of printf's "%.15g", without printf (an export formats every number). A normal
    // number whose shortest round-trip form has at most 15 digits prints those digits: the value
    // lies within half a unit in the last place of them, far closer than to any other 15-digit
    // decimal. Other numbers go through the fixed-precision conversion.
    const std::size_t start = out.size();
    char buf[64];
    char* end = nullptr;
    const double magnitude = std::fabs(value);
    if (value == 0 || (magnitude >= std::numeric_limits<double>::min() &&
                       magnitude <= std::numeric_limits<double>::max())) {
        end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific).ptr;
        if (!appendShortestAsGeneral(out, buf, end)) {
            end = nullptr;
        }
    }
    if (!end) {
        end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15).ptr;
        out.append(buf, end);
    }
    if (dec != '.') {
        for (std::size_t i = start; i < out.size(); ++i) {
            if (out[i] == '.') {
                out[i] = dec;
            }
        }
    }
}

std::string formatNumberMask(double value, std::string_view mask, char dec, char thou) {
    if (mask.empty() || !std::isfinite(value)) {
        return generalNumber(value, dec);
    }
    const auto parts = sections(mask);
    std::string_view section = parts[0];
    bool negative = value < 0;
    if (value < 0 && parts.size() >= 2 && !parts[1].empty()) {
        section = parts[1];
        negative = false;
    } else if (value == 0 && parts.size() >= 3 && !parts[2].empty()) {
        section = parts[2];
    }
    return render(std::fabs(value), negative, section, dec, thou);
}

}  // namespace orn::db
