#include "dbengine/vtab/sql_value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "dbengine/storage/decimal_text.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "dbengine/vtab/iso_text.h"

namespace orn::db {
std::string_view rightTrimmed(const std::string& s) {
    std::size_t n = s.size();
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0')) {
        --n;
    }
    return std::string_view(s).substr(0, n);
}

namespace {

std::string sqlText(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

// Whole text as a number; false when anything but blanks surrounds it.
bool textNumber(const std::string& text, double& out) {
    // Plain decimal text (all an import mostly sees) without strtod's locale machinery; the
    // rest (blanks, '+', hexadecimal) as strtod reads it.
    const auto fast = std::from_chars(text.data(), text.data() + text.size(), out);
    if (fast.ec == std::errc() && fast.ptr == text.data() + text.size())
        return std::isfinite(out);
    const char* begin = text.c_str();
    char* end = nullptr;
    out = std::strtod(begin, &end);
    if (end == begin) {
        return false;
    }
    while (*end == ' ') {
        ++end;
    }
    return *end == '\0' && std::isfinite(out);
}

// Digits of a plain decimal text, leading zeros not counted; 0 for text with an exponent.
int significantDigits(const std::string& text) {
    if (text.find_first_of("eE") != std::string::npos) {
        return 0;
    }
    int n = 0;
    bool leading = true;
    for (char c : text) {
        if (c >= '1' && c <= '9') {
            leading = false;
        }
        if (c >= '0' && c <= '9' && !leading) {
            ++n;
        }
    }
    return n;
}

int fractionDigits(const std::string& text) {
    const auto point = text.find('.');
    if (point == std::string::npos) {
        return 0;
    }
    int n = 0;
    for (std::size_t i = point + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        ++n;
    }
    return n;
}

[[noreturn]] void cannotStore(const Field& field, const std::string& what) {
    throw EngineError("Invalid value for field '" + field.name + "': " + what);
}

std::string decimalText(double d, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals < 0 ? 0 : decimals, d);
    return buf;
}

// Integer or float as the field's numeric kind.
Value numericFor(const Field& field, bool isInt, std::int64_t i, double d) {
    switch (field.type) {
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoInc:
            if (!isInt) {
                if (d != std::floor(d) || std::fabs(d) > 9.2e18) {
                    cannotStore(field, decimalText(d, 6) + " is not a whole number");
                }
                i = static_cast<std::int64_t>(d);
            }
            if (field.type == FieldType::Short && (i < -32767 || i > 32767)) {
                cannotStore(field, std::to_string(i) + " is out of range");
            }
            if (field.type != FieldType::Short && (i < -2147483647 || i > 2147483647)) {
                cannotStore(field, std::to_string(i) + " is out of range");
            }
            return i;
        case FieldType::Bcd: {
            // every digit the field holds, or none: a double is no exact decimal
            const auto exact =
                isInt ? std::optional<std::string>(std::to_string(i)) : decimalOfDouble(d);
            if (!exact) {
                char buf[40];
                std::snprintf(buf, sizeof buf, "%.17g", d);
                cannotStore(field, std::string(buf) +
                                       " has more digits than an SQL number keeps exactly; give "
                                       "the value as text in quotes");
            }
            return Decimal{*roundedDecimal(*exact, field.decimals)};
        }
        case FieldType::Logical:
            return isInt ? i != 0 : d != 0;
        default:
            return isInt ? static_cast<double>(i) : d;
    }
}

Value fromText(const Field& field, const std::string& text) {
    switch (field.type) {
        case FieldType::Alpha:
        case FieldType::Memo:
        case FieldType::FmtMemo:
            return text;
        case FieldType::Date:
            if (const auto d = parseIsoDate(text)) {
                return *d;
            }
            if (const auto ts = parseIsoTimestamp(text)) {
                return Date{static_cast<std::int32_t>(ts->ms / 86'400'000)};
            }
            cannotStore(field, "'" + text + "' is not a valid date");
        case FieldType::Time:
            if (const auto t = parseIsoTime(text)) {
                return *t;
            }
            cannotStore(field, "'" + text + "' is not a valid time");
        case FieldType::Timestamp:
            if (const auto ts = parseIsoTimestamp(text)) {
                return *ts;
            }
            cannotStore(field, "'" + text + "' is not a valid timestamp");
        case FieldType::Logical: {
            std::string lower;
            for (char c : text) {
                lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            }
            if (lower == "true" || lower == "t" || lower == "1") {
                return true;
            }
            if (lower == "false" || lower == "f" || lower == "0") {
                return false;
            }
            cannotStore(field, "'" + text + "' is not a valid boolean");
        }
        case FieldType::Blob:
        case FieldType::Graphic:
        case FieldType::Ole:
        case FieldType::Bytes:
            return Bytes(text.begin(), text.end());
        default: {
            double d = 0;
            if (!textNumber(text, d)) {
                cannotStore(field, "'" + text + "' is not a valid number");
            }
            if (field.type == FieldType::Bcd) {
                // the digits the user wrote, rounded to the field's decimals
                if (const auto exact = roundedDecimal(text, field.decimals)) {
                    return Decimal{*exact};
                }
            }
            if (field.type == FieldType::Number && significantDigits(text) > 15) {
                // more digits than a double keeps: the field's own format decides what it holds
                if (const auto exact = roundedDecimal(text, fractionDigits(text))) {
                    return Decimal{*exact};
                }
            }
            const bool whole = d == std::floor(d) && std::fabs(d) < 9.0e15;
            return numericFor(field, whole, static_cast<std::int64_t>(d), d);
        }
    }
}

}  // namespace

