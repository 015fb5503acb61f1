#pragma once
// Small text routines shared by the command handlers, the macro list, the settings layer and the
// error log. Positions are 0-based; "not found" is std::string::npos. A blank is every character
// of code 32 or lower.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orn {

// True when s is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view s);

// Removes every character of code 32 or lower from both ends.
std::string Trim(std::string_view s);

// Case-insensitive comparison for ASCII letters (command, section and key names).
bool SameText(std::string_view a, std::string_view b);
std::string LowerCase(std::string_view s);

// Number of characters of s that occur in delims. UTF-8 continuation bytes never count.
std::size_t CountDelimiters(std::string_view delims, std::string_view s);
// Position of the first character of s that occurs in delims, or npos.
std::size_t FirstDelimiter(std::string_view delims, std::string_view s);

// Cuts the text before the first character of delims off s (dropping that delimiter) and returns
// it. Without a delimiter (or with empty delims) the token is all of s and s becomes empty.
std::string NextTokenAny(std::string& s, std::string_view delims);
// The same with a separator matched as a whole text, such as "!!".
std::string NextToken(std::string& s, std::string_view separator);

// Split s at the characters of delims into a fixed number of fields. SplitTwo returns 2 when s
// holds a delimiter (b is the whole rest, later delimiters included), else 1. SplitThree and
// SplitFour return the number of fields in s; fields past the last one asked for are dropped and
// missing fields are empty. The Trim variants trim every field.
int SplitTwo(std::string_view s, std::string_view delims, std::string& a, std::string& b);
int SplitThree(std::string_view s, std::string_view delims, std::string& a, std::string& b,
               std::string& c);
int SplitFour(std::string_view s, std::string_view delims, std::string& a, std::string& b,
              std::string& c, std::string& d);
int SplitTwoTrim(std::string_view s, std::string_view delims, std::string& a, std::string& b);
int SplitThreeTrim(std::string_view s, std::string_view delims, std::string& a, std::string& b,
                   std::string& c);
int SplitFourTrim(std::string_view s, std::string_view delims, std::string& a, std::string& b,
                  std::string& c, std::string& d);

// Replaces every occurrence of find by replacement, searching again from the start after each
// replacement. A replacement that begins with find replaces only the first occurrence; an empty
// find replaces nothing.
std::string ReplaceAll(std::string_view s, std::string_view find, std::string_view replacement);

// One left-to-right pass: every occurrence of find in s is replaced once; inserted text is never
// searched again.
std::string ReplaceEach(std::string_view s, std::string_view find, std::string_view replacement);

// The value of an environment variable, empty when it is not defined.
std::string GetEnvVar(const std::string& name);

// Local time as "yymmdd hhnnss.cc" (cc = hundredths of the second).
std::string TimeStampText();

// Whole-number conversion of a complete text (optional sign, decimal digits, no blanks). Returns
// false for anything else, including values outside the range of int.
bool TryStrToInt(std::string_view text, int& value);
int StrToIntDef(std::string_view text, int fallback);
// Cuts the next comma-separated item off s (as NextTokenAny) and converts it after trimming;
// empty when the item is empty or not a whole number. Used for stored lists such as "10,20,300".
std::optional<int> NextIntItem(std::string& s);

}  // namespace orn
