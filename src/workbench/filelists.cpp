#include "workbench/filelists.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "dbengine/storage/table_swap.h"

namespace orn {

namespace fs = std::filesystem;

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool MatchOne(const char* name, const char* mask) {
    // Iterative wildcard match with one backtracking point for the last "*".
    const char* starMask = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*mask == '*') {
            starMask = ++mask;
            starName = name;
        } else if (*mask == '?' || (*mask && Lower(*mask) == Lower(*name))) {
            ++mask;
            ++name;
        } else if (starMask) {
            mask = starMask;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*mask == '*') {
        ++mask;
    }
    return *mask == '\0';
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    const auto lower = [](const std::string& text) {
        std::string out = text;
        std::transform(out.begin(), out.end(), out.begin(), Lower);
        return out;
    };
    const std::string la = lower(a), lb = lower(b);
    return la != lb ? la < lb : a < b;
}

bool HasWildcard(const std::string& text) {
    return text.find_first_of("*?") != std::string::npos;
}

template <typename Keep>
std::vector<std::string> List(const std::string& directory, std::string* error, Keep keep) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(directory.empty() ? "." : directory, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (keep(*it, typeError)) {
            names.push_back(it->path().filename().string());
        }
    }
    if (ec && error) {
        *error = "Cannot read directory " + directory + ": " + ec.message();
    }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
    if (mask.empty()) {
        return true;
    }
    std::size_t start = 0;
    while (start <= mask.size()) {
        std::size_t end = mask.find(';', start);
        if (end == std::string::npos) {
            end = mask.size();
        }
        const std::string one = mask.substr(start, end - start);
        if (!one.empty() && MatchOne(name.c_str(), one.c_str())) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::vector<std::string> ListFiles(const std::string& directory, const std::string& mask,
                                   std::string* error) {
    db::tidyDirectory(directory);
    return List(directory, error, [&](const fs::directory_entry& entry, std::error_code& ec) {
        return entry.is_regular_file(ec) && MatchesMask(entry.path().filename().string(), mask);
    });
}

std::vector<std::string> ListDirectories(const std::string& directory, std::string* error) {
    return List(directory, error, [](const fs::directory_entry& entry, std::error_code& ec) {
        return entry.is_directory(ec) && entry.path().filename().string().rfind('.', 0) != 0;
    });
}

std::vector<std::pair<std::string, std::string>> ParseFilter(const std::string& filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= filter.size()) {
        std::size_t end = filter.find('|', start);
        if (end == std::string::npos) {
            end = filter.size();
        }
        parts.push_back(filter.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::pair<std::string, std::string>> result;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        result.emplace_back(parts[i], parts[i + 1]);
    }
    if (parts.size() % 2 == 1 && !parts.back().empty()) {
        // A caption without a mask filters nothing out.
        result.emplace_back(parts.back(), "");
    }
    return result;
}

FileNameText SplitFileNameText(const std::string& text, const std::string& currentDirectory) {
    FileNameText result;
    if (text.empty()) {
        return result;
    }
    fs::path path(text);
    std::string name = path.filename().string();
    fs::path dir = path.parent_path();
    if (text.back() == '/') {
        dir = path;
        name.clear();
    }
    if (!dir.empty()) {
        if (dir.is_relative()) {
            dir = fs::path(currentDirectory) / dir;
        }
        result.directory = dir.lexically_normal().string();
        if (result.directory.size() > 1 && result.directory.back() == '/') {
            result.directory.pop_back();
        }
    }
    if (HasWildcard(name)) {
        result.mask = name;
    } else {
        result.select = name;
    }
    return result;
}

std::vector<std::string> MountedVolumes() {
    static const std::set<std::string> systemTypes = {
        "proc",     "sysfs",    "devpts",      "cgroup", "cgroup2",  "securityfs",
        "debugfs",  "tracefs",  "pstore",      "bpf",    "mqueue",   "hugetlbfs",
        "configfs", "fusectl",  "binfmt_misc", "autofs", "devtmpfs", "rpc_pipefs",
        "nsfs",     "efivarfs", "overlay_sys"};
    std::vector<std::string> volumes{"/"};
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        fields >> device >> point >> type;
        if (point.empty() || systemTypes.count(type) || point.rfind("/proc", 0) == 0 ||
            point.rfind("/sys", 0) == 0 || point.rfind("/dev", 0) == 0 ||
            (point.rfind("/run", 0) == 0 && point.rfind("/run/media", 0) != 0)) {
            continue;
        }
        // The mount table writes blanks in names as \040.
        std::string decoded;
        for (std::size_t i = 0; i < point.size(); ++i) {
            if (point[i] == '\\' && i + 3 < point.size() &&
                std::isdigit(static_cast<unsigned char>(point[i + 1]))) {
                decoded += static_cast<char>(std::stoi(point.substr(i + 1, 3), nullptr, 8));
                i += 3;
            } else {
                decoded += point[i];
            }
        }
        if (std::find(volumes.begin(), volumes.end(), decoded) == volumes.end()) {
            volumes.push_back(decoded);
        }
    }
    return volumes;
}

}  // namespace orn
