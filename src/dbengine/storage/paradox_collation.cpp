#include "dbengine/storage/paradox_collation.h"

#include <cstring>

#include "dbengine/storage/companion.h"

namespace orn::db::paradox {

namespace {

// The national orders whose keyed tables with Alpha keys we have from other programs, every
// neighbouring pair of keys in them agreeing with the known part: international on code page
// 850, the ANSI international order and the Windows US order.
constexpr const char* kKnownNational[] = {"intl850", "ansiintl", "dbwinus0"};

enum CharClass { kEnd, kDigit, kUpper, kLower, kOther };

CharClass classOf(std::uint8_t c) {
    if (c == 0)
        return kEnd;
    if (c >= '0' && c <= '9')
        return kDigit;
    if (c >= 'A' && c <= 'Z')
        return kUpper;
    if (c >= 'a' && c <= 'z')
        return kLower;
    return kOther;
}

int sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

}  // namespace

bool sortOrderIsByteOrder(const std::string& name) {
    return asciiLower(name) == "ascii";
}

bool alphaInByteOrder(const Header& h) {
    return h.sortOrder == 0 && (h.sortOrderName.empty() || sortOrderIsByteOrder(h.sortOrderName));
}

bool nationalOrderKnown(const std::string& name) {
    const std::string lower = asciiLower(name);
    for (const char* known : kKnownNational)
        if (lower == known)
            return true;
    return false;
}

int compareNationalAlpha(const std::uint8_t* a, const std::uint8_t* b, std::size_t width) {
    std::size_t i = 0;
    while (i < width && a[i] == b[i]) {
        if (a[i] == 0)
            return 0;  // both ended; what follows the end is padding
        ++i;
    }
    if (i == width)
        return 0;
    const CharClass ca = classOf(a[i]);
    const CharClass cb = classOf(b[i]);
    // A value that ends sorts before one that goes on with a digit or a letter: true of byte
    // order and of every dictionary order. Punctuation and blanks may be ignored by the latter.
    if (ca == kEnd)
        return cb == kOther ? kUndecided : -1;
    if (cb == kEnd)
        return ca == kOther ? kUndecided : 1;
    if (ca == cb && ca != kOther)
        return a[i] < b[i] ? -1 : 1;
    return kUndecided;
}

KeyOrder::KeyOrder(const Header& h, const std::vector<FieldSpec>& fields, int keyFields) {
    if (!h.sortOrderName.empty()) {
        name_ = h.sortOrderName;
        if (!sortOrderIsByteOrder(name_))
            kind_ = nationalOrderKnown(name_) ? Kind::National : Kind::Unknown;
    } else if (h.sortOrder != 0) {
        // Tables before level 4 state their order by a number only.
        static const char* kHex = "0123456789ABCDEF";
        name_ = std::string("number 0x") + kHex[h.sortOrder >> 4] + kHex[h.sortOrder & 15];
        kind_ = Kind::Unknown;
    }
    bool alphaSeen = false;
    for (int i = 0; i < keyFields && std::size_t(i) < fields.size(); ++i) {
        const FieldSpec& f = fields[std::size_t(i)];
        const bool alpha = f.code == kAlpha && kind_ != Kind::Bytes;
        alphaSeen = alphaSeen || alpha;
        if (!alphaSeen)
            bytewisePrefix_ += std::size_t(f.width);
        if (!alpha && !parts_.empty() && !parts_.back().alpha)
            parts_.back().width += std::size_t(f.width);
        else
            parts_.push_back({keySize_, std::size_t(f.width), alpha});
        keySize_ += std::size_t(f.width);
    }
    if (!alphaSeen)
        kind_ = Kind::Bytes;  // nothing in the key depends on the sort order
}

int KeyOrder::compare(const std::uint8_t* a, const std::uint8_t* b) const {
    if (kind_ == Kind::Bytes)
        return sign(std::memcmp(a, b, keySize_));
    for (const Part& p : parts_) {
        const std::uint8_t* x = a + p.offset;
        const std::uint8_t* y = b + p.offset;
        int c;
        if (!p.alpha)
            c = sign(std::memcmp(x, y, p.width));
        else if (kind_ == Kind::National)
            c = compareNationalAlpha(x, y, p.width);
        else
            c = compareNationalAlpha(x, y, p.width) == 0 ? 0 : kUndecided;
        if (c != 0)
            return c;
    }
    return 0;
}

}  // namespace orn::db::paradox
