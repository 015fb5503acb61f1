#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dbengine/storage/field.h"

namespace orn::db::dbase {

enum class MemoKind {
    None,
    Dbt3,  // dBASE III: 512-byte blocks, text ends with 0x1A
    Dbt4,  // dBASE IV and later: block size in the header, FF FF 08 00 + length per memo
    Fpt,   // FoxPro: big-endian header and block headers
};

struct DbfField {
    Field field;               // as the rest of the engine sees it (name in UTF-8)
    char type = 'C';           // the file's own type letter
    std::uint32_t offset = 0;  // in the record, counting the deletion flag at 0
    std::uint32_t length = 0;
    std::uint8_t decimals = 0;
    std::uint8_t flags = 0;              // Visual FoxPro field flags
    bool hidden = false;                 // a Visual FoxPro system column such as _NullFlags
    int nullBit = -1;                    // bit in _NullFlags set when the value is NULL
    int varLengthBit = -1;               // V/Q: bit set when the length is in the field's last byte
    std::uint32_t descriptorOffset = 0;  // where the descriptor sits in the header
};

struct DbfHeader {
    std::uint8_t version = 0x03;
    bool level7 = false;            // dBASE 7: 68-byte header, 48-byte descriptors
    bool visualFoxPro = false;      // 0x30..0x32: 263-byte backlink after the descriptors
    std::uint32_t headerCount = 0;  // record count as the header states it
    std::uint16_t headerLength = 0;
    std::uint16_t recordLength = 0;
    std::uint8_t tableFlags = 0;
    std::uint8_t languageDriver = 0;
    std::vector<DbfField> fields;  // in file order, hidden ones included
    int nullFlagsField = -1;       // index into fields, or -1
    MemoKind memo = MemoKind::None;

    bool hasMemoFields() const;
    bool isFoxPro() const;  // FoxPro 2 or Visual FoxPro rules for memo fields and types
};

// Parses the header bytes (at least headerLength of them, or the whole file when shorter).
// Field names are converted with `codePage`. Throws EngineError
// "<file> is damaged (not a valid dBASE table): <reason>".
DbfHeader parseHeader(const std::uint8_t* data, std::size_t len, std::uint64_t fileSize,
                      const std::filesystem::path& file, const std::string& codePage);

// Reads only what decides the table's identity: version, counts, lengths, language driver.
bool plausibleHeader(const std::uint8_t* data, std::size_t len, std::uint64_t fileSize);

// The header of a new table: fields carry their type letter, length and decimals; offsets are
// assigned here. The result ends with the descriptor terminator (and the Visual FoxPro backlink).
std::vector<std::uint8_t> buildHeader(DbfHeader& header, const std::string& codePage);

}  // namespace orn::db::dbase