std::string declaredType(const Field& f) {
    switch (f.type) {
        case FieldType::Alpha:
            return "CHAR(" + std::to_string(f.size) + ")";
        case FieldType::Date:
            return "DATE TEXT";
        case FieldType::Time:
            return "TIME TEXT";
        case FieldType::Timestamp:
            return "TIMESTAMP TEXT";
        case FieldType::Short:
            return "SMALLINT";
        case FieldType::Long:
            return "INTEGER";
        case FieldType::AutoInc:
            return "AUTOINC INTEGER";
        case FieldType::Number:
            return "FLOAT";
        case FieldType::Money:
            return "MONEY REAL";
        case FieldType::Logical:
            return "BOOLEAN INTEGER";
        case FieldType::Bcd:
            return "BCD REAL(" + std::to_string(f.size) + "," + std::to_string(f.decimals) + ")";
        case FieldType::Memo:
            return "MEMO TEXT";
        case FieldType::FmtMemo:
            return "FMTMEMO TEXT";
        case FieldType::Blob:
            return "BLOB";
        case FieldType::Graphic:
            return "GRAPHIC BLOB";
        case FieldType::Ole:
            return "OLE BLOB";
        case FieldType::Bytes:
            return "BYTES BLOB(" + std::to_string(f.size) + ")";
    }
    return "";
}

