#include "dbengine/vtab/table_locations.h"

#include <cctype>
#include <mutex>

#include "dbengine/storage/table.h"
#include "dbengine/vtab/table_files.h"

namespace orn::db {
namespace {

std::mutex& locationsMutex() {
    static std::mutex m;
    return m;
}

TableLocations& current() {
    static TableLocations locations;
    return locations;
}

const std::filesystem::path* findNoCase(const std::map<std::string, std::filesystem::path>& map,
                                        const std::string& key) {
    const std::string wanted = lowerAscii(key);
    for (const auto& [name, dir] : map) {
        if (lowerAscii(name) == wanted) {
            return &dir;
        }
    }
    return nullptr;
}

// The rest of a path after its directory, with DOS separators made ours.
std::string under(const std::filesystem::path& dir, std::string rest) {
    for (char& c : rest) {
        if (c == '\\') {
            c = '/';
        }
    }
    while (!rest.empty() && rest.front() == '/') {
        rest.erase(rest.begin());
    }
    return (dir / rest).string();
}

}  // namespace

void setTableLocations(TableLocations locations) {
    std::lock_guard<std::mutex> lock(locationsMutex());
    current() = std::move(locations);
}

TableLocations tableLocations() {
    std::lock_guard<std::mutex> lock(locationsMutex());
    return current();
}

std::string mappedTableReference(const std::string& reference) {
    if (reference.size() > 1 && reference[0] == ':') {
        const auto close = reference.find(':', 1);
        if (close != std::string::npos) {
            const std::string alias = reference.substr(1, close - 1);
            const auto locations = tableLocations();
            const auto* dir = findNoCase(locations.aliases, alias);
            if (!dir) {
                throw EngineError("Unknown alias '" + alias +
                                  "': set its directory in the settings section \"SQL "
                                  "Aliases\" (" +
                                  alias + "=/path/to/tables)");
            }
            return under(*dir, reference.substr(close + 1));
        }
    }
    const bool dosDrive = reference.size() > 2 && reference[1] == ':' &&
                          std::isalpha(static_cast<unsigned char>(reference[0])) &&
                          (reference[2] == '\\' || reference[2] == '/');
    if (dosDrive) {
        const std::string drive(1, reference[0]);
        const auto locations = tableLocations();
        const auto* dir = findNoCase(locations.drives, drive);
        if (!dir) {
            throw EngineError("No directory is set for drive " + drive + ": (table " + reference +
                              "); set one in the settings section "
                              "\"SQL Drives\" (" +
                              drive + "=/path/to/drive)");
        }
        return under(*dir, reference.substr(3));
    }
    return reference;
}

}  // namespace orn::db
