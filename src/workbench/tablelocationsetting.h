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

// The block size of new Paradox tables that do not name one: section "SQL Tables", key
// "ParadoxBlockSize", in KiB (1, 2, 4, 16 or 32), read through the read order "U" like the other
// defaults. Another value, none or unreadable settings: 4 KiB (larger when a record needs it).
inline constexpr const char* kNewTableSection = "SQL Tables";
inline constexpr const char* kBlockSizeKey = "ParadoxBlockSize";
void LoadTableDefaults();

}  // namespace orn
