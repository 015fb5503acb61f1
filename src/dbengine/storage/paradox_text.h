#pragma once

#include <string>

#include "dbengine/storage/paradox_header.h"

namespace orn::db::paradox {

// The iconv name of the code page a table's text is in: the header's code page, or what the sort
// order implies for tables that predate the code page field or leave it 0.
std::string tableCodePage(const Header& h);

}  // namespace orn::db::paradox