namespace {
// SQLite copies a result text either way. Told its length, it leaves the copy without a
// terminator, and every sqlite3_value_text() of it later (LIKE, upper(), reading the answer)
// reallocates the copy to add one, once per row. Text that holds no NUL byte goes in with its
// terminator instead: from the bytes themselves when one follows them, else through a buffer.
// `text` lies within a std::string, so the byte after it can be read.
void resultText(sqlite3_context* ctx, std::string_view text) {
    const char* z = text.data();
    if (z[text.size()] != '\0') {
        thread_local std::string terminated;
        terminated.assign(text);
        z = terminated.c_str();
    }
    if (std::strlen(z) == text.size()) {
        sqlite3_result_text(ctx, z, -1, SQLITE_TRANSIENT);
    } else {
        sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
}
}  // namespace

void resultPlainText(sqlite3_context* ctx, const Field& field, std::string_view text) {
    if (field.type == FieldType::Alpha) {
        const std::size_t end = text.find_last_not_of(' ');
        text = text.substr(0, end == std::string_view::npos ? 0 : end + 1);
    }
    // the bytes lie inside a record: copied so that they end in a terminator (see resultText)
    thread_local std::string terminated;
    terminated.assign(text);
    resultText(ctx, terminated);
}

void resultValue(sqlite3_context* ctx, const Field& field, const Value& value) {
    // numbers first: they are most of what queries read
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        sqlite3_result_int64(ctx, *i);
        return;
    }
    if (const auto* d = std::get_if<double>(&value)) {
        sqlite3_result_double(ctx, *d);
        return;
    }
    struct Visitor {
        sqlite3_context* ctx;
        const Field& field;
        void operator()(std::monostate) const { sqlite3_result_null(ctx); }
        void operator()(bool b) const { sqlite3_result_int(ctx, b ? 1 : 0); }
        void operator()(std::int64_t i) const { sqlite3_result_int64(ctx, i); }
        void operator()(double d) const { sqlite3_result_double(ctx, d); }
        void operator()(const std::string& s) const {
            // a prefix of s: the byte after it is s's own or its terminator
            resultText(ctx, field.type == FieldType::Alpha ? rightTrimmed(s) : std::string_view(s));
        }
        void operator()(const Bytes& b) const {
            sqlite3_result_blob(ctx, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
        }
        void operator()(Date d) const { text(isoText(d)); }
        void operator()(TimeOfDay t) const { text(isoText(t)); }
        void operator()(Timestamp t) const { text(isoText(t)); }
        void operator()(const Decimal& d) const {
            char* end = nullptr;
            const double x = std::strtod(d.text.c_str(), &end);
            if (d.text.find('.') == std::string::npos && std::fabs(x) < 9.0e15) {
                sqlite3_result_int64(ctx, static_cast<std::int64_t>(x));
            } else {
                sqlite3_result_double(ctx, x);
            }
        }
        void text(const std::string& s) const { resultText(ctx, s); }
    };
    std::visit(Visitor{ctx, field}, value);
}

Value storedValue(const Field& field, sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            return std::monostate{};
        case SQLITE_INTEGER: {
            const auto i = sqlite3_value_int64(v);
            if (field.type == FieldType::Alpha || field.type == FieldType::Memo ||
                field.type == FieldType::FmtMemo) {
                return std::to_string(i);
            }
            if (!isNumeric(field.type) && field.type != FieldType::Logical) {
                return fromText(field, std::to_string(i));
            }
            return numericFor(field, true, i, 0);
        }
        case SQLITE_FLOAT: {
            const double d = sqlite3_value_double(v);
            if (!isNumeric(field.type) && field.type != FieldType::Logical) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "%.15g", d);
                return fromText(field, buf);
            }
            return numericFor(field, false, 0, d);
        }
        case SQLITE_BLOB: {
            const auto* p = static_cast<const std::uint8_t*>(sqlite3_value_blob(v));
            const auto n = static_cast<std::size_t>(sqlite3_value_bytes(v));
            if (isBlobLike(field.type) || field.type == FieldType::Bytes) {
                return Bytes(p, p + n);
            }
            return fromText(field, std::string(reinterpret_cast<const char*>(p), n));
        }
        default: {
            const std::string text = sqlText(v);
            if (text.empty() && field.type != FieldType::Alpha && field.type != FieldType::Memo &&
                field.type != FieldType::FmtMemo) {
                return std::monostate{};
            }
            return fromText(field, text);
        }
    }
}

Value valueFromText(const Field& field, const std::string& text) {
    if (text.empty() && field.type != FieldType::Alpha) {
        return std::monostate{};
    }
    return fromText(field, text);
}

std::optional<Value> convertValue(const Value& value, const Field& from, const Field& to) {
    if (isBlank(value)) {
        return Value{};
    }
    if (from.type == to.type && to.type != FieldType::Alpha) {
        return value;
    }
    std::string text = valueText(value);
    if (to.type == FieldType::Alpha) {
        // characters count as the file's bytes
        std::size_t chars = 0, i = 0;
        while (i < text.size() && chars < static_cast<std::size_t>(to.size)) {
            i += 1;
            while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
                ++i;
            }
            ++chars;
        }
        if (i < text.size()) {
            return std::nullopt;  // longer than the new size
        }
        return Value{text};
    }
    if (from.type == FieldType::Logical && isNumeric(to.type)) {
        text = std::get<bool>(value) ? "1" : "0";
    }
    try {
        return valueFromText(to, text);
    } catch (const EngineError&) {
        return std::nullopt;
    }
}

