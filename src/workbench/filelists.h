#pragma once
// What the query window's file and directory lists show, without the widgets: file names of a
// directory that match a mask, the subdirectories to walk into, the filters of a filter box,
// and how a typed text changes a list's directory and mask.

#include <string>
#include <utility>
#include <vector>

namespace orn {

// Wildcards "*" and "?", letter case ignored (tables copied from other systems are often named
// in capitals); several masks may be joined by ";". An empty mask matches everything.
bool MatchesMask(const std::string& name, const std::string& mask);

// The regular files of `directory` whose names match `mask`, sorted by name ignoring case. What
// killed table writers left there is cleared away first (db::tidyDirectory).
// A directory that cannot be read gives no names and an error text in `error`.
std::vector<std::string> ListFiles(const std::string& directory, const std::string& mask,
                                   std::string* error = nullptr);
// The subdirectories of `directory` (hidden ones left out), sorted by name ignoring case.
std::vector<std::string> ListDirectories(const std::string& directory,
                                         std::string* error = nullptr);

// "All db's (*.db)|*.db|Ready files (r*.db)|r*.db" as pairs of caption and mask.
std::vector<std::pair<std::string, std::string>> ParseFilter(const std::string& filter);

// A text typed for a file list: a directory part becomes its directory (taken relative to the
// current one), a name with wildcards its mask, and a plain name the file to select.
struct FileNameText {
    std::string directory;  // empty: unchanged
    std::string mask;       // empty: unchanged
    std::string select;     // empty: nothing to select
};
FileNameText SplitFileNameText(const std::string& text, const std::string& currentDirectory);

// The mounted volumes a drive box offers, as mount points ("/" first); filesystems of the system
// itself (proc, sysfs and the like) are left out.
std::vector<std::string> MountedVolumes();

}  // namespace orn
