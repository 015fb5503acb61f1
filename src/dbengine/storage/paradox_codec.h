#pragma once

// Byte-level encodings of Paradox table files: little-endian header integers and the big-endian
// "sortable" field encodings whose bytes compare in the order of the values they hold.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace orn::db::paradox {

inline std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline void putLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
inline void putLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

inline bool allZero(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

// Integers (S, I, +, D, T): two's complement big-endian with the top bit flipped; all zero bytes
// mean blank.
inline std::optional<std::int64_t> getSortableInt(const std::uint8_t* p, int n) {
    if (allZero(p, std::size_t(n)))
        return std::nullopt;
    std::uint64_t u = p[0] ^ 0x80u;
    for (int i = 1; i < n; ++i)
        u = (u << 8) | p[i];
    int shift = 64 - 8 * n;
    return std::int64_t(u << shift) >> shift;  // sign-extend
}
inline void putSortableInt(std::uint8_t* p, int n, std::int64_t v) {
    std::uint64_t u = std::uint64_t(v);
    for (int i = n - 1; i >= 0; --i) {
        p[i] = std::uint8_t(u);
        u >>= 8;
    }
    p[0] ^= 0x80;
}

// Doubles (N, $, @): big-endian IEEE; non-negative values get the sign bit set, negative ones
// have every bit inverted.
inline std::optional<double> getSortableDouble(const std::uint8_t* p) {
    if (allZero(p, 8))
        return std::nullopt;
    std::uint64_t u = 0;
    for (int i = 0; i < 8; ++i)
        u = (u << 8) | p[i];
    if (u & 0x8000000000000000ull)
        u &= ~0x8000000000000000ull;
    else
        u = ~u;
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}
inline void putSortableDouble(std::uint8_t* p, double d) {
    if (d == 0)
        d = 0;  // -0 and +0 store alike
    std::uint64_t u;
    std::memcpy(&u, &d, 8);
    if (u & 0x8000000000000000ull)
        u = ~u;
    else
        u |= 0x8000000000000000ull;
    for (int i = 7; i >= 0; --i) {
        p[i] = std::uint8_t(u);
        u >>= 8;
    }
}

// BCD (#): 17 bytes, byte 0 holds sign and decimal count, 32 nibbles of digits follow.
// Returns the canonical decimal text, or nullopt for a blank value.
std::optional<std::string> getBcd(const std::uint8_t* p, int decimals);
// Encodes canonical decimal text; false when it does not fit 32 digits with `decimals` of them
// after the point (extra decimals are refused rather than silently rounded).
bool putBcd(std::uint8_t* p, int decimals, const std::string& text);

// Canonical decimal text: optional '-', digits without leading zeros, optional '.' followed by
// digits without trailing zeros. Returns false for text that is not a plain decimal number.
bool canonicalDecimal(const std::string& in, std::string& out);

}  // namespace orn::db::paradox
