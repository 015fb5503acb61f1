#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orn::db {

// Decimal numbers as text, rounded without a detour through binary floating point.

// `text` (blanks around it allowed; an optional sign, digits with an optional point, and an
// optional exponent) rounded to `decimals` digits after the point, halves away from zero.
// The result has an optional '-', at least one digit before the point and, when `decimals` > 0,
// exactly `decimals` digits after it; a value that rounds to zero has no sign. Nothing when the
// text is not such a number.
std::optional<std::string> roundedDecimal(std::string_view text, int decimals);

// The decimal a double stands for when it came from SQL arithmetic: its 15 significant digits
// (all a double keeps of a decimal), or the exact integer when it is a whole number below 2^53.
// Nothing when the value is larger than that and not a whole number that a double holds exactly,
// or not finite: its decimal digits are unknown.
std::optional<std::string> decimalOfDouble(double d);

// roundedDecimal(*decimalOfDouble(d), decimals): what a table stores of a double in a field
// with that many decimals.
std::optional<std::string> roundedDecimalOfDouble(double d, int decimals);

}  // namespace orn::db
