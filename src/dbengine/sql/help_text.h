#pragma once

#include <string>

namespace orn::sql {

// The SQL help shown to the user: what statements and forms are accepted, with examples.
// Plain text, lines ending in '\n'.
const std::string& sqlHelpText();

}  // namespace orn::sql
