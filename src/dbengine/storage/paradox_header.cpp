#include "dbengine/storage/paradox_header.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/table.h"

namespace orn::db::paradox {

namespace {

[[noreturn]] void invalid(const std::string& label, const std::string& reason) {
    throw EngineError(label + " is damaged (not a valid Paradox table): " + reason);
}

int tableNameLength(std::uint8_t versionId) {
    return versionId >= 12 ? 261 : 79;
}

}  // namespace

int Header::majorVersion() const {
    if (versionId <= 4)
        return 3;
    if (versionId <= 9)
        return 4;
    if (versionId <= 11)
        return 5;
    return 7;
}

std::uint8_t versionIdFor(int majorVersion) {
    switch (majorVersion) {
        case 3:
            return 3;
        case 4:
            return 9;
        case 5:
            return 11;
        default:
            return 12;
    }
}

int fieldWidth(std::uint8_t code, std::uint8_t size) {
    switch (code) {
        case kAlpha:
        case kBytes:
            return size;
        case kDate:
        case kLong:
        case kTime:
        case kAutoInc:
            return 4;
        case kShort:
            return 2;
        case kMoney:
        case kNumber:
        case kTimestamp:
            return 8;
        case kLogical:
            return 1;
        case kBcd:
            return 17;
        case kMemo:
        case kBlob:
        case kFmtMemo:
        case kOle:
        case kGraphic:
            return size >= 10 ? size : 0;
        default:
            return 0;
    }
}

bool isBlobCode(std::uint8_t code) {
    return code == kMemo || code == kBlob || code == kFmtMemo || code == kOle || code == kGraphic;
}

char typeLetter(std::uint8_t code) {
    switch (code) {
        case kAlpha:
            return 'A';
        case kDate:
            return 'D';
        case kShort:
            return 'S';
        case kLong:
            return 'I';
        case kMoney:
            return '$';
        case kNumber:
            return 'N';
        case kLogical:
            return 'L';
        case kMemo:
            return 'M';
        case kBlob:
            return 'B';
        case kFmtMemo:
            return 'F';
        case kOle:
            return 'O';
        case kGraphic:
            return 'G';
        case kTime:
            return 'T';
        case kTimestamp:
            return '@';
        case kAutoInc:
            return '+';
        case kBcd:
            return '#';
        case kBytes:
            return 'Y';
        default:
            return '?';
    }
}

std::uint8_t codeFromLetter(char letter) {
    static const char letters[] = "ADSI$NLMBFOGT@+#Y";
    static const std::uint8_t codes[] = {kAlpha,   kDate,      kShort,   kLong,    kMoney, kNumber,
                                         kLogical, kMemo,      kBlob,    kFmtMemo, kOle,   kGraphic,
                                         kTime,    kTimestamp, kAutoInc, kBcd,     kBytes};
    for (int i = 0; letters[i]; ++i)
        if (letters[i] == letter)
            return codes[i];
    return 0;
}

FieldType fieldTypeOf(std::uint8_t code) {
    switch (code) {
        case kDate:
            return FieldType::Date;
        case kShort:
            return FieldType::Short;
        case kLong:
            return FieldType::Long;
        case kMoney:
            return FieldType::Money;
        case kNumber:
            return FieldType::Number;
        case kLogical:
            return FieldType::Logical;
        case kMemo:
            return FieldType::Memo;
        case kBlob:
            return FieldType::Blob;
        case kFmtMemo:
            return FieldType::FmtMemo;
        case kOle:
            return FieldType::Ole;
        case kGraphic:
            return FieldType::Graphic;
        case kTime:
            return FieldType::Time;
        case kTimestamp:
            return FieldType::Timestamp;
        case kAutoInc:
            return FieldType::AutoInc;
        case kBcd:
            return FieldType::Bcd;
        case kBytes:
            return FieldType::Bytes;
        default:
            return FieldType::Alpha;
    }
}

std::uint8_t codeOf(FieldType type) {
    switch (type) {
        case FieldType::Alpha:
            return kAlpha;
        case FieldType::Date:
            return kDate;
        case FieldType::Short:
            return kShort;
        case FieldType::Long:
            return kLong;
        case FieldType::AutoInc:
            return kAutoInc;
        case FieldType::Number:
            return kNumber;
        case FieldType::Money:
            return kMoney;
        case FieldType::Logical:
            return kLogical;
        case FieldType::Bcd:
            return kBcd;
        case FieldType::Time:
            return kTime;
        case FieldType::Timestamp:
            return kTimestamp;
        case FieldType::Memo:
            return kMemo;
        case FieldType::FmtMemo:
            return kFmtMemo;
        case FieldType::Blob:
            return kBlob;
        case FieldType::Graphic:
            return kGraphic;
        case FieldType::Ole:
            return kOle;
        case FieldType::Bytes:
            return kBytes;
    }
    return 0;
}

Header parseHeader(const std::uint8_t* d, std::size_t size, const std::string& label,
                   bool isIndex) {
    if (size < 0x58)
        invalid(label, "the file is shorter than a header");
    Header h;
    h.recordSize = le16(d + 0x00);
    h.headerSize = le16(d + 0x02);
    h.fileType = d[0x04];
    h.maxTableSize = d[0x05];
    h.numRecords = le32(d + 0x06);
    h.nextBlock = le16(d + 0x0A);
    h.fileBlocks = le16(d + 0x0C);
    h.firstBlock = le16(d + 0x0E);
    h.lastBlock = le16(d + 0x10);
    h.indexRoot = le16(d + 0x1E);
    h.indexLevels = d[0x20];
    int numFields = std::int16_t(le16(d + 0x21));
    h.keyFields = std::int16_t(le16(d + 0x23));
    std::uint32_t enc1 = le32(d + 0x25);
    h.sortOrder = d[0x29];
    h.versionId = d[0x39];
    h.autoInc = le32(d + 0x49);
    h.firstFreeBlock = le16(d + 0x4D);

    if (isIndex ? h.fileType != PrimaryIndex : (h.fileType != KeyedDb && h.fileType != UnkeyedDb))
        invalid(label, "unexpected file type " + std::to_string(h.fileType));
    if (h.versionId < 3 || h.versionId > 15)
        invalid(label, "unknown version " + std::to_string(h.versionId));
    // 1 to 4 KiB in every version (3 KiB only from older programs), 16 and 32 KiB later.
    if (!(h.maxTableSize >= 1 && h.maxTableSize <= 4) && h.maxTableSize != 16 &&
        h.maxTableSize != 32)
        invalid(label, "block size of " + std::to_string(h.maxTableSize) +
                           " KiB, which Paradox tables do not have (1, 2, 3, 4, 16 or 32 KiB)");
    if (h.headerSize < 0x58 || h.headerSize > size)
        invalid(label, "header size out of range");
    if (numFields < 1 || numFields > 255)
        invalid(label, "field count out of range");
    if (h.recordSize == 0)
        invalid(label, "record size is zero");
    if (h.recordsPerBlock() < 1)
        invalid(label, "records larger than a block");
    if (h.keyFields < 0 || h.keyFields > numFields)
        invalid(label, "key field count out of range");

    bool ext = !isIndex && h.v4Layout();
    if (ext) {
        if (h.headerSize < 0x78)
            invalid(label, "header size out of range");
        h.encrypted = le32(d + 0x5C) != 0 || (enc1 != 0 && enc1 != 0xFF00FF00u);
        h.hasCodePage = true;
        h.codePage = le16(d + 0x6A);
    } else {
        h.encrypted = !isIndex && enc1 != 0;
    }
    if (h.encrypted)
        throw EngineError(label + " is encrypted (password protected); it cannot be opened");

    std::size_t pos = ext ? 0x78 : 0x58;
    const std::size_t end = h.headerSize;
    if (pos + 2 * std::size_t(numFields) > end)
        invalid(label, "field descriptions out of range");
    int offset = 0;
    for (int i = 0; i < numFields; ++i) {
        FieldSpec f;
        f.code = d[pos + 2 * std::size_t(i)];
        f.size = d[pos + 2 * std::size_t(i) + 1];
        f.width = fieldWidth(f.code, f.size);
        if (f.width == 0)
            invalid(label, "field " + std::to_string(i + 1) + " has unknown type " +
                               std::to_string(f.code) + " or size " + std::to_string(f.size));
        if (f.code == kBcd && f.size > 32)
            invalid(label, "BCD field with more than 32 decimals");
        f.offset = offset;
        offset += f.width;
        h.fields.push_back(f);
    }
    // Index records end in three shorts (block, count, spare) that no field describes.
    if (offset + (isIndex ? 6 : 0) != h.recordSize)
        invalid(label, "record size does not match the fields");
    if (isIndex)
        return h;

    pos += 2 * std::size_t(numFields) + 4 + 4 * std::size_t(numFields) +
           std::size_t(tableNameLength(h.versionId));
    for (auto& f : h.fields) {
        std::size_t stop = pos;
        while (stop < end && d[stop])
            ++stop;
        if (stop >= end)
            invalid(label, "field names run past the header");
        if (stop == pos)
            invalid(label, "field " + std::to_string(&f - h.fields.data() + 1) + " has no name");
        f.name.assign(reinterpret_cast<const char*>(d + pos), stop - pos);
        pos = stop + 1;
    }
    if (h.v4Layout()) {
        pos += 2 * std::size_t(numFields);
        std::size_t stop = pos;
        while (stop < end && d[stop])
            ++stop;
        if (stop < end)
            h.sortOrderName.assign(reinterpret_cast<const char*>(d + pos), stop - pos);
    }
    return h;
}

namespace {

// Header bytes that no layout decides and that a replacement keeps from the table it replaces:
// change counters, index and integrity flags, and bytes whose meaning nobody wrote down.
constexpr std::pair<std::size_t, std::size_t> kCarriedRanges[] = {
    {0x12, 0x14}, {0x2B, 0x30}, {0x3C, 0x3E}, {0x48, 0x49}, {0x50, 0x51}, {0x53, 0x58},
};
// The same in the 0x58 extension of v4+ headers (0x6E, the offset of the sort order id, and
// the field-id words are computed).
constexpr std::pair<std::size_t, std::size_t> kCarriedExtension[] = {
    {0x68, 0x6A},
    {0x6C, 0x6E},
    {0x70, 0x78},
};

std::size_t fieldInfoStart(bool v4) {
    return v4 ? 0x78 : 0x58;
}

}  // namespace

std::vector<std::uint16_t> parseFieldIds(const std::uint8_t* d, std::size_t size,
                                         std::uint16_t& hiFieldId) {
    std::vector<std::uint16_t> ids;
    hiFieldId = 0;
    if (size < 0x78 || d[0x39] < 5)
        return ids;
    const int n = std::int16_t(le16(d + 0x21));
    const std::size_t at = std::size_t(le16(d + 0x66)) + 0x58;
    if (n < 1 || at < 0x78 || at + 2 * std::size_t(n) > size)
        return ids;
    for (int i = 0; i < n; ++i)
        ids.push_back(std::uint16_t(le16(d + at + 2 * std::size_t(i))));
    hiFieldId = std::uint16_t(le16(d + 0x64));
    return ids;
}

std::string headerTableName(const std::vector<std::uint8_t>& b) {
    if (b.size() < 0x58)
        return {};
    const int n = std::max<int>(std::int16_t(le16(b.data() + 0x21)), 0);
    // Data files (.db, .Xnn) list field name pointers after the field types; index trees
    // (.px, .Ynn: file types 1, 4, 7) do not, and never have the 0x58 extension.
    const bool tree = b[0x04] == 1 || b[0x04] == 4 || b[0x04] == 7;
    const bool v4 = !tree && b[0x39] >= 5;
    const std::size_t at = fieldInfoStart(v4) + (tree ? 2 : 6) * std::size_t(n) + 4;
    const std::size_t len = std::size_t(tableNameLength(b[0x39]));
    if (at + len > b.size())
        return {};
    const char* p = reinterpret_cast<const char*>(b.data() + at);
    return std::string(p, strnlen(p, len));
}

std::string primaryIndexName(const std::string& tableName) {
    // Every engine-written index in the corpus names itself with ".PX", whatever the letter case
    // of the table's name: orders.db -> orders.PX, general.db -> general.PX.
    return tableName.substr(0, tableName.rfind('.')) + ".PX";
}

std::uint32_t dosTimestampNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    const std::uint32_t date = std::uint32_t(std::max(0, tm.tm_year - 80)) << 9 |
                               std::uint32_t(tm.tm_mon + 1) << 5 | std::uint32_t(tm.tm_mday);
    const std::uint32_t time = std::uint32_t(tm.tm_hour) << 11 | std::uint32_t(tm.tm_min) << 5 |
                               std::uint32_t(tm.tm_sec / 2);
    return date << 16 | time;
}

