#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace orn::db {

// Calendar values use the Paradox day numbering: 1 = 1 January 0001, proleptic Gregorian.
struct Date {
    std::int32_t day = 0;
    auto operator<=>(const Date&) const = default;
};
struct TimeOfDay {
    std::int32_t ms = 0;  // milliseconds since midnight
    auto operator<=>(const TimeOfDay&) const = default;
};
struct Timestamp {
    double ms = 0;  // milliseconds since 0001-01-01 00:00 (day 1 starts at 86400000)
    auto operator<=>(const Timestamp&) const = default;
};
// Exact decimals (Paradox BCD, dBASE numeric fields that do not fit a double exactly) travel as
// their canonical text: optional '-', digits, optional '.' and digits; never an exponent.
struct Decimal {
    std::string text;
    auto operator<=>(const Decimal&) const = default;
};
using Bytes = std::vector<std::uint8_t>;

// One field's value as the storage engine hands it out and takes it in. Text is UTF-8 and
// already converted from the table's code page; blank fields are std::monostate.
using Value = std::variant<std::monostate, bool, std::int64_t, double, std::string, Bytes, Date,
                           TimeOfDay, Timestamp, Decimal>;
using Record = std::vector<Value>;

inline bool isBlank(const Value& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace orn::db