namespace {

// A probe as SQLite compares it with a column of numeric affinity: text that reads as a number
// (blanks around it allowed, no hexadecimal) is that number; any other value stays as it is.
struct NumericProbe {
    int type = SQLITE_NULL;
    std::int64_t i = 0;
    double d = 0;
};

NumericProbe numericProbe(sqlite3_value* v) {
    NumericProbe p;
    p.type = sqlite3_value_type(v);
    sqlite3_value* copy = nullptr;
    if (p.type == SQLITE_TEXT) {
        copy = sqlite3_value_dup(v);
        if (!copy) {
            throw std::bad_alloc();
        }
        p.type = sqlite3_value_numeric_type(copy);
        v = copy;
    }
    if (p.type == SQLITE_INTEGER) {
        p.i = sqlite3_value_int64(v);
    } else if (p.type == SQLITE_FLOAT) {
        p.d = sqlite3_value_double(v);
    }
    sqlite3_value_free(copy);
    return p;
}

}  // namespace

bool keyValue(const Field& field, sqlite3_value* v, Value& out) {
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL || type == SQLITE_BLOB) {
        return false;
    }
    const bool text = type == SQLITE_TEXT;
    switch (field.type) {
        case FieldType::Alpha:
            if (!text) {
                return false;
            }
            out = sqlText(v);
            return true;
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::Timestamp: {
            if (!text) {
                return false;
            }
            // only the exact canonical text compares like the stored value
            const std::string s = sqlText(v);
            if (field.type == FieldType::Date) {
                const auto d = parseIsoDate(s);
                if (!d || isoText(*d) != s) {
                    return false;
                }
                out = *d;
            } else if (field.type == FieldType::Time) {
                const auto t = parseIsoTime(s);
                if (!t || isoText(*t) != s) {
                    return false;
                }
                out = *t;
            } else {
                const auto ts = parseIsoTimestamp(s);
                if (!ts || isoText(*ts) != s) {
                    return false;
                }
                out = *ts;
            }
            return true;
        }
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoInc: {
            // text compares with a numeric column as the number it reads as, if any
            const NumericProbe p = numericProbe(v);
            std::int64_t i = 0;
            if (p.type == SQLITE_FLOAT) {
                // a whole REAL (a join from a float column) equals exactly one integer key
                if (p.d != std::floor(p.d) || std::fabs(p.d) > 9.0e15) {
                    return false;
                }
                i = static_cast<std::int64_t>(p.d);
            } else if (p.type == SQLITE_INTEGER) {
                i = p.i;
            } else {
                return false;
            }
            // beyond what the field can hold (autoincrement values start at 1): no key to seek,
            // and none to compare with
            const std::int64_t most = field.type == FieldType::Short ? 32767 : 2147483647;
            const std::int64_t least = field.type == FieldType::AutoInc ? 1 : -most;
            if (i < least || i > most) {
                return false;
            }
            out = i;
            return true;
        }
        case FieldType::Number:
        case FieldType::Money: {
            const NumericProbe p = numericProbe(v);
            const double d = p.type == SQLITE_INTEGER ? static_cast<double>(p.i) : p.d;
            constexpr std::int64_t kExact = std::int64_t{1} << 53;
            if (p.type == SQLITE_INTEGER && (p.i > kExact || p.i < -kExact)) {
                return false;  // it may lie between two doubles: SQLite compares it exactly
            }
            if ((p.type != SQLITE_INTEGER && p.type != SQLITE_FLOAT) || !std::isfinite(d)) {
                return false;  // an infinite bound is no key either
            }
            out = d;
            return true;
        }
        default:
            return false;
    }
}

bool isIntegerKey(const Field& field) {
    return field.type == FieldType::Short || field.type == FieldType::Long ||
           field.type == FieldType::AutoInc;
}

bool numericProbeKey(sqlite3_value* value, double& out) {
    const NumericProbe p = numericProbe(value);
    if (p.type == SQLITE_INTEGER) {
        out = static_cast<double>(p.i);
        return true;
    }
    out = p.d;
    return p.type == SQLITE_FLOAT;
}

}  // namespace orn::db
