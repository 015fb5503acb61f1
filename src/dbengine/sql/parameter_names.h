#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orn::sql {

// The :name parameters a statement uses, each once (letter case ignored, the first spelling
// kept), in the order they first appear; quoted names without their quotes. Positional ? marks
// and :ALIAS:table references are no parameters. Text that cannot be split into tokens has none.
std::vector<std::string> parameterNames(std::string_view text);

}  // namespace orn::sql
