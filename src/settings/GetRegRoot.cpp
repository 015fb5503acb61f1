#include "settings/GetRegRoot.h"

#include <array>
#include <utility>

namespace orn {

namespace {

constexpr std::array<std::pair<const char*, TRegRoot>, 15> kRootNames{{
    {"HKEY_LOCAL_MACHINE", TRegRoot::LocalMachine},
    {"HKEY_CLASSES_ROOT", TRegRoot::ClassesRoot},
    {"HKEY_CURRENT_USER", TRegRoot::CurrentUser},
    {"HKEY_USERS", TRegRoot::Users},
    {"HKEY_CURRENT_CONFIG", TRegRoot::CurrentConfig},
    {"HKEY_DYN_DATA", TRegRoot::DynData},
    {"HKLM", TRegRoot::LocalMachine},
    {"HKCR", TRegRoot::ClassesRoot},
    {"HKCU", TRegRoot::CurrentUser},
    {"HKU", TRegRoot::Users},
    {"HKCC", TRegRoot::CurrentConfig},
    {"HKDD", TRegRoot::DynData},
    {"Machine", TRegRoot::LocalMachine},
    {"User", TRegRoot::CurrentUser},
    {"Users", TRegRoot::Users},
}};

}  // namespace

const char* RegRootName(TRegRoot root) {
    // The first six table rows are the full names, one per root.
    for (std::size_t i = 0; i < 6; ++i) {
        if (kRootNames[i].second == root) {
            return kRootNames[i].first;
        }
    }
    return "HKEY_CURRENT_USER";
}

std::optional<TRegRoot> RegRootFromName(const std::string& name) {
    for (const auto& [text, root] : kRootNames) {
        if (name == text) {
            return root;
        }
    }
    return std::nullopt;
}

TRegRoot GetRegRoot(std::string& path) {
    if (!path.empty() && path.front() == '\\') {
        path.erase(0, 1);
    }
    const auto slash = path.find('\\');
    if (slash != std::string::npos) {
        if (auto root = RegRootFromName(path.substr(0, slash))) {
            path.erase(0, slash + 1);
            return *root;
        }
    }
    return TRegRoot::CurrentUser;
}

}  // namespace orn
