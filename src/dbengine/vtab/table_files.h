#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "dbengine/storage/table.h"

namespace orn::db {

// Finds the file of a table name as users write it: a bare name is name.db, else name.dbf; a name
// with an extension or a path (back or forward slashes) is that file, relative to `directory`
// unless absolute. Letter case of directory entries does not matter. Nothing when no file exists.
std::optional<std::filesystem::path> findTableFile(const std::filesystem::path& directory,
                                                   const std::string& name);

// Like findTableFile, but throws EngineError naming the table and the directory searched.
std::filesystem::path requireTableFile(const std::filesystem::path& directory,
                                       const std::string& name);

// Where a new table of this name goes and in which format: ".dbf" makes dBASE, anything else
// (no extension, ".db") Paradox; a bare name gets ".db". An existing file whose name differs only
// in letter case is reused.
std::filesystem::path newTableFile(const std::filesystem::path& directory, const std::string& name,
                                   TableFormat& format);

// The directory a query resolves names against: `directory`, or the working directory if empty.
std::filesystem::path effectiveDirectory(const std::filesystem::path& directory);

std::string lowerAscii(std::string s);

}  // namespace orn::db
