#pragma once

#include <cstdint>
#include <string>

#include "dbengine/storage/table.h"

namespace orn::db {

// The character set a table's texts are stored in, as the file states it. A table rebuilt with
// TableCreate::codePage = name reads its texts the same and states the same code page.
struct StoredCodePage {
    std::string name;                 // iconv name the texts are read and written in
    int headerCodePage = 0;           // Paradox: the header's code page number; 0 when none
    std::uint8_t languageDriver = 0;  // dBASE: the language driver byte; 0 when none
};

StoredCodePage storedCodePage(const Table& table);

}  // namespace orn::db
