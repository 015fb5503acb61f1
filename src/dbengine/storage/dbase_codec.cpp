#include "dbengine/storage/dbase_codec.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "dbengine/storage/calendar.h"
#include "dbengine/storage/decimal_text.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"

namespace orn::db::dbase {

namespace {

std::int64_t le(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return static_cast<std::int64_t>(v);
}
void putLe(std::uint8_t* p, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
bool allBytes(const std::uint8_t* p, std::size_t n, std::uint8_t b) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != b)
            return false;
    }
    return true;
}

// Big-endian integers with the top bit flipped, as dBASE 7 stores I and + (and Paradox does).
std::int64_t sortableInt(const std::uint8_t* p) {
    std::uint32_t v = (std::uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    return static_cast<std::int32_t>(v ^ 0x80000000u);
}
void putSortableInt(std::uint8_t* p, std::int32_t value) {
    std::uint32_t v = static_cast<std::uint32_t>(value) ^ 0x80000000u;
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
// Big-endian doubles: positive ones with the sign bit set, negative ones with every bit inverted.
double sortableDouble(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | p[i];
    if (v & (std::uint64_t{1} << 63)) {
        v &= ~(std::uint64_t{1} << 63);
    } else {
        v = ~v;
    }
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}
// Visual FoxPro files with O fields (written by other libraries) only flip the sign bit.
double signFlippedDouble(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | p[i];
    v ^= std::uint64_t{1} << 63;
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}
void putSignFlippedDouble(std::uint8_t* p, double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    v ^= std::uint64_t{1} << 63;
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
}
void putSortableDouble(std::uint8_t* p, double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    if (v & (std::uint64_t{1} << 63)) {
        v = ~v;
    } else {
        v |= std::uint64_t{1} << 63;
    }
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
}

// The bytes of a character field up to its trailing blanks and NULs.
std::size_t textLength(const std::uint8_t* p, std::size_t n) {
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0))
        --n;
    return n;
}

std::string_view trimmed(const std::uint8_t* p, std::size_t n) {
    std::size_t b = 0, e = n;
    while (b < e && (p[b] == ' ' || p[b] == 0))
        ++b;
    while (e > b && (p[e - 1] == ' ' || p[e - 1] == 0))
        --e;
    return {reinterpret_cast<const char*>(p + b), e - b};
}

Value parseNumber(std::string_view s, int decimals) {
    if (s.empty())
        return {};
    {
        // Whole numbers first; a point or exponent stops the integer parse short of the end.
        std::int64_t i = 0;
        const char* b = s.data();
        if (*b == '+')
            ++b;
        auto r = std::from_chars(b, s.data() + s.size(), i);
        if (r.ec == std::errc() && r.ptr == s.data() + s.size()) {
            if (decimals == 0)
                return i;
            return static_cast<double>(i);
        }
    }
    if (s.size() > 15) {
        // more digits than a double keeps: the exact decimal, so that nothing is lost on the way
        int digits = 0;
        for (char c : s)
            digits += c >= '0' && c <= '9';
        if (digits > 15) {
            if (auto exact = roundedDecimal(s, decimals))
                return Decimal{*exact};
        }
    }
    double d = 0;
    const char* b = s.data();
    if (*b == '+')
        ++b;
    auto r = std::from_chars(b, s.data() + s.size(), d);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) {
        // Some writers put a comma as decimal point; anything else (overflow stars) is blank.
        std::string copy(s);
        for (char& c : copy) {
            if (c == ',')
                c = '.';
        }
        r = std::from_chars(copy.data(), copy.data() + copy.size(), d);
        if (r.ec != std::errc() || r.ptr != copy.data() + copy.size())
            return {};
    }
    return d;
}

[[noreturn]] void cannotHold(const DbfField& f, const Value& v, const std::string& why) {
    throw EngineError("Field " + f.field.name + " cannot hold the value \"" + valueText(v) +
                      "\": " + why);
}

bool numericValue(const Value& v, double& out) {
    if (auto* i = std::get_if<std::int64_t>(&v)) {
        out = static_cast<double>(*i);
        return true;
    }
    if (auto* d = std::get_if<double>(&v)) {
        out = *d;
        return true;
    }
    if (auto* b = std::get_if<bool>(&v)) {
        out = *b ? 1 : 0;
        return true;
    }
    const std::string* text = nullptr;
    if (auto* dec = std::get_if<Decimal>(&v))
        text = &dec->text;
    if (auto* s = std::get_if<std::string>(&v))
        text = s;
    if (!text)
        return false;
    std::string_view t = trimmed(reinterpret_cast<const std::uint8_t*>(text->data()), text->size());
    if (!t.empty() && t.front() == '+')
        t.remove_prefix(1);
    auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size();
}

