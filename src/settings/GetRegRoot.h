#pragma once

#include <optional>
#include <string>

namespace orn {

// The registry roots of the settings store. Each root is one text file (see RegistryRoot.h).
enum class TRegRoot {
    LocalMachine,
    ClassesRoot,
    CurrentUser,
    Users,
    CurrentConfig,
    DynData,
};

// The root's full name, e.g. "HKEY_CURRENT_USER".
const char* RegRootName(TRegRoot root);

// Looks a root name up in the table of full names, abbreviations ("HKCU") and friendly names
// ("User"); the comparison is exact, letter case included.
std::optional<TRegRoot> RegRootFromName(const std::string& name);

// Removes one leading "\" from path; when the text before the first "\" names a root, removes it
// and its "\" and returns that root. Otherwise the path keeps the rest and the root is the
// current user's.
TRegRoot GetRegRoot(std::string& path);

}  // namespace orn
