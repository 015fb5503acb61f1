#pragma once
// Numbers as text in two forms: the local form with the process-wide decimal and thousands
// separators (what the user sees and types) and the stored form with "." and no grouping (what
// settings files hold). Every routine reads the separators when it runs.

#include <string>
#include <string_view>

namespace orn {

// Local form: fixed point with `decimals` decimals and thousands grouping; a negative `decimals`
// gives the general format (up to 15 significant digits, exponent form such as "1E20" for very
// large or small values).
std::string FormatNumber(int decimals, double value);
// Stored form: fixed point without grouping, or the general format; "." as decimal point.
std::string FormatDotNumber(int decimals, double value);
// The number of decimals the value needs; -1 for a whole number.
int DecimalsOf(double value);

// Local form to number; `fallback` when the text is not a number. With "," as decimal separator
// the whole cleaned text must be a number; otherwise a number followed by other characters gives
// the number read up to the first of them.
double TextToFloatDef(std::string_view text, double fallback);
double TextToFloat(std::string_view text);
// Stored form to number; "," is taken as digit grouping and dropped.
double DotTextToFloatDef(std::string_view text, double fallback);

// Cuts the first field off s: up to the earliest character of delims (dropped) or the end; an
// empty field gives `fallback`. With empty delims the field is all of s.
std::string NextField(std::string& s, std::string_view delims, std::string_view fallback);
// NextField read as a whole number; `fallback` when empty or not a number.
int NextIntField(std::string& s, std::string_view delims, int fallback);
int MinInt(int a, int b);

}  // namespace orn
