#include "workbench/tablelocationsetting.h"

#include <exception>
#include <filesystem>
#include <map>
#include <string>

#include "dbengine/storage/table.h"
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

void LoadTableDefaults() {
    int bytes = 0;
    try {
        const std::string text = ReadIniString("", kNewTableSection, kBlockSizeKey, kNotStored);
        if (!IsNotStored(text) && !text.empty() && text.size() <= 2 &&
            text.find_first_not_of("0123456789") == std::string::npos) {
            bytes = std::stoi(text) * 1024;
        }
    } catch (const std::exception&) {
        // Unreadable settings: the engine's own default.
    }
    db::setDefaultParadoxBlockSize(bytes);  // a size Paradox does not have counts as none
}

}  // namespace orn
