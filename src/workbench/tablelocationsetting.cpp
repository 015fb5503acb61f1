#include "workbench/tablelocationsetting.h"

#include <exception>
#include <filesystem>
#include <map>
#include <string>

#include "dbengine/vtab/table_files.h"
#include "dbengine/vtab/table_locations.h"
#include "settings/IniReadOrder.h"

namespace orn {
namespace {

std::map<std::string, std::filesystem::path> readSection(TOneReadOrder& order,
                                                         const std::string& section) {
    std::map<std::string, std::filesystem::path> out;
    for (int i = 0; i < order.Count(); ++i) {
        TzCustomIniFile* store = order.Store(i);
        if (!store) {
            continue;
        }
        try {
            for (const auto& [name, value] : store->ReadSectionValues(section)) {
                if (!name.empty() && !value.empty() && !IsNotStored(value)) {
                    out.emplace(db::lowerAscii(name), value);  // an earlier store wins
                }
            }
        } catch (const std::exception&) {
            // an unreadable store adds nothing
        }
    }
    return out;
}

}  // namespace

void LoadTableLocations() {
    db::TableLocations locations;
    try {
        if (TOneReadOrder* order = GlobalIniReadOrder().GetReadOrder("")) {
            locations.aliases = readSection(*order, kAliasSection);
            locations.drives = readSection(*order, kDriveSection);
        }
    } catch (const std::exception&) {
        // Unreadable settings: no alias and no drive is set.
    }
    db::setTableLocations(std::move(locations));
}

}  // namespace orn