// printf's "%.*f", without printf (saving a result formats every number of it).
std::string fixedText(double d, int decimals) {
    char buf[512];
    const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, decimals);
    if (r.ec == std::errc()) {
        return std::string(buf, r.ptr);
    }
    std::snprintf(buf, sizeof buf, "%.*f", decimals, d);
    return buf;
}

// The field's text of a number: rounded to the field's decimals (halves away from zero) from the
// number's decimal digits, never through a double; refused when the digits before the point do
// not fit the width.
std::string numberField(const DbfField& f, const Value& v) {
    const int decimals = static_cast<int>(f.decimals);
    std::optional<std::string> text;
    if (auto* i = std::get_if<std::int64_t>(&v)) {
        text = roundedDecimal(std::to_string(*i), decimals);
    } else if (auto* dec = std::get_if<Decimal>(&v)) {
        text = roundedDecimal(dec->text, decimals);
    } else if (auto* s = std::get_if<std::string>(&v)) {
        text = roundedDecimal(*s, decimals);
    } else if (auto* d = std::get_if<double>(&v)) {
        if (!std::isfinite(*d))
            cannotHold(f, v, "it is not a finite number.");
        text = roundedDecimalOfDouble(*d, decimals);
        if (!text)  // a double's own digits when its decimal digits are unknown (beyond 2^53)
            text = roundedDecimal(fixedText(*d, 0), decimals);
    } else if (auto* b = std::get_if<bool>(&v)) {
        text = roundedDecimal(*b ? "1" : "0", decimals);
    }
    if (!text)
        cannotHold(f, v, "it is not a number.");
    if (text->size() > f.length) {
        cannotHold(
            f, v,
            "the field holds " + std::to_string(f.length - (decimals > 0 ? decimals + 1 : 0)) +
                " characters before the point and " + std::to_string(decimals) + " decimals.");
    }
    return std::string(f.length - text->size(), ' ') + *text;
}

}  // namespace

bool RecordCodec::isMemoField(const DbfHeader& h, const DbfField& f) {
    switch (f.type) {
        case 'M':
        case 'G':
        case 'P':
        case 'W':
            return true;
        case 'B':
            return !(h.visualFoxPro && f.length == 8);
        default:
            return false;
    }
}

bool RecordCodec::bit(int b, const std::uint8_t* rec) const {
    const DbfField& nf = header_.fields[header_.nullFlagsField];
    if (static_cast<std::uint32_t>(b / 8) >= nf.length)
        return false;
    return (rec[nf.offset + b / 8] >> (b % 8)) & 1;
}

void RecordCodec::setBit(int b, bool on, std::uint8_t* rec) const {
    const DbfField& nf = header_.fields[header_.nullFlagsField];
    std::uint8_t& byte = rec[nf.offset + b / 8];
    if (on) {
        byte = static_cast<std::uint8_t>(byte | (1 << (b % 8)));
    } else {
        byte = static_cast<std::uint8_t>(byte & ~(1 << (b % 8)));
    }
}

bool RecordCodec::isNull(const DbfField& f, const std::uint8_t* rec) const {
    return f.nullBit >= 0 && bit(f.nullBit, rec);
}

void RecordCodec::setNullBit(const DbfField& f, bool isNull, std::uint8_t* rec) const {
    if (f.nullBit >= 0)
        setBit(f.nullBit, isNull, rec);
}

std::uint32_t RecordCodec::memoBlock(const DbfField& f, const std::uint8_t* rec) const {
    if (isNull(f, rec))
        return 0;
    const std::uint8_t* p = rec + f.offset;
    if (f.length == 4)
        return static_cast<std::uint32_t>(le(p, 4));
    std::string_view t = trimmed(p, f.length);
    std::uint32_t block = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), block);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return 0;
    return block;
}

bool RecordCodec::plainText(const DbfField& f, const std::uint8_t* rec,
                            std::string_view& out) const {
    if (f.type != 'C' || (f.flags & 0x04) || isNull(f, rec))
        return false;
    const std::uint8_t* p = rec + f.offset;
    const std::size_t e = textLength(p, f.length);
    if (e == 0)
        return false;  // NULL
    for (std::size_t i = 0; i < e; ++i) {
        if (p[i] >= 0x80)
            return false;
    }
    out = std::string_view(reinterpret_cast<const char*>(p), e);
    return true;
}

