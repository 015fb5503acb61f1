// The dBASE entry points of formats.h: recognising, opening and creating tables.
#include <algorithm>
#include <cstring>
#include <set>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/companion.h"
#include "dbengine/storage/dbase_header.h"
#include "dbengine/storage/dbase_language.h"
#include "dbengine/storage/dbase_memo.h"
#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/formats.h"
#include "dbengine/storage/posix_file.h"

namespace orn::db::dbase {

namespace {

struct VersionChoice {
    std::uint8_t plain;     // version byte without memo fields
    std::uint8_t withMemo;  // version byte with them
    MemoKind memo;
    bool foxPro;
    bool visualFoxPro;
    bool level7 = false;
};

// `version` is a level (3, 4, 7; 0 for the default dBASE III) or a version byte of a table.
// The byte 0x04 is a level-7 table; as a level, 4 asks for dBASE IV. `versionByte` says which.
VersionChoice chooseVersion(int version, bool versionByte) {
    if (versionByte && version == 0x04)
        version = 7;
    switch (version) {
        case 0:
        case 3:
        case 0x83:
            return {0x03, 0x83, MemoKind::Dbt3, false, false};
        case 4:
        case 0x8B:
            return {0x03, 0x8B, MemoKind::Dbt4, false, false};
        case 7:
        case 0x8C:
            return {0x04, 0x8C, MemoKind::Dbt4, false, false, true};
        case 0xF5:
            return {0x03, 0xF5, MemoKind::Fpt, true, false};
        case 0x30:
        case 0x31:
        case 0x32:
            return {std::uint8_t(version), std::uint8_t(version), MemoKind::Fpt, true, true};
        default:
            throw EngineError("Unknown dBASE table version " + std::to_string(version) + ".");
    }
}

[[noreturn]] void unsupported(const Field& f, const char* what) {
    throw EngineError("Field " + f.name + ": " + what);
}

DbfField describe(const Field& in, const VersionChoice& v) {
    DbfField f;
    f.field = in;
    auto sized = [&](char type, int length, int decimals = 0) {
        f.type = type;
        f.length = static_cast<std::uint32_t>(length);
        f.decimals = static_cast<std::uint8_t>(decimals);
    };
    const bool dbase4 = v.memo == MemoKind::Dbt4;  // dBASE IV and 7
    switch (in.type) {
        case FieldType::Alpha:
            if (in.size < 1 || in.size > 254)
                unsupported(in, "a character field holds 1 to 254 bytes.");
            sized('C', in.size);
            break;
        case FieldType::Number:
        case FieldType::Bcd: {
            if (v.visualFoxPro && in.letter == 'B') {
                sized('B', 8);
                break;
            }
            if (v.level7 && in.letter == 'O') {
                sized('O', 8);
                break;
            }
            int width = in.size > 0 ? in.size : 20;
            int decimals = in.decimals;
            if (in.type == FieldType::Bcd && in.size == 0)
                width = 20;
            if (width > 20)
                width = 20;
            if (decimals < 0 || (decimals > 0 && decimals > width - 2)) {
                unsupported(in, "the number of decimals does not fit the width.");
            }
            sized(in.letter == 'F' && (dbase4 || v.foxPro) ? 'F' : 'N', width, decimals);
            break;
        }
        case FieldType::Money:
            if (v.visualFoxPro) {
                sized('Y', 8, 4);
            } else {
                sized('N', 20, 4);
            }
            break;
        case FieldType::Short:
            if (v.level7)
                sized('I', 4);
            else
                sized('N', 6);
            break;
        case FieldType::Long:
        case FieldType::AutoInc:
            if (v.level7) {
                sized(in.type == FieldType::AutoInc ? '+' : 'I', 4);
            } else if (v.visualFoxPro) {
                sized('I', 4);
                if (in.type == FieldType::AutoInc)
                    f.flags = 0x0C;
            } else {
                sized('N', 11);
            }
            break;
        case FieldType::Logical:
            sized('L', 1);
            break;
        case FieldType::Date:
            sized('D', 8);
            break;
        case FieldType::Timestamp:
            if (v.level7) {
                sized('@', 8);
                break;
            }
            if (!v.visualFoxPro)
                unsupported(in, "only dBASE 7 and Visual FoxPro tables hold date and time.");
            sized('T', 8);
            break;
        case FieldType::Memo:
        case FieldType::FmtMemo:
            sized('M', v.visualFoxPro ? 4 : 10);
            break;
        case FieldType::Blob:
        case FieldType::Graphic:
        case FieldType::Ole:
            if (v.memo == MemoKind::Dbt3) {
                unsupported(in, "dBASE III memo files cannot hold binary data.");
            }
            if (v.visualFoxPro) {
                sized(in.type == FieldType::Blob ? 'W' : 'G', 4);
            } else {
                sized(in.type == FieldType::Blob && dbase4 ? 'B' : 'G', 10);
            }
            break;
        case FieldType::Time:
            unsupported(in, "dBASE tables have no time fields.");
        case FieldType::Bytes:
            unsupported(in, "dBASE tables have no bytes fields.");
    }
    f.field.letter = f.type;
    f.field.size = static_cast<int>(f.length);
    f.field.decimals = f.decimals;
    return f;
}

void writeNewFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    PosixFile out(p, PosixFile::Access::CreateFresh);
    out.truncate(0);
    out.writeAt(0, bytes.data(), bytes.size());
    out.sync();
}

std::uint32_t readLe32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

void putOffset(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The language driver name a level-7 header states for a code page (empty for one seen nowhere).
std::string level7DriverName(int codePage) {
    switch (codePage) {
        case 437:
            return "DB437US0";
        case 1252:
            return "DBWINUS0";
        default:
            return {};
    }
}

// Where a field's autoincrement counter lives in its descriptor, and how many bytes it has.
std::pair<std::size_t, std::size_t> counterBytes(const DbfHeader& h, const DbfField& f) {
    if (h.level7 && f.type == '+')
        return {0x2A, 4};
    if (h.visualFoxPro && (f.flags & 0x0C) == 0x0C)
        return {19, 5};  // next value and step
    return {0, 0};
}

// Visual FoxPro fields that continue nullable (or binary) fields stay so; the hidden
// _NullFlags field that holds their null bits comes back with them.
void carryFieldFlags(DbfHeader& h, const CarriedHeader& c, const std::string& codePage) {
    DbfHeader was;
    try {
        was = parseHeader(c.header.data(), c.header.size(), c.header.size(), "carried", codePage);
    } catch (const EngineError&) {
        return;
    }
    if (!was.visualFoxPro)
        return;
    std::vector<const DbfField*> oldVisible;
    for (const auto& f : was.fields)
        if (!f.hidden)
            oldVisible.push_back(&f);
    int bits = 0;
    for (std::size_t i = 0; i < h.fields.size(); ++i) {
        const int src = i < c.fieldSources.size() ? c.fieldSources[i] : -1;
        DbfField& f = h.fields[i];
        if (src >= 0 && std::size_t(src) < oldVisible.size() &&
            oldVisible[std::size_t(src)]->type == f.type)
            f.flags =
                static_cast<std::uint8_t>(f.flags | (oldVisible[std::size_t(src)]->flags & 0x06));
        if (f.flags & 0x02)
            f.nullBit = bits++;
    }
    if (bits == 0)
        return;
    DbfField nulls;
    nulls.field = makeField("_NullFlags", FieldType::Bytes, (bits + 7) / 8, 0, '0');
    nulls.type = '0';
    nulls.length = static_cast<std::uint32_t>((bits + 7) / 8);
    nulls.flags = 0x05;
    nulls.hidden = true;
    h.fields.push_back(nulls);
}

// What a replacement keeps of the table it replaces: the language driver when the texts stay in
// its code page (0, "not stated", included), the level-7 driver name, the Visual FoxPro
// database backlink, each continued field's autoincrement counter, and the memo file's block
// size and header bytes.
void carryOver(std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& memoHeader,
               const DbfHeader& h, const CarriedHeader& c, const std::string& codePage) {
    const auto& old = c.header;
    const std::uint8_t driver = old[29];
    if (driver == 0 || codePageOfDriver(driver) == codePageNumber(codePage))
        bytes[29] = driver;
    DbfHeader was;
    try {
        was = parseHeader(old.data(), old.size(), old.size(), "carried", codePage);
    } catch (const EngineError&) {
        return;
    }
    // Some writers note each field's place in the record in its descriptor; others leave 0.
    if (!h.level7 && !was.level7 && !h.isFoxPro()) {
        bool placed = false;
        for (const auto& f : was.fields)
            placed = placed || readLe32(old.data() + f.descriptorOffset + 12) != 0;
        for (const auto& f : h.fields)
            if (placed)
                putOffset(bytes.data() + f.descriptorOffset + 12, f.offset);
    }
    if (h.level7 && was.level7 && old.size() >= 0x44)
        std::memcpy(bytes.data() + 0x20, old.data() + 0x20, 0x24);
    if (h.visualFoxPro && was.visualFoxPro) {
        const std::size_t backlink = 263;
        if (old.size() >= backlink && bytes.size() >= backlink) {
            std::memcpy(bytes.data() + bytes.size() - backlink, old.data() + old.size() - backlink,
                        backlink);
            bytes[28] = std::uint8_t(bytes[28] | (old[28] & 0x04));
        }
    }
    std::vector<const DbfField*> oldVisible;
    for (const auto& f : was.fields)
        if (!f.hidden)
            oldVisible.push_back(&f);
    std::size_t visible = 0;
    for (const auto& f : h.fields) {
        if (f.hidden)
            continue;
        const int src = visible < c.fieldSources.size() ? c.fieldSources[visible] : -1;
        ++visible;
        if (src < 0 || std::size_t(src) >= oldVisible.size())
            continue;
        const DbfField& from = *oldVisible[std::size_t(src)];
        const auto [at, n] = counterBytes(h, f);
        const auto [oldAt, oldN] = counterBytes(was, from);
        if (n != 0 && n == oldN && from.descriptorOffset + oldAt + n <= old.size())
            std::memcpy(bytes.data() + f.descriptorOffset + at,
                        old.data() + from.descriptorOffset + oldAt, n);
    }
    const auto& oldMemo = c.memoHeader;
    if (memoHeader.empty() || oldMemo.size() < 24 || was.memo != h.memo)
        return;
    switch (h.memo) {
        case MemoKind::Dbt3:
            memoHeader[16] = oldMemo[16];
            break;
        case MemoKind::Dbt4:
            if (oldMemo[8] != 0)
                std::memcpy(memoHeader.data() + 8, oldMemo.data() + 8, 8);
            std::memcpy(memoHeader.data() + 16, oldMemo.data() + 16, 6);
            if (memoHeader[20] == 0 && memoHeader[21] == 0) {
                memoHeader[20] = 0x00;
                memoHeader[21] = 0x02;
            }
            break;
        case MemoKind::Fpt: {
            const std::uint32_t blockSize = (oldMemo[6] << 8) | oldMemo[7];
            if (blockSize != 0)
                memoHeader = MemoFile::emptyFile(MemoKind::Fpt, {}, blockSize);
            break;
        }
        case MemoKind::None:
            break;
    }
}

}  // namespace

bool looksLikeTable(const std::uint8_t* head, std::size_t len, std::uint64_t fileSize) {
    return plausibleHeader(head, len, fileSize);
}

std::unique_ptr<Table> openTable(const std::filesystem::path& file, OpenMode mode) {
    return std::make_unique<DBaseTable>(file, mode);
}

std::unique_ptr<Table> createTable(const std::filesystem::path& file, const TableCreate& layout) {
    if (layout.fields.empty())
        throw EngineError(file.string() + ": a table needs fields.");
    if (layout.keyFields != 0) {
        throw EngineError(file.string() + ": dBASE tables have no primary key.");
    }
    // A replacement keeps the level of the table it replaces.
    const CarriedHeader* carried = layout.carried && layout.carried->format == TableFormat::DBase &&
                                           layout.carried->header.size() >= 32
                                       ? layout.carried.get()
                                       : nullptr;
    VersionChoice v =
        carried ? chooseVersion(carried->header[0], true) : chooseVersion(layout.version, false);
    const std::string codePage = layout.codePage.empty() ? "CP1252" : layout.codePage;
    CodePage cp(codePage);

    DbfHeader h;
    h.visualFoxPro = v.visualFoxPro;
    h.level7 = v.level7;
    const std::size_t longestName = v.level7 ? 31 : 10;
    std::set<std::string> names;
    for (const Field& in : layout.fields) {
        std::string raw = cp.fromUtf8(in.name);
        if (raw.empty() || raw.size() > longestName) {
            throw EngineError("Field name \"" + in.name + "\" must have 1 to " +
                              std::to_string(longestName) + " characters.");
        }
        if (!names.insert(asciiLower(raw)).second) {
            throw EngineError("Field name \"" + in.name + "\" is used twice.");
        }
        h.fields.push_back(describe(in, v));
    }
    if (carried && v.visualFoxPro)
        carryFieldFlags(h, *carried, codePage);
    bool memo = h.hasMemoFields();
    h.version = memo ? v.withMemo : v.plain;
    h.memo = memo ? v.memo : MemoKind::None;
    if (v.visualFoxPro && memo)
        h.tableFlags = 0x02;
    h.languageDriver = driverOfCodePage(codePageNumber(codePage), v.foxPro);
    std::vector<std::uint8_t> bytes = buildHeader(h, codePage);
    const std::string stem =
        std::filesystem::path(layout.headerName.empty() ? file.filename().string()
                                                        : layout.headerName)
            .stem()
            .string();
    std::vector<std::uint8_t> memoHeader;
    if (memo)
        memoHeader = MemoFile::emptyFile(v.memo, stem);
    if (carried) {
        carryOver(bytes, memoHeader, h, *carried, codePage);
    } else if (v.level7) {
        const std::string driver = level7DriverName(codePageNumber(codePage));
        std::memcpy(bytes.data() + 0x20, driver.data(), std::min<std::size_t>(driver.size(), 31));
    }
    bytes.push_back(0x1A);

    if (memo) {
        auto memoPath = companionPath(file, v.memo == MemoKind::Fpt ? ".fpt" : ".dbt");
        writeNewFile(memoPath, memoHeader);
    }
    writeNewFile(file, bytes);
    syncDirectory(file.parent_path());
    return std::make_unique<DBaseTable>(file, OpenMode::Shared, codePage);
}

std::vector<std::filesystem::path> companionFiles(const std::filesystem::path& file) {
    static const std::set<std::string> kinds = {".dbt", ".fpt", ".mdx", ".cdx", ".ndx"};
    return findCompanions(file,
                          [](std::string_view ext) { return kinds.count(std::string(ext)) > 0; });
}

}  // namespace orn::db::dbase
