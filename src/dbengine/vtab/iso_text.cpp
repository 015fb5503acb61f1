#include "dbengine/vtab/iso_text.h"

#include <cmath>
#include <cstdio>

#include "dbengine/storage/calendar.h"

namespace orn::db {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Reads exactly `width` digits at `pos`.
bool digits(std::string_view s, std::size_t pos, std::size_t width, int& out) {
    if (pos + width > s.size()) {
        return false;
    }
    out = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

void appendMs(std::string& out, int ms) {
    if (ms != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, ".%03d", ms);
        out += buf;
    }
}

}  // namespace

std::string isoText(Date d) {
    const CivilDate c = civilDate(d.day);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buf;
}

std::string isoText(TimeOfDay t) {
    const int ms = t.ms;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", ms / 3'600'000, ms / 60'000 % 60,
                  ms / 1000 % 60);
    std::string out = buf;
    appendMs(out, ms % 1000);
    return out;
}

std::string isoText(Timestamp ts) {
    const auto total = static_cast<std::int64_t>(std::llround(ts.ms));
    const Date d{static_cast<std::int32_t>(total / kMsPerDay)};
    const TimeOfDay t{static_cast<std::int32_t>(total % kMsPerDay)};
    return isoText(d) + ' ' + isoText(t);
}

std::optional<Date> parseIsoDate(std::string_view s) {
    int y = 0, m = 0, d = 0;
    if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !digits(s, 0, 4, y) ||
        !digits(s, 5, 2, m) || !digits(s, 8, 2, d) || !isValidCivilDate(y, m, d)) {
        return std::nullopt;
    }
    return Date{dayNumber(y, m, d)};
}

std::optional<TimeOfDay> parseIsoTime(std::string_view s) {
    int h = 0, mi = 0, sec = 0, ms = 0;
    if (s.size() < 5 || s[2] != ':' || !digits(s, 0, 2, h) || !digits(s, 3, 2, mi)) {
        return std::nullopt;
    }
    std::size_t pos = 5;
    if (pos < s.size()) {
        if (s[pos] != ':' || !digits(s, pos + 1, 2, sec)) {
            return std::nullopt;
        }
        pos += 3;
        if (pos < s.size()) {
            if (s[pos] != '.' || pos + 1 >= s.size()) {
                return std::nullopt;
            }
            // one to three fraction digits; more are cut off
            int scale = 100;
            for (std::size_t i = pos + 1; i < s.size(); ++i) {
                if (s[i] < '0' || s[i] > '9') {
                    return std::nullopt;
                }
                ms += (s[i] - '0') * scale;
                scale /= 10;
            }
        }
    }
    if (h > 23 || mi > 59 || sec > 59) {
        return std::nullopt;
    }
    return TimeOfDay{((h * 60 + mi) * 60 + sec) * 1000 + ms};
}

std::optional<Timestamp> parseIsoTimestamp(std::string_view s) {
    const auto date = parseIsoDate(s.substr(0, 10));
    if (!date) {
        return std::nullopt;
    }
    TimeOfDay time{};
    if (s.size() > 10) {
        if (s[10] != ' ' && s[10] != 'T') {
            return std::nullopt;
        }
        const auto t = parseIsoTime(s.substr(11));
        if (!t) {
            return std::nullopt;
        }
        time = *t;
    }
    return Timestamp{static_cast<double>(std::int64_t{date->day} * kMsPerDay + time.ms)};
}

}  // namespace orn::db
