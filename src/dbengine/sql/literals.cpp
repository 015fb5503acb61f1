#include "dbengine/sql/literals.h"

#include <cctype>
#include <cstdio>

namespace orn::sql {

namespace {

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// Reads 1..maxDigits digits; returns the count read (0 on none).
int readNumber(std::string_view s, std::size_t& pos, int maxDigits, int& value) {
    int n = 0;
    value = 0;
    while (pos < s.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(s[pos]))) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++n;
    }
    return n;
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

bool validDate(int y, int m, int d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1)
        return false;
    return d <= days[m - 1] + (m == 2 && isLeap(y) ? 1 : 0);
}

struct Ymd {
    int y = 0, m = 0, d = 0;
};

// Parses a date at the start of `s`, leaving `pos` after it.
std::optional<Ymd> parseDate(std::string_view s, std::size_t& pos) {
    int a = 0, b = 0, c = 0;
    const int na = readNumber(s, pos, 4, a);
    if (na == 0 || pos >= s.size())
        return std::nullopt;
    Ymd r;
    if (na == 4 && s[pos] == '-') {
        ++pos;
        if (readNumber(s, pos, 2, b) == 0 || pos >= s.size() || s[pos] != '-')
            return std::nullopt;
        ++pos;
        if (readNumber(s, pos, 2, c) == 0)
            return std::nullopt;
        r = {a, b, c};
    } else {
        if (na > 2 || s[pos] != '/')
            return std::nullopt;
        ++pos;
        if (readNumber(s, pos, 2, b) == 0 || pos >= s.size() || s[pos] != '/')
            return std::nullopt;
        ++pos;
        const int nc = readNumber(s, pos, 4, c);
        if (nc != 2 && nc != 4)
            return std::nullopt;
        if (nc == 2)
            c += c < 50 ? 2000 : 1900;
        r = {c, a, b};
    }
    if (!validDate(r.y, r.m, r.d))
        return std::nullopt;
    return r;
}

struct Hms {
    int h = 0, m = 0, s = 0, ms = 0;
};

std::optional<Hms> parseTime(std::string_view s, std::size_t& pos) {
    Hms t;
    if (readNumber(s, pos, 2, t.h) == 0 || pos >= s.size() || s[pos] != ':')
        return std::nullopt;
    ++pos;
    if (readNumber(s, pos, 2, t.m) != 2)
        return std::nullopt;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (readNumber(s, pos, 2, t.s) != 2)
            return std::nullopt;
        if (pos < s.size() && s[pos] == '.') {
            ++pos;
            int frac = 0;
            const int n = readNumber(s, pos, 3, frac);
            if (n == 0)
                return std::nullopt;
            for (int i = n; i < 3; ++i)
                frac *= 10;
            t.ms = frac;
            while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])))
                ++pos;
        }
    }
    std::size_t p = pos;
    while (p < s.size() && s[p] == ' ')
        ++p;
    if (p + 2 <= s.size()) {
        const char c0 = static_cast<char>(std::toupper(static_cast<unsigned char>(s[p])));
        const char c1 = static_cast<char>(std::toupper(static_cast<unsigned char>(s[p + 1])));
        if ((c0 == 'A' || c0 == 'P') && c1 == 'M') {
            if (c0 == 'P' && t.h < 12)
                t.h += 12;
            if (c0 == 'A' && t.h == 12)
                t.h = 0;
            pos = p + 2;
        }
    }
    if (t.h > 23 || t.m > 59 || t.s > 59)
        return std::nullopt;
    return t;
}

std::string formatDate(const Ymd& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.y, d.m, d.d);
    return buf;
}

std::string formatTime(const Hms& t) {
    char buf[24];
    if (t.ms != 0)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.h, t.m, t.s, t.ms);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.h, t.m, t.s);
    return buf;
}

}  // namespace

std::optional<std::string> dateToIso(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    std::size_t pos = 0;
    const auto d = parseDate(s, pos);
    if (!d || pos != s.size())
        return std::nullopt;
    return formatDate(*d);
}

std::optional<std::string> timeToIso(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    std::size_t pos = 0;
    const auto t = parseTime(s, pos);
    if (!t || pos != s.size())
        return std::nullopt;
    return formatTime(*t);
}

std::optional<std::string> timestampToIso(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    std::size_t pos = 0;
    const auto d = parseDate(s, pos);
    if (!d)
        return std::nullopt;
    Hms t;
    if (pos < s.size()) {
        if (s[pos] != ' ' && s[pos] != 'T')
            return std::nullopt;
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == 'T'))
            ++pos;
        const auto parsed = parseTime(s, pos);
        if (!parsed)
            return std::nullopt;
        t = *parsed;
    }
    if (pos != s.size())
        return std::nullopt;
    return formatDate(*d) + ' ' + formatTime(t);
}

std::optional<int> booleanFromText(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    std::string up;
    for (char c : s)
        up.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (up == "TRUE" || up == "T")
        return 1;
    if (up == "FALSE" || up == "F")
        return 0;
    return std::nullopt;
}

}  // namespace orn::sql
