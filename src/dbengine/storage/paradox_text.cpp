#include "dbengine/storage/paradox_text.h"

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/companion.h"

namespace orn::db::paradox {

std::string tableCodePage(const Header& h) {
    std::string sort = asciiLower(h.sortOrderName);
    if (h.hasCodePage && h.codePage != 0) {
        std::string name = codePageName(h.codePage);
        if (!name.empty())
            return name;
    }
    if (sort.rfind("blrom8", 0) == 0)
        return "HP-ROMAN8";
    if (sort == "cyrr" || h.sortOrder == 0xC0)
        return "CP866";
    if (h.hasCodePage)
        return "CP1252";
    return "CP437";  // DOS-era tables without a code page field
}

}  // namespace orn::db::paradox