Value RecordCodec::decode(const DbfField& f, const std::uint8_t* rec) const {
    if (isNull(f, rec))
        return {};
    const std::uint8_t* p = rec + f.offset;
    const std::size_t n = f.length;
    switch (f.type) {
        case 'C': {
            const std::size_t e = textLength(p, n);
            if (e == 0)
                return {};
            if (f.flags & 0x04)
                return Bytes(p, p + n);
            return codePage_.toUtf8({reinterpret_cast<const char*>(p), e});
        }
        case 'V':
        case 'Q': {
            std::size_t used = n;
            if (f.varLengthBit >= 0 && bit(f.varLengthBit, rec))
                used = std::min<std::size_t>(p[n - 1], n - 1);
            if (f.type == 'Q' || (f.flags & 0x04 && f.type != 'V'))
                return Bytes(p, p + used);
            if (used == 0)
                return {};
            return codePage_.toUtf8({reinterpret_cast<const char*>(p), used});
        }
        case 'N':
        case 'F':
            return parseNumber(trimmed(p, n), f.decimals);
        case 'D': {
            std::string_view t = trimmed(p, n);
            if (t.size() != 8 || t == "00000000")
                return {};
            int y = 0, m = 0, d = 0;
            for (int i = 0; i < 8; ++i) {
                if (t[i] < '0' || t[i] > '9')
                    return {};
            }
            std::from_chars(t.data(), t.data() + 4, y);
            std::from_chars(t.data() + 4, t.data() + 6, m);
            std::from_chars(t.data() + 6, t.data() + 8, d);
            if (!isValidCivilDate(y, m, d))
                return {};
            return Date{dayNumber(y, m, d)};
        }
        case 'L':
            switch (p[0]) {
                case 'T':
                case 't':
                case 'Y':
                case 'y':
                    return true;
                case 'F':
                case 'f':
                case 'N':
                case 'n':
                    return false;
                default:
                    return {};
            }
        case 'I':
            if (n != 4)
                return Bytes(p, p + n);
            if (header_.level7)
                return allBytes(p, 4, 0) ? Value{} : Value{sortableInt(p)};
            return static_cast<std::int64_t>(static_cast<std::int32_t>(le(p, 4)));
        case '+':
            if (n != 4 || allBytes(p, 4, 0))
                return {};
            return sortableInt(p);
        case 'O':
            if (n != 8 || allBytes(p, 8, 0))
                return {};
            if (!header_.level7)
                return signFlippedDouble(p);
            return sortableDouble(p);
        case '@': {
            if (n != 8 || allBytes(p, 8, 0))
                return {};
            return Timestamp{sortableDouble(p)};
        }
        case 'B': {  // Visual FoxPro double (dBASE B is a memo)
            if (n != 8)
                return Bytes(p, p + n);
            double d;
            std::uint64_t v = static_cast<std::uint64_t>(le(p, 8));
            std::memcpy(&d, &v, 8);
            return d;
        }
        case 'T': {
            if (n != 8)
                return Bytes(p, p + n);
            std::int64_t jdn = le(p, 4), ms = le(p + 4, 4);
            if (jdn == 0 || jdn == 0x20202020)
                return {};
            return Timestamp{static_cast<double>(jdn - kJulianDayOffset) * 86400000.0 +
                             static_cast<double>(ms)};
        }
        case 'Y': {
            if (n != 8)
                return Bytes(p, p + n);
            return static_cast<double>(le(p, 8)) / 10000.0;
        }
        default:
            return Bytes(p, p + n);
    }
}

void RecordCodec::encodeMemoBlock(const DbfField& f, std::uint32_t block, std::uint8_t* rec) const {
    std::uint8_t* p = rec + f.offset;
    setNullBit(f, false, rec);
    if (f.length == 4) {
        putLe(p, block, 4);
        return;
    }
    std::memset(p, ' ', f.length);
    if (block == 0)
        return;
    std::string digits = std::to_string(block);
    if (digits.size() > f.length)
        throw EngineError("The memo file of " + f.field.name + " is full.");
    std::memcpy(p + f.length - digits.size(), digits.data(), digits.size());
}

void RecordCodec::blankRecord(std::uint8_t* rec) const {
    std::memset(rec, ' ', header_.recordLength);
    for (const auto& f : header_.fields) {
        bool text = f.type == 'C' || f.type == 'N' || f.type == 'F' || f.type == 'D' ||
                    f.type == 'L' || (isMemoField(header_, f) && f.length != 4);
        if (!text)
            std::memset(rec + f.offset, 0, f.length);
    }
    for (const auto& f : header_.fields) {
        if (f.nullBit >= 0)
            setBit(f.nullBit, true, rec);
    }
}

