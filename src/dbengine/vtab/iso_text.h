#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "dbengine/storage/value.h"

namespace orn::db {

// Calendar values as SQL sees them: ISO text ("YYYY-MM-DD", "HH:MM:SS", "YYYY-MM-DD HH:MM:SS",
// milliseconds appended only when not zero), so that text order is time order and strftime works.
std::string isoText(Date d);
std::string isoText(TimeOfDay t);
std::string isoText(Timestamp ts);

// Parse the ISO forms above (a 'T' between date and time is accepted too); nothing on bad text.
std::optional<Date> parseIsoDate(std::string_view text);
std::optional<TimeOfDay> parseIsoTime(std::string_view text);
std::optional<Timestamp> parseIsoTimestamp(std::string_view text);

}  // namespace orn::db
