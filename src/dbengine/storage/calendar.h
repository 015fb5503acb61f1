#pragma once

#include <cstdint>

namespace orn::db {

// Day numbers of orn::db::Date: 1 = 1 January 0001, proleptic Gregorian calendar.
struct CivilDate {
    int year = 1;
    int month = 1;
    int day = 1;
};

std::int32_t dayNumber(int year, int month, int day);
CivilDate civilDate(std::int32_t dayNumber);
bool isValidCivilDate(int year, int month, int day);

// Julian Day Number of a day number and back (FoxPro stores JDNs).
constexpr std::int64_t kJulianDayOffset = 1721425;

}  // namespace orn::db
