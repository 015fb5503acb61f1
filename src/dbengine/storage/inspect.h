#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

#include "dbengine/storage/field.h"

namespace orn::db {

// The command-line inspection of a table file, for users and checks:
//   INFO: one line per field: name, type, size, "key" or "-", separated by tabs. The type is the
//         letter of the restructure type table (A D S I N # T @ +) where the field's kind has
//         one, else the format's own type letter.
//   DUMP: a line of field names, then one line per live record, values tab-separated in their
//         display text (value_text.h); tab, CR, LF and backslash inside values are escaped as
//         \t \r \n \\.
// Returns the process exit code: 0, or 1 with a message on `err` when the file cannot be read.
// `mode` is "INFO" or "DUMP" (any letter case).
int runInspect(const std::string& mode, const std::filesystem::path& table, std::ostream& out,
               std::ostream& err);

// The type shown by INFO.
std::string inspectTypeText(const Field& field);

}  // namespace orn::db
