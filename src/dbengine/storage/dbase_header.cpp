#include "dbengine/storage/dbase_header.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/companion.h"
#include "dbengine/storage/table.h"

namespace orn::db::dbase {

namespace {

std::uint16_t u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t u32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool knownVersion(std::uint8_t v) {
    switch (v) {
        case 0x03:
        case 0x04:
        case 0x05:
        case 0x30:
        case 0x31:
        case 0x32:
        case 0x43:
        case 0x63:
        case 0x83:
        case 0x8B:
        case 0x8C:
        case 0xCB:
        case 0xE5:
        case 0xF5:
        case 0xFB:
            return true;
        default:
            return false;
    }
}

bool isLevel7(std::uint8_t v) {
    return v == 0x04 || v == 0x8C;
}
bool isVisualFoxPro(std::uint8_t v) {
    return v >= 0x30 && v <= 0x32;
}

[[noreturn]] void invalid(const std::filesystem::path& file, const std::string& why) {
    throw EngineError(file.string() + " is damaged (not a valid dBASE table): " + why);
}

FieldType fieldTypeOf(char type, std::uint32_t length, const DbfHeader& h, std::uint8_t flags) {
    switch (type) {
        case 'C':
        case 'V':
            return FieldType::Alpha;
        case 'N':
        case 'F':
        case 'O':
            return FieldType::Number;
        case 'D':
            return FieldType::Date;
        case 'L':
            return FieldType::Logical;
        case 'M':
            return FieldType::Memo;
        case 'B':
            return h.visualFoxPro && length == 8 ? FieldType::Number : FieldType::Blob;
        case 'G':
        case 'P':
            return FieldType::Graphic;
        case 'W':
            return FieldType::Blob;
        case 'I':
            return (flags & 0x0C) == 0x0C ? FieldType::AutoInc : FieldType::Long;
        case '+':
            return FieldType::AutoInc;
        case 'T':
        case '@':
            return FieldType::Timestamp;
        case 'Y':
            return FieldType::Money;
        default:
            return FieldType::Bytes;  // Q (varbinary) and letters we do not know
    }
}

MemoKind memoKindOf(std::uint8_t version) {
    switch (version) {
        case 0x83:
            return MemoKind::Dbt3;
        case 0x8B:
        case 0x8C:
        case 0xCB:
            return MemoKind::Dbt4;
        case 0xF5:
        case 0xFB:
        case 0x30:
        case 0x31:
        case 0x32:
            return MemoKind::Fpt;
        default:
            return MemoKind::None;
    }
}

}  // namespace

bool DbfHeader::hasMemoFields() const {
    for (const auto& f : fields) {
        if (isBlobLike(f.field.type))
            return true;
    }
    return false;
}

bool DbfHeader::isFoxPro() const {
    return visualFoxPro || version == 0xF5 || version == 0xFB;
}

bool plausibleHeader(const std::uint8_t* d, std::size_t len, std::uint64_t fileSize) {
    if (len < 32 || !knownVersion(d[0]))
        return false;
    std::uint16_t hl = u16(d + 8), rl = u16(d + 10);
    std::uint16_t minHeader = isLevel7(d[0]) ? 68 + 1 : 32 + 1;
    if (hl < minHeader || rl < 1 || hl > fileSize)
        return false;
    if (d[2] < 1 || d[2] > 12 || d[3] > 31) {
        // Some writers leave the date empty; everything else must then look right.
        if (d[1] != 0 || d[2] != 0 || d[3] != 0)
            return false;
    }
    return true;
}

DbfHeader parseHeader(const std::uint8_t* d, std::size_t len, std::uint64_t fileSize,
                      const std::filesystem::path& file, const std::string& codePage) {
    if (len < 32)
        invalid(file, "the file is shorter than a header.");
    DbfHeader h;
    h.version = d[0];
    if (!knownVersion(h.version)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "unknown version byte 0x%02X.", h.version);
        invalid(file, buf);
    }
    h.level7 = isLevel7(h.version);
    h.visualFoxPro = isVisualFoxPro(h.version);
    h.headerCount = u32(d + 4);
    h.headerLength = u16(d + 8);
    h.recordLength = u16(d + 10);
    h.tableFlags = d[28];
    h.languageDriver = d[29];
    const std::size_t first = h.level7 ? 68 : 32;
    const std::size_t step = h.level7 ? 48 : 32;
    if (h.headerLength < first + 1)
        invalid(file, "the header length is too small.");
    if (h.headerLength > fileSize || h.headerLength > len) {
        invalid(file, "the header is longer than the file.");
    }
    if (h.recordLength < 1)
        invalid(file, "the record length is zero.");