void RecordCodec::encode(const DbfField& f, const Value& v, std::uint8_t* rec) const {
    std::uint8_t* p = rec + f.offset;
    const std::size_t n = f.length;
    const bool blank = isBlank(v);
    if (blank && f.nullBit >= 0) {
        setNullBit(f, true, rec);
        std::memset(
            p,
            f.type == 'C' || f.type == 'N' || f.type == 'F' || f.type == 'D' || f.type == 'L' ? ' '
                                                                                              : 0,
            n);
        return;
    }
    setNullBit(f, false, rec);
    switch (f.type) {
        case 'C':
        case 'V':
        case 'Q': {
            std::string bytes;
            if (auto* b = std::get_if<Bytes>(&v)) {
                bytes.assign(b->begin(), b->end());
            } else if (!blank) {
                bytes = codePage_.fromUtf8(valueText(v));
            }
            if (bytes.size() > n) {
                cannotHold(f, v, "it is longer than " + std::to_string(n) + " bytes.");
            }
            std::memset(p, f.type == 'C' ? ' ' : 0, n);
            std::memcpy(p, bytes.data(), bytes.size());
            if (f.varLengthBit >= 0) {
                bool shorter = bytes.size() < n;
                setBit(f.varLengthBit, shorter, rec);
                if (shorter)
                    p[n - 1] = static_cast<std::uint8_t>(bytes.size());
            }
            return;
        }
        case 'N':
        case 'F': {
            if (blank) {
                std::memset(p, ' ', n);
                return;
            }
            std::string text = numberField(f, v);
            std::memcpy(p, text.data(), n);
            return;
        }
        case 'D': {
            std::memset(p, ' ', n);
            if (blank)
                return;
            std::int32_t day = 0;
            if (auto* d = std::get_if<Date>(&v)) {
                day = d->day;
            } else if (auto* t = std::get_if<Timestamp>(&v)) {
                day = static_cast<std::int32_t>(std::floor(t->ms / 86400000.0));
            } else {
                cannotHold(f, v, "it is not a date.");
            }
            CivilDate c = civilDate(day);
            if (c.year < 1 || c.year > 9999 || n != 8)
                cannotHold(f, v, "the year is out of range.");
            char buf[16];
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.year, c.month, c.day);
            std::memcpy(p, buf, 8);
            return;
        }
        case 'L': {
            if (blank) {
                p[0] = ' ';
                return;
            }
            if (auto* b = std::get_if<bool>(&v)) {
                p[0] = *b ? 'T' : 'F';
                return;
            }
            cannotHold(f, v, "it is not True or False.");
        }
        default:
            break;
    }
    // Binary layouts.
    double d = 0;
    if (!blank && f.type != 'T' && f.type != '@' && !numericValue(v, d)) {
        cannotHold(f, v, "it is not a number.");
    }
    switch (f.type) {
        case 'I':
        case '+': {
            if (n != 4)
                break;
            if (blank) {
                std::memset(p, 0, 4);
                return;
            }
            if (d != std::floor(d) || d < std::numeric_limits<std::int32_t>::min() ||
                d > std::numeric_limits<std::int32_t>::max()) {
                cannotHold(f, v, "it is not a 32-bit whole number.");
            }
            auto i = static_cast<std::int32_t>(d);
            if (header_.level7 || f.type == '+') {
                putSortableInt(p, i);
            } else {
                putLe(p, static_cast<std::uint32_t>(i), 4);
            }
            return;
        }
        case 'O':
            if (n != 8)
                break;
            if (blank) {
                std::memset(p, 0, 8);
            } else if (header_.level7) {
                putSortableDouble(p, d);
            } else {
                putSignFlippedDouble(p, d);
            }
            return;
        case 'B': {
            if (n != 8)
                break;
            std::uint64_t bits = 0;
            std::memcpy(&bits, &d, 8);
            putLe(p, blank ? 0 : bits, 8);
            return;
        }
        case 'Y': {
            if (n != 8)
                break;
            double scaled = std::round(d * 10000.0);
            if (std::fabs(scaled) >= 9.2e18)
                cannotHold(f, v, "it is out of range.");
            putLe(p, blank ? 0 : static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled)), 8);
            return;
        }
        case 'T':
        case '@': {
            if (n != 8)
                break;
            if (blank) {
                std::memset(p, 0, 8);
                return;
            }
            double ms = 0;
            if (auto* t = std::get_if<Timestamp>(&v)) {
                ms = t->ms;
            } else if (auto* dt = std::get_if<Date>(&v)) {
                ms = static_cast<double>(dt->day) * 86400000.0;
            } else {
                cannotHold(f, v, "it is not a date and time.");
            }
            if (f.type == '@') {
                putSortableDouble(p, ms);
            } else {
                auto day = static_cast<std::int64_t>(std::floor(ms / 86400000.0));
                auto rest = static_cast<std::int64_t>(ms - static_cast<double>(day) * 86400000.0);
                putLe(p, static_cast<std::uint64_t>(day + kJulianDayOffset), 4);
                putLe(p + 4, static_cast<std::uint64_t>(rest), 4);
            }
            return;
        }
        default:
            break;
    }
    throw EngineError("Field " + f.field.name + " has a type (" + std::string(1, f.type) +
                      ") that cannot be written.");
}

}  // namespace orn::db::dbase
