#include "dbengine/sql/unicode_case.h"

namespace orn::sql {

namespace {

bool inRange(char32_t c, char32_t lo, char32_t hi) {
    return c >= lo && c <= hi;
}

// In these Latin Extended and Cyrillic blocks the capital and small letters alternate.
bool pairedBlockUpperIsEven(char32_t c, bool& isPaired) {
    isPaired = true;
    if (inRange(c, 0x100, 0x12F) || inRange(c, 0x132, 0x137) || inRange(c, 0x14A, 0x177) ||
        inRange(c, 0x460, 0x481) || inRange(c, 0x48A, 0x4BF) || inRange(c, 0x4D0, 0x52F))
        return true;
    if (inRange(c, 0x139, 0x148) || inRange(c, 0x179, 0x17E) || inRange(c, 0x4C1, 0x4CE))
        return false;
    isPaired = false;
    return false;
}

}  // namespace

char32_t upperChar(char32_t c) {
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (inRange(c, 0xE0, 0xFE) && c != 0xF7)
        return c - 32;
    if (c == 0xFF)
        return 0x178;
    if (c == 0x131)
        return 'I';
    if (c == 0x17F)
        return 'S';
    bool paired = false;
    const bool upperEven = pairedBlockUpperIsEven(c, paired);
    if (paired) {
        const bool isEven = c % 2 == 0;
        return isEven == upperEven ? c : c - 1;
    }
    if (inRange(c, 0x3B1, 0x3C1) || inRange(c, 0x3C3, 0x3CB))
        return c - 32;
    if (c == 0x3C2)
        return 0x3A3;
    if (c == 0x3AC)
        return 0x386;
    if (inRange(c, 0x3AD, 0x3AF))
        return c - 37;
    if (c == 0x3CC)
        return 0x38C;
    if (inRange(c, 0x3CD, 0x3CE))
        return c - 63;
    if (inRange(c, 0x430, 0x44F))
        return c - 32;
    if (inRange(c, 0x450, 0x45F))
        return c - 80;
    return c;
}

char32_t lowerChar(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (inRange(c, 0xC0, 0xDE) && c != 0xD7)
        return c + 32;
    if (c == 0x178)
        return 0xFF;
    if (c == 0x130)
        return 'i';
    bool paired = false;
    const bool upperEven = pairedBlockUpperIsEven(c, paired);
    if (paired) {
        const bool isEven = c % 2 == 0;
        return isEven == upperEven ? c + 1 : c;
    }
    if (inRange(c, 0x391, 0x3A1) || inRange(c, 0x3A3, 0x3AB))
        return c + 32;
    if (c == 0x386)
        return 0x3AC;
    if (inRange(c, 0x388, 0x38A))
        return c + 37;
    if (c == 0x38C)
        return 0x3CC;
    if (inRange(c, 0x38E, 0x38F))
        return c + 63;
    if (inRange(c, 0x410, 0x42F))
        return c + 32;
    if (inRange(c, 0x400, 0x40F))
        return c + 80;
    return c;
}

char32_t decodeUtf8(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    int extra = 0;
    char32_t c = 0;
    if (b0 < 0x80) {
        ++pos;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        c = b0 & 0x07;
    } else {
        ++pos;
        return b0 | 0x80000000u;  // marks a raw byte
    }
    if (pos + extra >= text.size()) {
        ++pos;
        return b0 | 0x80000000u;
    }
    for (int i = 1; i <= extra; ++i) {
        const unsigned char b = byte(pos + i);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return b0 | 0x80000000u;
        }
        c = (c << 6) | (b & 0x3F);
    }
    pos += extra + 1;
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c & 0x80000000u) {
        out.push_back(static_cast<char>(c & 0xFF));
    } else if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

namespace {

template <typename Map>
std::string mapCase(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = decodeUtf8(text, pos);
        appendUtf8(out, (c & 0x80000000u) ? c : map(c));
    }
    return out;
}

}  // namespace

std::string utf8Upper(std::string_view text) {
    return mapCase(text, upperChar);
}
std::string utf8Lower(std::string_view text) {
    return mapCase(text, lowerChar);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t ca = decodeUtf8(a, i);
        const char32_t cb = decodeUtf8(b, j);
        if (ca == cb)
            continue;
        if ((ca | cb) & 0x80000000u)
            return false;
        if (lowerChar(ca) != lowerChar(cb))
            return false;
    }
    return i == a.size() && j == b.size();
}

}  // namespace orn::sql
