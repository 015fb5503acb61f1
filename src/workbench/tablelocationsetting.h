#pragma once
// Where SQL finds the tables of aliases and DOS drive paths: the settings read order "U" (the
// default), section "SQL Aliases" (ALIAS=directory, for :ALIAS:table) and section "SQL Drives"
// (C=directory, for C:\dir\table.db).

namespace orn {

inline constexpr const char* kAliasSection = "SQL Aliases";
inline constexpr const char* kDriveSection = "SQL Drives";

// Reads both sections (the first store of the read order that holds a name wins) and hands them
// to the database engine. Unreadable settings leave no alias and no drive set.
void LoadTableLocations();

}  // namespace orn
