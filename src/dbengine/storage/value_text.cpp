#include "dbengine/storage/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "dbengine/storage/calendar.h"

namespace orn::db {

namespace {

std::string dateText(std::int32_t day) {
    CivilDate c = civilDate(day);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buf;
}

std::string timeText(std::int64_t ms) {
    char buf[32];
    int h = static_cast<int>(ms / 3600000), m = static_cast<int>(ms / 60000 % 60),
        s = static_cast<int>(ms / 1000 % 60), z = static_cast<int>(ms % 1000);
    if (z != 0) {
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", h, m, s, z);
    } else {
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, m, s);
    }
    return buf;
}

std::string numberText(double d) {
    if (std::isnan(d))
        return "NaN";
    if (std::isinf(d))
        return d < 0 ? "-Inf" : "Inf";
    if (d == 0)
        d = 0;  // no "-0"
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

}  // namespace

std::string valueText(const Value& value) {
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const { return numberText(d); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const Bytes& b) const {
            return "(blob " + std::to_string(b.size()) + " bytes)";
        }
        std::string operator()(const Date& d) const { return dateText(d.day); }
        std::string operator()(const TimeOfDay& t) const { return timeText(t.ms); }
        std::string operator()(const Timestamp& t) const {
            double ms = std::floor(t.ms);
            auto day = static_cast<std::int64_t>(std::floor(ms / 86400000.0));
            auto rest = static_cast<std::int64_t>(ms - static_cast<double>(day) * 86400000.0);
            return dateText(static_cast<std::int32_t>(day)) + " " + timeText(rest);
        }
        std::string operator()(const Decimal& d) const { return d.text; }
    };
    return std::visit(Visitor{}, value);
}

}  // namespace orn::db
