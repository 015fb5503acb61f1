// The dBASE entry points of formats.h: recognising, opening and creating tables.
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
};

VersionChoice chooseVersion(int version) {
    switch (version) {
        case 0:
        case 3:
        case 0x83:
            return {0x03, 0x83, MemoKind::Dbt3, false, false};
        case 4:
        case 0x8B:
            return {0x03, 0x8B, MemoKind::Dbt4, false, false};
        case 0xF5:
            return {0x03, 0xF5, MemoKind::Fpt, true, false};
        case 0x30:
            return {0x30, 0x30, MemoKind::Fpt, true, true};
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
    const bool dbase4 = v.memo == MemoKind::Dbt4;
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
            sized('N', 6);
            break;
        case FieldType::Long:
        case FieldType::AutoInc:
            if (v.visualFoxPro) {
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
            if (!v.visualFoxPro)
                unsupported(in, "only Visual FoxPro tables hold date and time.");
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
    VersionChoice v = chooseVersion(layout.version);
    const std::string codePage = layout.codePage.empty() ? "CP1252" : layout.codePage;
    CodePage cp(codePage);

    DbfHeader h;
    h.visualFoxPro = v.visualFoxPro;
    std::set<std::string> names;
    for (const Field& in : layout.fields) {
        std::string raw = cp.fromUtf8(in.name);
        if (raw.empty() || raw.size() > 10) {
            throw EngineError("Field name \"" + in.name + "\" must have 1 to 10 characters.");
        }
        if (!names.insert(asciiLower(raw)).second) {
            throw EngineError("Field name \"" + in.name + "\" is used twice.");
        }
        h.fields.push_back(describe(in, v));
    }
    bool memo = h.hasMemoFields();
    h.version = memo ? v.withMemo : v.plain;
    h.memo = memo ? v.memo : MemoKind::None;
    if (v.visualFoxPro && memo)
        h.tableFlags = 0x02;
    h.languageDriver = driverOfCodePage(codePageNumber(codePage), v.foxPro);
    std::vector<std::uint8_t> bytes = buildHeader(h, codePage);
    bytes.push_back(0x1A);

    if (memo) {
        auto memoPath = companionPath(file, v.memo == MemoKind::Fpt ? ".fpt" : ".dbt");
        writeNewFile(memoPath, MemoFile::emptyFile(v.memo, file.stem().string()));
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
