#include "dbengine/storage/paradox_codec.h"

namespace orn::db::paradox {

std::optional<std::string> getBcd(const std::uint8_t* p, int decimals) {
    if (p[0] == 0 || !(p[0] & 0x40))
        return std::nullopt;
    bool negative = !(p[0] & 0x80);
    int dec = p[0] & 0x3F;
    if (dec > 32)
        dec = decimals > 32 ? 32 : decimals;
    char digits[32];
    for (int i = 0; i < 32; ++i) {
        int nib = (i % 2 == 0) ? (p[1 + i / 2] >> 4) : (p[1 + i / 2] & 0x0F);
        if (negative)
            nib = 15 - nib;
        if (nib > 9)
            nib = 9;  // damaged digit: keep the text well-formed
        digits[i] = char('0' + nib);
    }
    std::string intPart(digits, digits + (32 - dec));
    std::string fracPart(digits + (32 - dec), digits + 32);
    std::size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
    while (!fracPart.empty() && fracPart.back() == '0')
        fracPart.pop_back();
    std::string out;
    if (negative && !(intPart == "0" && fracPart.empty()))
        out = "-";
    out += intPart;
    if (!fracPart.empty())
        out += "." + fracPart;
    return out;
}

bool canonicalDecimal(const std::string& in, std::string& out) {
    std::size_t i = 0;
    bool negative = false;
    while (i < in.size() && (in[i] == ' ' || in[i] == '\t'))
        ++i;
    if (i < in.size() && (in[i] == '-' || in[i] == '+'))
        negative = in[i++] == '-';
    std::string intPart, fracPart;
    while (i < in.size() && in[i] >= '0' && in[i] <= '9')
        intPart += in[i++];
    if (i < in.size() && in[i] == '.') {
        ++i;
        while (i < in.size() && in[i] >= '0' && in[i] <= '9')
            fracPart += in[i++];
    }
    while (i < in.size() && (in[i] == ' ' || in[i] == '\t'))
        ++i;
    if (i != in.size() || (intPart.empty() && fracPart.empty()))
        return false;
    std::size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
    while (!fracPart.empty() && fracPart.back() == '0')
        fracPart.pop_back();
    out.clear();
    if (negative && !(intPart == "0" && fracPart.empty()))
        out = "-";
    out += intPart;
    if (!fracPart.empty())
        out += "." + fracPart;
    return true;
}

bool putBcd(std::uint8_t* p, int decimals, const std::string& text) {
    std::string canon;
    if (decimals < 0 || decimals > 32 || !canonicalDecimal(text, canon))
        return false;
    bool negative = !canon.empty() && canon[0] == '-';
    std::string body = negative ? canon.substr(1) : canon;
    std::size_t dot = body.find('.');
    std::string intPart = dot == std::string::npos ? body : body.substr(0, dot);
    std::string fracPart = dot == std::string::npos ? "" : body.substr(dot + 1);
    if (int(fracPart.size()) > decimals)
        return false;
    fracPart.append(std::size_t(decimals) - fracPart.size(), '0');
    if (intPart == "0")
        intPart.clear();
    if (int(intPart.size()) > 32 - decimals)
        return false;
    std::string digits(std::size_t(32 - decimals) - intPart.size(), '0');
    digits += intPart + fracPart;
    p[0] = std::uint8_t((negative ? 0x00 : 0x80) | 0x40 | decimals);
    for (int i = 0; i < 16; ++i) {
        int hi = digits[std::size_t(2 * i)] - '0', lo = digits[std::size_t(2 * i + 1)] - '0';
        if (negative) {
            hi = 15 - hi;
            lo = 15 - lo;
        }
        p[1 + i] = std::uint8_t((hi << 4) | lo);
    }
    return true;
}

}  // namespace orn::db::paradox
