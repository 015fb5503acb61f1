#pragma once

// The header of Paradox .db and .px files: parsing what other programs wrote and building the
// headers of the files we create.

#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/storage/field.h"

namespace orn::db::paradox {

enum FileType : std::uint8_t { KeyedDb = 0, PrimaryIndex = 1, UnkeyedDb = 2 };

// Field type codes as stored in the file.
enum TypeCode : std::uint8_t {
    kAlpha = 0x01,
    kDate = 0x02,
    kShort = 0x03,
    kLong = 0x04,
    kMoney = 0x05,
    kNumber = 0x06,
    kLogical = 0x09,
    kMemo = 0x0C,
    kBlob = 0x0D,
    kFmtMemo = 0x0E,
    kOle = 0x0F,
    kGraphic = 0x10,
    kTime = 0x14,
    kTimestamp = 0x15,
    kAutoInc = 0x16,
    kBcd = 0x17,
    kBytes = 0x18,
};

struct FieldSpec {
    std::uint8_t code = 0;
    std::uint8_t size = 0;  // as declared: bytes, blob leader + 10, or BCD decimals
    int width = 0;          // bytes in the record
    int offset = 0;         // position in the record
    std::string name;       // raw bytes in the table's code page
};

struct Header {
    std::uint16_t recordSize = 0;
    std::uint16_t headerSize = 0;
    std::uint8_t fileType = 0;
    std::uint8_t maxTableSize = 0;  // block size in KiB
    std::uint32_t numRecords = 0;
    std::uint16_t nextBlock = 0;
    std::uint16_t fileBlocks = 0;
    std::uint16_t firstBlock = 0;
    std::uint16_t lastBlock = 0;
    std::uint16_t indexRoot = 0;
    std::uint8_t indexLevels = 0;
    int keyFields = 0;
    std::uint8_t sortOrder = 0;
    std::uint8_t versionId = 0;
    std::uint32_t autoInc = 0;
    std::uint16_t firstFreeBlock = 0;
    bool encrypted = false;
    bool hasCodePage = false;
    std::uint16_t codePage = 0;
    std::string sortOrderName;
    std::vector<FieldSpec> fields;
    // Field ids (v4+ headers): one per field, and one more than the highest ever issued. Empty
    // ids number the fields 1..n.
    std::vector<std::uint16_t> fieldIds;
    std::uint16_t hiFieldId = 0;
    // The header of the table this one replaces: the bytes no layout decides (change counters,
    // referential integrity, unknown flags) are copied from it.
    std::vector<std::uint8_t> carried;
    // The same for its primary index: its own block size and the word at 0x49 stay.
    std::vector<std::uint8_t> carriedIndex;

    int blockSize() const { return maxTableSize * 1024; }
    int recordsPerBlock() const { return recordSize ? (blockSize() - 6) / recordSize : 0; }
    bool v4Layout() const { return versionId >= 5; }
    int majorVersion() const;  // 3, 4, 5 or 7
};

// Throws EngineError "<label> is damaged (not a valid Paradox table): <reason>" on anything
// malformed and a clear error for encrypted tables. `isIndex` parses a .px header instead of a .db
// header.
Header parseHeader(const std::uint8_t* data, std::size_t size, const std::string& label,
                   bool isIndex = false);

// Bytes in the record of a field with this code and declared size; 0 for an unknown type.
int fieldWidth(std::uint8_t code, std::uint8_t size);
char typeLetter(std::uint8_t code);
std::uint8_t codeFromLetter(char letter);
FieldType fieldTypeOf(std::uint8_t code);
std::uint8_t codeOf(FieldType type);
bool isBlobCode(std::uint8_t code);

// The full header (headerSize bytes) of a new .db file. The block counters are filled in later.
std::vector<std::uint8_t> buildDbHeader(const Header& h, const std::string& tableName);
// The header of a .px for the first `keyFields` fields of `db`. Its change counters follow the
// .db header bytes `dbHeader` the way engine-written files tie them: 0x12 one above the .db's
// (equal in 3.x tables), 0x2C equal to the .db's 0x2D.
// Gives a rebuilt .px the values of the one it replaces that no rule decides: the word at 0x49
// (not the table's autoincrement counter: its meaning is unknown, its value the writer's).
void keepPxValues(std::vector<std::uint8_t>& px, const std::vector<std::uint8_t>& old);
std::vector<std::uint8_t> buildPxHeader(const Header& db, const std::string& tableName,
                                        const std::vector<std::uint8_t>& dbHeader);
// The table name a .db header records (what the table was created as), and the name its
// primary index records: the same stem with .PX.
std::string headerTableName(const std::vector<std::uint8_t>& dbHeader);
std::string primaryIndexName(const std::string& tableName);
// Field ids, the field-id counter and the sort order id of a v4+ .db header.
std::vector<std::uint16_t> parseFieldIds(const std::uint8_t* data, std::size_t size,
                                         std::uint16_t& hiFieldId);
// The current time as the header's fileUpdateTime: a DOS date (high word) and time (low word).
std::uint32_t dosTimestampNow();
// Stores the counters of `h` (record count, block numbers, autoincrement, free list) into the
// header bytes of a .db or .px file.
void patchCounters(std::vector<std::uint8_t>& bytes, const Header& h);

std::uint8_t versionIdFor(int majorVersion);

}  // namespace orn::db::paradox
