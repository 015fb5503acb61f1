// The entry points of the Paradox format for Table::open/create/drop.
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/formats.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_create.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/restructure.h"

namespace orn::db::paradox {

bool looksLikeTable(const std::uint8_t* head, std::size_t len, std::uint64_t fileSize) {
    if (len < 0x58)
        return false;
    std::uint16_t recordSize = le16(head);
    std::uint16_t headerSize = le16(head + 2);
    std::uint8_t type = head[4], block = head[5], version = head[0x39];
    int numFields = std::int16_t(le16(head + 0x21));
    return recordSize > 0 && headerSize >= 0x58 && headerSize <= fileSize &&
           (type == KeyedDb || type == UnkeyedDb) && block >= 1 && block <= 32 && version >= 3 &&
           version <= 15 && numFields >= 1 && numFields <= 255;
}

std::unique_ptr<Table> openTable(const std::filesystem::path& file, OpenMode mode) {
    return std::make_unique<ParadoxTable>(file, mode);
}

bool isSecondaryIndexExtension(std::string_view ext) {
    // .Xnn/.Ynn (field number in hex) and .XGn/.YGn.
    if (ext.size() != 4 || (ext[1] != 'x' && ext[1] != 'y'))
        return false;
    bool hex2 = std::isxdigit(static_cast<unsigned char>(ext[2])) != 0;
    bool hex3 = std::isxdigit(static_cast<unsigned char>(ext[3])) != 0;
    return hex3 && (hex2 || ext[2] == 'g');
}

std::vector<std::filesystem::path> companionFiles(const std::filesystem::path& file) {
    return findCompanions(file, [](std::string_view ext) {
        return ext == ".px" || ext == ".mb" || ext == ".val" || ext == ".tv" || ext == ".fam" ||
               isSecondaryIndexExtension(ext);
    });
}

}  // namespace orn::db::paradox
