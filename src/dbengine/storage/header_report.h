#pragma once

#include <filesystem>
#include <iosfwd>

namespace orn::db {

// `orn INFO --header`: every header value of a table file and of its companions (.px, .mb,
// secondary indexes, .dbt/.fpt), one per line as "<file>\t<name>\t<value>", so that the report
// of a table before and after a change can be compared line by line (diff). Reads the files
// directly, without opening the table. Returns 0, or 1 with a message on `err`.
int runHeaderReport(const std::filesystem::path& file, std::ostream& out, std::ostream& err);

}  // namespace orn::db
