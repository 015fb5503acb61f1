#include "dbengine/storage/paradox_value.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"

namespace orn::db::paradox {

namespace {

[[noreturn]] void refuse(const std::string& field, const std::string& why) {
    throw EngineError("Field '" + field + "': " + why);
}

const char* kindName(const Value& v) {
    switch (v.index()) {
        case 1:
            return "a logical value";
        case 2:
            return "an integer";
        case 3:
            return "a number";
        case 4:
            return "text";
        case 5:
            return "binary data";
        case 6:
            return "a date";
        case 7:
            return "a time";
        case 8:
            return "a timestamp";
        case 9:
            return "a decimal";
        default:
            return "a blank";
    }
}

[[noreturn]] void wrongKind(const FieldSpec& f, const std::string& field, const Value& v) {
    refuse(field, std::string("cannot hold ") + kindName(v) + " (type " + typeLetter(f.code) + ")");
}

bool parseInteger(const std::string& s, std::int64_t& out) {
    std::string canon;
    if (!canonicalDecimal(s, canon) || canon.find('.') != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(canon.c_str(), &end, 10);
    if (errno || *end)
        return false;
    out = v;
    return true;
}

bool parseDouble(const std::string& s, double& out) {
    std::string canon;
    if (!canonicalDecimal(s, canon))
        return false;
    out = std::strtod(canon.c_str(), nullptr);
    return true;
}

std::int64_t asInteger(const FieldSpec& f, const std::string& field, const Value& v) {
    if (auto* i = std::get_if<std::int64_t>(&v))
        return *i;
    if (auto* d = std::get_if<double>(&v)) {
        if (std::isfinite(*d) && std::floor(*d) == *d && std::fabs(*d) < 9.2e18)
            return std::int64_t(*d);
        refuse(field, "the number " + valueText(v) + " is not a whole number");
    }
    std::int64_t out = 0;
    if (auto* d = std::get_if<Decimal>(&v)) {
        if (parseInteger(d->text, out))
            return out;
        refuse(field, "the number " + d->text + " is not a whole number");
    }
    if (auto* s = std::get_if<std::string>(&v)) {
        if (parseInteger(*s, out))
            return out;
        refuse(field, "'" + *s + "' is not a whole number");
    }
    wrongKind(f, field, v);
}

double asDouble(const FieldSpec& f, const std::string& field, const Value& v) {
    if (auto* d = std::get_if<double>(&v))
        return *d;
    if (auto* i = std::get_if<std::int64_t>(&v))
        return double(*i);
    double out = 0;
    if (auto* d = std::get_if<Decimal>(&v)) {
        if (parseDouble(d->text, out))
            return out;
        refuse(field, "'" + d->text + "' is not a number");
    }
    if (auto* s = std::get_if<std::string>(&v)) {
        if (parseDouble(*s, out))
            return out;
        refuse(field, "'" + *s + "' is not a number");
    }
    wrongKind(f, field, v);
}

std::string decimalText(const FieldSpec& f, const std::string& field, const Value& v) {
    if (auto* d = std::get_if<Decimal>(&v))
        return d->text;
    if (auto* i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (auto* s = std::get_if<std::string>(&v))
        return *s;
    if (auto* d = std::get_if<double>(&v)) {
        if (!std::isfinite(*d))
            refuse(field, "the number is not finite");
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", int(f.size), *d);
        return buf;
    }
    wrongKind(f, field, v);
}

void checkRange(const std::string& field, std::int64_t v, std::int64_t lo, std::int64_t hi) {
    if (v < lo || v > hi)
        refuse(field, "the value " + std::to_string(v) + " is out of range (" + std::to_string(lo) +
                          " to " + std::to_string(hi) + ")");
}

}  // namespace

Value decodeScalar(const FieldSpec& f, const std::uint8_t* rec, const CodePage& cp) {
    const std::uint8_t* p = rec + f.offset;
    switch (f.code) {
        case kAlpha: {
            std::size_t n = 0;
            while (n < f.size && p[n])
                ++n;
            if (n == 0)
                return {};
            return cp.toUtf8(std::string_view(reinterpret_cast<const char*>(p), n));
        }
        case kShort: {
            auto v = getSortableInt(p, 2);
            return v ? Value(*v) : Value();
        }
        case kLong:
        case kAutoInc: {
            auto v = getSortableInt(p, 4);
            return v ? Value(*v) : Value();
        }
        case kDate: {
            auto v = getSortableInt(p, 4);
            return v ? Value(Date{std::int32_t(*v)}) : Value();
        }
        case kTime: {
            auto v = getSortableInt(p, 4);
            return v ? Value(TimeOfDay{std::int32_t(*v)}) : Value();
        }
        case kNumber:
        case kMoney: {
            auto v = getSortableDouble(p);
            return v ? Value(*v) : Value();
        }
        case kTimestamp: {
            auto v = getSortableDouble(p);
            return v ? Value(Timestamp{*v}) : Value();
        }
        case kLogical:
            if (p[0] == 0)
                return {};
            return Value(bool(p[0] & 0x7F));
        case kBcd: {
            auto v = getBcd(p, f.size);
            return v ? Value(Decimal{*v}) : Value();
        }
        case kBytes:
            if (allZero(p, f.size))
                return {};
            return Value(Bytes(p, p + f.size));
        default:
            return {};
    }
}

void encodeScalar(const FieldSpec& f, const std::string& field, const Value& v, std::uint8_t* rec,
                  const CodePage& cp) {
    std::uint8_t* p = rec + f.offset;
    std::memset(p, 0, std::size_t(f.width));
    if (isBlank(v))
        return;
    switch (f.code) {
        case kAlpha: {
            if (std::holds_alternative<Bytes>(v))
                wrongKind(f, field, v);
            std::string text =
                std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : valueText(v);
            std::string bytes = cp.fromUtf8(text);
            if (bytes.size() > f.size)
                refuse(field, "the text is " + std::to_string(bytes.size()) +
                                  " bytes long; the field holds " + std::to_string(f.size));
            if (bytes.find('\0') != std::string::npos)
                refuse(field, "text holds a NUL character");
            std::memcpy(p, bytes.data(), bytes.size());
            return;
        }
        case kShort: {
            auto i = asInteger(f, field, v);
            checkRange(field, i, -32767, 32767);
            putSortableInt(p, 2, i);
            return;
        }
        case kLong:
        case kAutoInc: {
            auto i = asInteger(f, field, v);
            checkRange(field, i, -2147483647, 2147483647);
            if (f.code == kAutoInc)
                checkRange(field, i, 1, 2147483647);
            putSortableInt(p, 4, i);
            return;
        }
        case kDate: {
            std::int32_t day = 0;
            if (auto* d = std::get_if<Date>(&v))
                day = d->day;
            else if (auto* t = std::get_if<Timestamp>(&v))
                day = std::int32_t(std::floor(t->ms / 86400000.0));
            else
                wrongKind(f, field, v);
            if (day == std::numeric_limits<std::int32_t>::min())
                refuse(field, "date out of range");
            putSortableInt(p, 4, day);
            return;
        }
        case kTime: {
            auto* t = std::get_if<TimeOfDay>(&v);
            if (!t)
                wrongKind(f, field, v);
            checkRange(field, t->ms, 0, 86399999);
            putSortableInt(p, 4, t->ms);
            return;
        }
        case kNumber:
        case kMoney: {
            double d = asDouble(f, field, v);
            if (!std::isfinite(d))
                refuse(field, "the number is not finite");
            putSortableDouble(p, d);
            return;
        }
        case kTimestamp: {
            double ms = 0;
            if (auto* t = std::get_if<Timestamp>(&v))
                ms = t->ms;
            else if (auto* d = std::get_if<Date>(&v))
                ms = double(d->day) * 86400000.0;
            else
                wrongKind(f, field, v);
            if (!std::isfinite(ms))
                refuse(field, "the timestamp is not finite");
            putSortableDouble(p, ms);
            return;
        }
        case kLogical: {
            bool b = false;
            if (auto* x = std::get_if<bool>(&v))
                b = *x;
            else if (auto* i = std::get_if<std::int64_t>(&v))
                b = *i != 0;
            else
                wrongKind(f, field, v);
            p[0] = b ? 0x81 : 0x80;
            return;
        }
        case kBcd: {
            std::string text = decimalText(f, field, v);
            if (!putBcd(p, f.size, text))
                refuse(field, "'" + text + "' does not fit " + std::to_string(32 - f.size) +
                                  " digits with " + std::to_string(f.size) + " decimals");
            return;
        }
        case kBytes: {
            const Bytes* b = std::get_if<Bytes>(&v);
            std::string s;
            if (!b) {
                if (!std::holds_alternative<std::string>(v))
                    wrongKind(f, field, v);
                s = std::get<std::string>(v);
            }
            std::size_t n = b ? b->size() : s.size();
            if (n > f.size)
                refuse(field, std::to_string(n) + " bytes do not fit " + std::to_string(f.size));
            std::memcpy(p, b ? static_cast<const void*>(b->data()) : s.data(), n);
            return;
        }
        default:
            wrongKind(f, field, v);
    }
}

std::string blobPayload(const FieldSpec& f, const std::string& field, const Value& v,
                        const CodePage& cp) {
    if (isBlank(v))
        return {};
    std::string raw;
    if (auto* s = std::get_if<std::string>(&v)) {
        raw = (f.code == kMemo || f.code == kFmtMemo) ? cp.fromUtf8(*s) : *s;
    } else if (auto* b = std::get_if<Bytes>(&v)) {
        raw.assign(b->begin(), b->end());
    } else {
        wrongKind(f, field, v);
    }
    if (f.code == kGraphic && !raw.empty()) {
        std::string prefix(8, '\0');
        prefix[0] = 1;
        prefix[3] = 1;
        std::uint32_t n = std::uint32_t(raw.size());
        for (int i = 0; i < 4; ++i)
            prefix[std::size_t(4 + i)] = char(n >> (8 * i));
        raw = prefix + raw;
    }
    if (raw.size() > 0x7FFFFFFFu)
        refuse(field, "the value is too large");
    return raw;
}

Value blobValue(const FieldSpec& f, std::string payload, const CodePage& cp) {
    if (payload.empty())
        return {};
    if (f.code == kMemo || f.code == kFmtMemo)
        return cp.toUtf8(payload);
    std::size_t skip = 0;
    if (f.code == kGraphic && payload.size() >= 8 && payload[0] == 1 && payload[1] == 0 &&
        payload[2] == 0 && payload[3] == 1 &&
        le32(reinterpret_cast<const std::uint8_t*>(payload.data()) + 4) == payload.size() - 8)
        skip = 8;
    return Value(Bytes(payload.begin() + std::ptrdiff_t(skip), payload.end()));
}

}  // namespace orn::db::paradox
