#include "dbengine/dataset/field_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "dbengine/dataset/display_format.h"
#include "dbengine/dataset/separators.h"
#include "dbengine/storage/calendar.h"
#include "dbengine/storage/table.h"
#include "dbengine/vtab/iso_text.h"

namespace orn::db {
namespace {

std::string trimmed(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && static_cast<unsigned char>(s[a]) <= ' ') {
        ++a;
    }
    while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') {
        --b;
    }
    return s.substr(a, b - a);
}

[[noreturn]] void invalid(const std::string& text, const char* what) {
    throw EngineError("'" + text + "' is not a valid " + what);
}

bool parseInteger(const std::string& t, std::int64_t& out) {
    if (t.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    out = std::strtoll(t.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool parseLocalNumber(const std::string& text, double& out) {
    const char dec = decimalSeparator();
    const char thou = thousandsSeparator();
    std::string s;
    for (char c : text) {
        if (c == thou && thou != dec) {
            continue;
        }
        s += c == dec ? '.' : c;
    }
    if (s.empty()) {
        return false;
    }
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return *end == '\0' && std::isfinite(out);
}

// Splits "a<sep>b<sep>c" into numbers; false on anything else.
bool threeNumbers(const std::string& s, char sep, int& a, int& b, int& c) {
    const auto p1 = s.find(sep);
    const auto p2 = p1 == std::string::npos ? p1 : s.find(sep, p1 + 1);
    if (p2 == std::string::npos) {
        return false;
    }
    std::int64_t x = 0, y = 0, z = 0;
    if (!parseInteger(s.substr(0, p1), x) || !parseInteger(s.substr(p1 + 1, p2 - p1 - 1), y) ||
        !parseInteger(s.substr(p2 + 1), z) || x < 0 || y < 0 || z < 0 || z > 9999) {
        return false;
    }
    a = static_cast<int>(x);
    b = static_cast<int>(y);
    c = static_cast<int>(z);
    return true;
}

bool parseDate(const std::string& s, Date& out) {
    if (auto d = parseIsoDate(s)) {
        out = *d;
        return true;
    }
    int m = 0, d = 0, y = 0;
    if (!threeNumbers(s, '/', m, d, y)) {
        return false;
    }
    const auto yearDigits = s.size() - s.rfind('/') - 1;
    if (yearDigits <= 2) {
        y += y < 50 ? 2000 : 1900;
    }
    if (!isValidCivilDate(y, m, d)) {
        return false;
    }
    out = Date{dayNumber(y, m, d)};
    return true;
}

bool parseTime(std::string s, TimeOfDay& out) {
    std::string upper;
    for (char c : s) {
        upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    int shift = -1;  // -1 none, 0 AM, 12 PM
    for (const char* suffix : {"AM", "PM"}) {
        if (upper.size() > 2 && upper.compare(upper.size() - 2, 2, suffix) == 0) {
            shift = suffix[0] == 'A' ? 0 : 12;
            s = trimmed(s.substr(0, s.size() - 2));
        }
    }
    if (s.size() == 4 || s.size() == 7) {
        s = "0" + s;  // 9:30 -> 09:30
    }
    auto t = parseIsoTime(s);
    if (!t) {
        return false;
    }
    int h = t->ms / 3'600'000;
    if (shift >= 0 && h <= 12) {
        // 12 AM is midnight, 12 PM noon; an hour past 12 with AM stays as written
        h = h % 12 + shift;
        t->ms = h * 3'600'000 + t->ms % 3'600'000;
    }
    out = *t;
    return true;
}

}  // namespace

double cellNumber(const Cell& cell) {
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        return static_cast<double>(*i);
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        return *d;
    }
    if (const auto* s = std::get_if<std::string>(&cell)) {
        return std::strtod(s->c_str(), nullptr);
    }
    return 0;
}

std::string cellText(FieldKind kind, const Cell& cell) {
    std::string out;
    appendCellText(out, kind, cell);
    return out;
}

void appendCellText(std::string& out, FieldKind kind, const Cell& cell) {
    if (std::holds_alternative<std::monostate>(cell)) {
        return;
    }
    if (const auto* b = std::get_if<std::vector<std::uint8_t>>(&cell)) {
        out.append(b->begin(), b->end());
    } else if (kind == FieldKind::Boolean) {
        out += cellNumber(cell) != 0 ? "True" : "False";
    } else if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        char buf[24];
        out.append(buf, std::to_chars(buf, buf + sizeof buf, *i).ptr);
    } else if (const auto* d = std::get_if<double>(&cell)) {
        appendGeneralNumber(out, *d, decimalSeparator());
    } else {
        out += std::get<std::string>(cell);
    }
}

Cell cellFromText(FieldKind kind, const std::string& raw) {
    if (kind == FieldKind::Text || kind == FieldKind::Memo) {
        return raw;
    }
    if (kind == FieldKind::Blob) {
        return std::vector<std::uint8_t>(raw.begin(), raw.end());
    }
    const std::string text = trimmed(raw);
    if (text.empty()) {
        return std::monostate{};
    }
    switch (kind) {
        case FieldKind::Integer:
        case FieldKind::AutoInc: {
            std::int64_t i = 0;
            if (!parseInteger(text, i)) {
                invalid(raw, "integer value");
            }
            return i;
        }
        case FieldKind::Float:
        case FieldKind::Money:
        case FieldKind::Bcd: {
            double d = 0;
            if (!parseLocalNumber(text, d)) {
                invalid(raw, "floating point value");
            }
            return d;
        }
        case FieldKind::Boolean: {
            std::string l;
            for (char c : text) {
                l += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            }
            if (l == "true" || l == "t" || l == "yes" || l == "y" || l == "1") {
                return std::int64_t{1};
            }
            if (l == "false" || l == "f" || l == "no" || l == "n" || l == "0") {
                return std::int64_t{0};
            }
            invalid(raw, "boolean value");
        }
        case FieldKind::Date: {
            Date d;
            if (!parseDate(text, d)) {
                invalid(raw, "date");
            }
            return isoText(d);
        }
        case FieldKind::Time: {
            TimeOfDay t;
            if (!parseTime(text, t)) {
                invalid(raw, "time");
            }
            return isoText(t);
        }
        case FieldKind::Timestamp: {
            const auto blank = text.find(' ');
            Date d;
            TimeOfDay t{};
            if (!parseDate(text.substr(0, blank), d) ||
                (blank != std::string::npos && !parseTime(trimmed(text.substr(blank + 1)), t))) {
                if (auto ts = parseIsoTimestamp(text)) {
                    return isoText(*ts);
                }
                invalid(raw, "date and time");
            }
            return isoText(Timestamp{static_cast<double>(std::int64_t{d.day} * 86'400'000 + t.ms)});
        }
        default:
            return raw;
    }
}

}  // namespace orn::db