std::vector<std::uint8_t> buildDbHeader(const Header& h, const std::string& tableName) {
    const int n = int(h.fields.size());
    const bool v4 = h.v4Layout();
    const std::size_t nameLen = std::size_t(tableNameLength(h.versionId));
    std::size_t real = fieldInfoStart(v4) + 2 * std::size_t(n) + 4 + 4 * std::size_t(n) + nameLen;
    for (const auto& f : h.fields)
        real += f.name.size() + 1;
    if (v4)
        real += 2 * std::size_t(n) + h.sortOrderName.size() + 1;
    // 3.0 tables end their header where its contents end; later versions round it up.
    std::size_t headerSize = 0x800;
    while (headerSize < real)
        headerSize += 0x800;
    if (h.versionId == 3)
        headerSize = real;
    std::vector<std::uint8_t> b(headerSize, 0);
    std::uint8_t* d = b.data();
    putLe16(d + 0x00, h.recordSize);
    putLe16(d + 0x02, std::uint32_t(headerSize));
    d[0x04] = h.keyFields > 0 ? KeyedDb : UnkeyedDb;
    d[0x05] = h.maxTableSize;
    putLe16(d + 0x12, 12);
    putLe16(d + 0x21, std::uint32_t(n));
    putLe16(d + 0x23, std::uint32_t(h.keyFields));
    putLe32(d + 0x25, v4 ? 0xFF00FF00u : 0);
    d[0x29] = h.sortOrder;
    d[0x2D] = 2;
    d[0x2E] = 2;
    d[0x39] = h.versionId;
    d[0x3E] = 0x1F;
    d[0x3F] = 0x0F;
    if (v4)
        putLe16(d + 0x51, std::uint32_t(real));
    d[0x56] = v4 ? 0x20 : 0;
    const bool carry = h.carried.size() >= 0x58;
    if (carry) {
        for (auto [from, to] : kCarriedRanges)
            std::memcpy(d + from, h.carried.data() + from, to - from);
    }
    std::size_t pos = 0x58;
    if (v4) {
        putLe16(d + 0x58, 0x0100u | h.versionId);
        putLe16(d + 0x5A, 0x0100u | h.versionId);
        putLe32(d + 0x60, dosTimestampNow());
        putLe16(d + 0x6A, h.codePage);
        d[0x6C] = 1;
        d[0x6D] = 1;
        if (carry && h.carried.size() >= 0x78 && h.carried[0x39] >= 5) {
            for (auto [from, to] : kCarriedExtension)
                std::memcpy(d + from, h.carried.data() + from, to - from);
        }
        pos = 0x78;
    }
    for (const auto& f : h.fields) {
        d[pos++] = f.code;
        d[pos++] = f.size;
    }
    pos += 4 + 4 * std::size_t(n);  // in-memory pointers
    std::memcpy(d + pos, tableName.data(), std::min(tableName.size(), nameLen - 1));
    pos += nameLen;
    for (const auto& f : h.fields) {
        std::memcpy(d + pos, f.name.data(), f.name.size());
        pos += f.name.size() + 1;
    }
    if (v4) {
        putLe16(d + 0x66, std::uint32_t(pos - 0x58));
        std::uint32_t highest = 0;
        for (int i = 0; i < n; ++i) {
            const std::uint32_t id = std::size_t(i) < h.fieldIds.size() ? h.fieldIds[std::size_t(i)]
                                                                        : std::uint32_t(i + 1);
            highest = std::max(highest, id);
            putLe16(d + pos, id);
            pos += 2;
        }
        putLe16(d + 0x64, std::max<std::uint32_t>(h.hiFieldId, highest + 1));
        putLe16(d + 0x6E, std::uint32_t(pos - 0x58));
        std::memcpy(d + pos, h.sortOrderName.data(), h.sortOrderName.size());
    }
    patchCounters(b, h);
    return b;
}

