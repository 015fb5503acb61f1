#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orn::sql {

// The text forms in which the virtual tables hand out calendar values, and to which the
// translator converts the dialect's literals:
//   DATE       YYYY-MM-DD
//   TIME       HH:MM:SS      (".mmm" appended when the milliseconds are not zero)
//   TIMESTAMP  YYYY-MM-DD HH:MM:SS[.mmm]
// Accepted input: US month/day/year with 1- or 2-digit month and day and a 2- or 4-digit year
// (00-49 are 2000-2049, 50-99 are 1950-1999), or ISO year-month-day; times as h:mm[:ss[.fff]]
// with an optional AM/PM in any case (an hour above 12 with AM is read as 24-hour time).
std::optional<std::string> dateToIso(std::string_view text);
std::optional<std::string> timeToIso(std::string_view text);
// A date alone is midnight of that day. ISO input may separate date and time by 'T'.
std::optional<std::string> timestampToIso(std::string_view text);
// TRUE/FALSE/T/F in any case (surrounding blanks ignored); 1 or 0.
std::optional<int> booleanFromText(std::string_view text);

}  // namespace orn::sql
