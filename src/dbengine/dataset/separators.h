#pragma once

namespace orn::db {

// The process-wide separators every number display and number entry uses.
char decimalSeparator();
char thousandsSeparator();

}  // namespace orn::db
