#include "dbengine/storage/calendar.h"

namespace orn::db {

namespace {
// Days since 1970-01-01 of a proleptic Gregorian date (era-based computation).
std::int64_t daysFromEpoch(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
constexpr std::int64_t kEpochDayNumber = 719163;  // day number of 1970-01-01
}  // namespace

std::int32_t dayNumber(int year, int month, int day) {
    return static_cast<std::int32_t>(daysFromEpoch(year, month, day) + kEpochDayNumber);
}

CivilDate civilDate(std::int32_t dayNumber) {
    std::int64_t z = std::int64_t{dayNumber} - kEpochDayNumber + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t y = yoe + era * 400 + (m <= 2);
    return CivilDate{static_cast<int>(y), m, d};
}

bool isValidCivilDate(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1)
        return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int max = kDays[month - 1];
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && leap)
        max = 29;
    return day <= max;
}

}  // namespace orn::db