    CodePage names(codePage);
    std::uint32_t offset = 1;
    std::set<std::string> seen;
    for (std::size_t pos = first; pos + step <= h.headerLength && d[pos] != 0x0D; pos += step) {
        DbfField f;
        f.descriptorOffset = static_cast<std::uint32_t>(pos);
        const std::uint8_t* e = d + pos;
        std::size_t nameMax = h.level7 ? 32 : 11;
        std::size_t nameLen = 0;
        while (nameLen < nameMax && e[nameLen] != 0)
            ++nameLen;
        std::string raw(reinterpret_cast<const char*>(e), nameLen);
        while (!raw.empty() && raw.back() == ' ')
            raw.pop_back();
        if (h.level7) {
            f.type = static_cast<char>(e[32]);
            f.length = e[33];
            f.decimals = e[34];
        } else {
            f.type = static_cast<char>(e[11]);
            f.length = e[16];
            f.decimals = e[17];
            f.flags = h.visualFoxPro ? e[18] : 0;
            // Character fields longer than 255 keep the high byte in the decimal count.
            if (f.type == 'C' && f.decimals != 0 && !h.visualFoxPro) {
                f.length |= std::uint32_t{f.decimals} << 8;
                f.decimals = 0;
            }
        }
        if (f.length == 0)
            invalid(file, "field " + std::to_string(h.fields.size() + 1) + " has length 0.");
        f.offset = offset;
        offset += f.length;
        f.hidden = h.visualFoxPro && ((f.flags & 0x01) != 0 || f.type == '0');
        f.field.name = names.toUtf8(raw);
        f.field.letter = f.type;
        f.field.size = static_cast<int>(f.length);
        f.field.decimals = f.decimals;
        f.field.type = fieldTypeOf(f.type, f.length, h, f.flags);
        if (f.type == '0')
            h.nullFlagsField = static_cast<int>(h.fields.size());
        h.fields.push_back(std::move(f));
    }
    if (offset > h.recordLength)
        invalid(file, "the fields are longer than the record.");
    if (h.visualFoxPro) {
        int bit = 0;
        for (auto& f : h.fields) {
            if (f.hidden)
                continue;
            if (f.type == 'V' || f.type == 'Q')
                f.varLengthBit = bit++;
            if (f.flags & 0x02)
                f.nullBit = bit++;
        }
        if (bit > 0 && h.nullFlagsField >= 0 &&
            h.fields[h.nullFlagsField].length * 8 < static_cast<std::uint32_t>(bit)) {
            invalid(file, "the _NullFlags field is too short.");
        }
        if (h.nullFlagsField < 0) {
            for (auto& f : h.fields)
                f.nullBit = f.varLengthBit = -1;
        }
    }
    h.memo = memoKindOf(h.version);
    if (h.memo == MemoKind::None && h.hasMemoFields()) {
        // Some writers keep 0x03 although memo fields exist; the memo file decides.
        h.memo = findCompanion(file, ".fpt") ? MemoKind::Fpt : MemoKind::Dbt4;
    }
    return h;
}

std::vector<std::uint8_t> buildHeader(DbfHeader& h, const std::string& codePage) {
    const std::size_t count = h.fields.size();
    const std::size_t backlink = h.visualFoxPro ? 263 : 0;
    const std::size_t first = h.level7 ? 68 : 32;
    const std::size_t step = h.level7 ? 48 : 32;
    const std::size_t headerLength = first + step * count + 1 + backlink;
    if (headerLength > 0xFFFF)
        throw EngineError("A dBASE table cannot have that many fields.");
    std::vector<std::uint8_t> out(headerLength, 0);
    std::uint32_t offset = 1;
    CodePage names(codePage);
    for (std::size_t i = 0; i < count; ++i) {
        DbfField& f = h.fields[i];
        std::uint8_t* e = out.data() + first + step * i;
        std::string raw = names.fromUtf8(f.field.name);
        if (h.level7) {
            std::memcpy(e, raw.data(), std::min<std::size_t>(raw.size(), 31));
            e[32] = static_cast<std::uint8_t>(f.type);
            e[33] = static_cast<std::uint8_t>(f.length);
            e[34] = f.decimals;
            if (f.type == '+')
                put32(e + 0x2A, 1);  // the next value to issue
            f.offset = offset;
            f.descriptorOffset = static_cast<std::uint32_t>(first + step * i);
            offset += f.length;
            continue;
        }
        std::memcpy(e, raw.data(), std::min<std::size_t>(raw.size(), 10));
        e[11] = static_cast<std::uint8_t>(f.type);
        if (h.isFoxPro())
            put32(e + 12, offset);
        if (f.type == 'C' && f.length > 255) {
            e[16] = static_cast<std::uint8_t>(f.length & 0xFF);
            e[17] = static_cast<std::uint8_t>(f.length >> 8);
        } else {
            e[16] = static_cast<std::uint8_t>(f.length);
            e[17] = f.decimals;
        }
        e[18] = f.flags;
        if ((f.flags & 0x0C) == 0x0C) {  // autoincrement: next value 1, step 1
            put32(e + 19, 1);
            e[23] = 1;
        }
        f.offset = offset;
        f.descriptorOffset = static_cast<std::uint32_t>(first + step * i);
        offset += f.length;
    }
    if (offset > 0xFFFF)
        throw EngineError("The record of a dBASE table cannot be that long.");
    out[first + step * count] = 0x0D;
    h.headerLength = static_cast<std::uint16_t>(headerLength);
    h.recordLength = static_cast<std::uint16_t>(offset);
    out[0] = h.version;
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    out[1] = static_cast<std::uint8_t>(tm.tm_year);
    out[2] = static_cast<std::uint8_t>(tm.tm_mon + 1);
    out[3] = static_cast<std::uint8_t>(tm.tm_mday);
    put32(out.data() + 4, h.headerCount);
    put16(out.data() + 8, h.headerLength);
    put16(out.data() + 10, h.recordLength);
    out[28] = h.tableFlags;
    out[29] = h.languageDriver;
    return out;
}

}  // namespace orn::db::dbase