std::vector<std::uint8_t> buildPxHeader(const Header& db, const std::string& tableName,
                                        const std::vector<std::uint8_t>& dbHeader) {
    const int k = db.keyFields;
    const std::size_t nameLen = std::size_t(tableNameLength(db.versionId));
    std::vector<std::uint8_t> b(0x800, 0);
    std::uint8_t* d = b.data();
    int keySize = 0;
    for (int i = 0; i < k; ++i)
        keySize += db.fields[std::size_t(i)].width;
    putLe16(d + 0x00, std::uint32_t(keySize + 6));
    putLe16(d + 0x02, 0x800);
    d[0x04] = PrimaryIndex;
    d[0x05] = db.maxTableSize;
    std::uint16_t dbCounter =
        dbHeader.size() >= 0x58 ? std::uint16_t(le16(dbHeader.data() + 0x12)) : 12;
    putLe16(d + 0x12, db.v4Layout() ? std::uint32_t(dbCounter + 1) : dbCounter);
    putLe16(d + 0x21, std::uint32_t(k));
    d[0x29] = db.sortOrder;
    d[0x2C] = dbHeader.size() >= 0x58 ? dbHeader[0x2D] : 2;
    d[0x2D] = db.v4Layout() ? 0 : 3;
    d[0x39] = db.versionId;
    std::size_t pos = 0x58;
    for (int i = 0; i < k; ++i) {
        d[pos++] = db.fields[std::size_t(i)].code;
        d[pos++] = db.fields[std::size_t(i)].size;
    }
    pos += 4;
    std::memcpy(d + pos, tableName.data(), std::min(tableName.size(), nameLen - 1));
    putLe16(d + 0x51, std::uint32_t(pos + nameLen));
    return b;
}

void keepPxValues(std::vector<std::uint8_t>& px, const std::vector<std::uint8_t>& old) {
    if (px.size() >= 0x4D && old.size() >= 0x4D && old[0x04] == PrimaryIndex)
        std::memcpy(px.data() + 0x49, old.data() + 0x49, 4);
}

void patchCounters(std::vector<std::uint8_t>& b, const Header& h) {
    std::uint8_t* d = b.data();
    putLe32(d + 0x06, h.numRecords);
    putLe16(d + 0x0A, h.nextBlock);
    putLe16(d + 0x0C, h.fileBlocks);
    putLe16(d + 0x0E, h.firstBlock);
    putLe16(d + 0x10, h.lastBlock);
    putLe16(d + 0x1E, h.indexRoot);
    d[0x20] = h.indexLevels;
    putLe16(d + 0x3A, h.fileBlocks);
    putLe32(d + 0x49, h.autoInc);
    putLe16(d + 0x4D, h.firstFreeBlock);
}

}  // namespace orn::db::paradox
