#include "settings/zIniStore.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace orn {

bool TzCustomIniFile::ReadBool(const std::string& section, const std::string& key,
                               bool defaultValue) {
    long long n = 0;
    if (!ParseIniInteger(ReadString(section, key, ""), n)) {
        return defaultValue;
    }
    return n != 0;
}

bool ParseIniInteger(const std::string& text, long long& value) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') {
        ++b;
    }
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') {
        --e;
    }
    std::string s = text.substr(b, e - b);
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.erase(0, 1);
    }
    int base = 10;
    if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.erase(0, 2);
    } else if (!s.empty() && s[0] == '$') {
        base = 16;
        s.erase(0, 1);
    }
    if (s.empty() || !std::isxdigit(static_cast<unsigned char>(s[0])) ||
        (base == 10 && !std::isdigit(static_cast<unsigned char>(s[0])))) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(s.c_str(), &end, base);
    if (errno != 0 || end == nullptr || *end != '\0') {
        return false;
    }
    value = negative ? -n : n;
    return true;
}

}  // namespace orn
