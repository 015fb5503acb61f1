#pragma once

#include <string>

#include "dbengine/storage/value.h"

namespace orn::db {

// The plain display text of a value, independent of any locale: blank as "", dates as
// yyyy-mm-dd, times as hh:mm:ss (".zzz" when there are milliseconds), timestamps as both joined
// by a blank, numbers with "." as decimal point and no exponent, logicals as True/False, binary
// values as "(blob N bytes)".
std::string valueText(const Value& value);

}  // namespace orn::db
