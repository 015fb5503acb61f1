#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace orn::db {

// Where table references that name no file of this machine lead: ":ALIAS:name" through an alias
// (alias -> directory) and DOS paths such as "C:\sample\p.db" through their drive letter
// (letter -> directory). Process-wide; the program sets them from its settings.
struct TableLocations {
    std::map<std::string, std::filesystem::path> aliases;  // keys in any letter case
    std::map<std::string, std::filesystem::path> drives;   // "C", "d", ...
};

void setTableLocations(TableLocations locations);
TableLocations tableLocations();

// The reference with an alias or a drive letter replaced by its directory; other references
// unchanged. Throws EngineError naming the alias or drive when none is set for it.
std::string mappedTableReference(const std::string& reference);

}  // namespace orn::db
