#include "text/zstring.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace orn {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool IsDelimiter(std::string_view delims, char c) {
    return !IsContinuationByte(c) && delims.find(c) != std::string_view::npos;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void TrimInPlace(std::string& s) {
    s = Trim(s);
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            low = b == 0xE0 ? 0xA0 : 0x80;
            high = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            low = b == 0xF0 ? 0x90 : 0x80;
            high = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > s.size()) {
            return false;
        }
        const auto second = static_cast<unsigned char>(s[i + 1]);
        if (second < low || second > high) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string Trim(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && IsBlank(s[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(s[end - 1])) {
        --end;
    }
    return std::string(s.substr(begin, end - begin));
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string LowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = AsciiLower(c);
    }
    return out;
}

std::size_t CountDelimiters(std::string_view delims, std::string_view s) {
    std::size_t n = 0;
    for (char c : s) {
        if (IsDelimiter(delims, c)) {
            ++n;
        }
    }
    return n;
}

std::size_t FirstDelimiter(std::string_view delims, std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (IsDelimiter(delims, s[i])) {
            return i;
        }
    }
    return std::string::npos;
}

std::string NextTokenAny(std::string& s, std::string_view delims) {
    std::size_t p = delims.empty() ? std::string::npos : FirstDelimiter(delims, s);
    std::string token;
    if (p == std::string::npos) {
        token.swap(s);
        s.clear();
    } else {
        token = s.substr(0, p);
        s.erase(0, p + 1);
    }
    return token;
}

std::string NextToken(std::string& s, std::string_view separator) {
    std::size_t p = separator.empty() ? std::string::npos : s.find(separator);
    std::string token;
    if (p == std::string::npos) {
        token.swap(s);
        s.clear();
    } else {
        token = s.substr(0, p);
        s.erase(0, p + separator.size());
    }
    return token;
}

int SplitTwo(std::string_view s, std::string_view delims, std::string& a, std::string& b) {
    std::size_t p = FirstDelimiter(delims, s);
    if (p == std::string::npos) {
        a = std::string(s);
        b.clear();
        return 1;
    }
    a = std::string(s.substr(0, p));
    b = std::string(s.substr(p + 1));
    return 2;
}

int SplitThree(std::string_view s, std::string_view delims, std::string& a, std::string& b,
               std::string& c) {
    std::string rest(s);
    a = NextTokenAny(rest, delims);
    b = NextTokenAny(rest, delims);
    c = NextTokenAny(rest, delims);
    return static_cast<int>(CountDelimiters(delims, s)) + 1;
}

int SplitFour(std::string_view s, std::string_view delims, std::string& a, std::string& b,
              std::string& c, std::string& d) {
    std::string rest(s);
    a = NextTokenAny(rest, delims);
    b = NextTokenAny(rest, delims);
    c = NextTokenAny(rest, delims);
    d = NextTokenAny(rest, delims);
    return static_cast<int>(CountDelimiters(delims, s)) + 1;
}

int SplitTwoTrim(std::string_view s, std::string_view delims, std::string& a, std::string& b) {
    int n = SplitTwo(s, delims, a, b);
    TrimInPlace(a);
    TrimInPlace(b);
    return n;
}

int SplitThreeTrim(std::string_view s, std::string_view delims, std::string& a, std::string& b,
                   std::string& c) {
    int n = SplitThree(s, delims, a, b, c);
    TrimInPlace(a);
    TrimInPlace(b);
    TrimInPlace(c);
    return n;
}

int SplitFourTrim(std::string_view s, std::string_view delims, std::string& a, std::string& b,
                  std::string& c, std::string& d) {
    int n = SplitFour(s, delims, a, b, c, d);
    TrimInPlace(a);
    TrimInPlace(b);
    TrimInPlace(c);
    TrimInPlace(d);
    return n;
}

std::string ReplaceAll(std::string_view s, std::string_view find, std::string_view replacement) {
    std::string result(s);
    if (find.empty()) {
        return result;
    }
    // A replacement that holds the search text anywhere but at its start would be found again
    // inside the inserted text for ever. Such pairs get one left-to-right pass over the original
    // occurrences instead.
    std::size_t inner = replacement.find(find);
    if (inner != std::string_view::npos && inner != 0) {
        return ReplaceEach(s, find, replacement);
    }
    // Every other pair ends on its own; the cap of 4 * (length + 1) replacements only guards
    // against pathological pairs whose occurrences keep re-forming across the inserted text.
    const std::size_t limit = 4 * (s.size() + 1);
    std::size_t previous = std::string::npos;
    for (std::size_t done = 0; done < limit; ++done) {
        std::size_t p = result.find(find);
        if (p == std::string::npos) {
            break;
        }
        if (p == previous && find.size() <= replacement.size()) {
            break;
        }
        result.replace(p, find.size(), replacement);
        previous = p;
    }
    return result;
}

std::string ReplaceEach(std::string_view s, std::string_view find, std::string_view replacement) {
    if (find.empty()) {
        return std::string(s);
    }
    std::string out;
    std::size_t from = 0;
    for (std::size_t p = s.find(find); p != std::string_view::npos; p = s.find(find, from)) {
        out.append(s.substr(from, p - from));
        out.append(replacement);
        from = p + find.size();
    }
    out.append(s.substr(from));
    return out;
}

std::string GetEnvVar(const std::string& name) {
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

std::string TimeStampText() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    auto hundredths =
        (duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000 + 1000) % 1000 / 10;
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d%02d%02d %02d%02d%02d.%02d", local.tm_year % 100,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(hundredths));
    return buffer;
}

bool TryStrToInt(std::string_view text, int& value) {
    if (text.empty()) {
        return false;
    }
    std::size_t start = (text[0] == '+') ? 1 : 0;
    if (start == 1 && (text.size() == 1 || text[1] == '-')) {
        return false;
    }
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    int parsed = 0;
    auto [ptr, ec] = std::from_chars(first, last, parsed);
    if (ec != std::errc() || ptr != last) {
        return false;
    }
    value = parsed;
    return true;
}

int StrToIntDef(std::string_view text, int fallback) {
    int value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}

std::optional<int> NextIntItem(std::string& s) {
    const std::string item = Trim(NextTokenAny(s, ","));
    int value = 0;
    if (item.empty() || !TryStrToInt(item, value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace orn
