#pragma once

#include <string>
#include <string_view>

namespace orn::db {

// Formats a number with a display mask of the desktop framework's syntax:
//   0  digit, always shown      #  digit, shown when significant
//   .  decimal point (first one) ,  thousands grouping anywhere in the integer part
//   E+ E- e+ e-  scientific notation, the following 0s give the minimum exponent digits
//   "text" 'text'  literal text; any other character stands for itself
//   ;  separates sections: positive;negative;zero (an empty section falls back to the first)
// The separators are passed in so that callers use the process-wide ones. An empty mask gives
// the general format (up to 15 significant digits).
std::string formatNumberMask(double value, std::string_view mask, char decimalSeparator,
                             char thousandsSeparator);

// General format of a number: up to 15 significant digits, no grouping.
std::string generalNumber(double value, char decimalSeparator);
void appendGeneralNumber(std::string& out, double value, char decimalSeparator);

}  // namespace orn::db
