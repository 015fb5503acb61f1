#include "dbengine/storage/paradox_create.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <set>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/companion.h"
#include "dbengine/storage/formats.h"
#include "dbengine/storage/paradox_blob.h"
#include "dbengine/storage/paradox_index.h"
#include "dbengine/storage/posix_file.h"
#include "text/safefile.h"

namespace orn::db::paradox {

namespace {

[[noreturn]] void refuse(const std::string& label, const std::string& why) {
    throw EngineError("Cannot create " + label + ": " + why);
}

int minimumVersion(std::uint8_t code) {
    switch (code) {
        case kAlpha:
        case kNumber:
        case kMoney:
        case kShort:
        case kDate:
            return 3;
        case kMemo:
        case kBlob:
        case kFmtMemo:
        case kOle:
        case kGraphic:
            return 4;
        default:
            return 5;
    }
}

void writeWhole(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    PosixFile f(p, PosixFile::Access::CreateFresh);
    f.truncate(0);
    f.writeAt(0, bytes.data(), bytes.size());
    f.sync();
}

void removeIfThere(const std::filesystem::path& p) {
    if (::unlink(p.c_str()) != 0 && errno != ENOENT)
        throw EngineError("Cannot remove " + systemErrorText(p, errno));
}

bool alphaKey(const Header& h) {
    for (int i = 0; i < h.keyFields && std::size_t(i) < h.fields.size(); ++i)
        if (h.fields[std::size_t(i)].code == kAlpha)
            return true;
    return false;
}

// What a replacement keeps of the table it replaces: its block size (larger only when the new
// records do not fit), its sort order, the ids of the fields it continues and the bytes of its
// header that no layout decides. A header that cannot be read carries nothing.
void carryOver(Header& h, const CarriedHeader& c, int version, const std::string& label) {
    Header old;
    try {
        old = parseHeader(c.header.data(), c.header.size(), label);
    } catch (const EngineError&) {
        return;
    }
    if (old.maxTableSize >= 1 && old.maxTableSize <= 32) {
        int size = old.maxTableSize;
        const int largest = version < 5 ? 4 : 32;
        while (h.recordSize + 6 > size * 1024 && size < largest)
            size = size < 4 ? size * 2 : size < 16 ? 16 : 32;
        if (h.recordSize + 6 <= size * 1024)
            h.maxTableSize = std::uint8_t(size);
    }
    // The order the keys are in stays. A table whose key gets its first Alpha field had no
    // record placed by its order: it is given the order new tables with such keys state.
    if (!alphaKey(h) || alphaKey(old)) {
        h.sortOrder = old.sortOrder;
        if (h.v4Layout() && old.v4Layout())
            h.sortOrderName = old.sortOrderName;
    }
    std::uint16_t hi = 0;
    const auto oldIds = parseFieldIds(c.header.data(), c.header.size(), hi);
    if (h.v4Layout() && !oldIds.empty()) {
        // Fields that continue an old one keep its id; new fields get ids never issued before.
        h.hiFieldId = hi;
        for (std::uint16_t id : oldIds)
            h.hiFieldId = std::max<std::uint16_t>(h.hiFieldId, std::uint16_t(id + 1));
        for (std::size_t i = 0; i < h.fields.size(); ++i) {
            const int src = i < c.fieldSources.size() ? c.fieldSources[i] : -1;
            if (src >= 0 && std::size_t(src) < oldIds.size())
                h.fieldIds.push_back(oldIds[std::size_t(src)]);
            else
                h.fieldIds.push_back(h.hiFieldId++);
        }
    }
    h.carried = c.header;
    h.carriedIndex = c.indexHeader;
}

// The sort order a new table states beside its code page: the one other programs write with
// that code page. Tables in code page 1252 are written with ANSII850 (0x11) by the programs in
// the files we have seen most often: in versions 4, 5 and 7 alike, ahead of DBWINWE0, ANSIINTL
// and DBWINUS0. Alpha keys are kept in byte order, which is the order "ascii" names; a table
// whose key holds an Alpha field therefore says "ascii", so that the order it states is the
// order its keys are in.
void chooseSortOrder(Header& h) {
    if (!h.v4Layout())
        return;
    h.sortOrder = 0;
    h.sortOrderName = "ascii";
    if (alphaKey(h))
        return;
    if (h.codePage == 1252) {
        h.sortOrder = 0x11;
        h.sortOrderName = "ANSII850";
    }
}

}  // namespace

Header layoutHeader(const TableCreate& layout, const std::string& label) {
    int version = layout.version == 0 ? 7 : layout.version;
    if (version != 3 && version != 4 && version != 5 && version != 7)
        refuse(label, "Paradox version " + std::to_string(version) + " is not one of 3, 4, 5, 7");
    if (layout.fields.empty() || layout.fields.size() > 255)
        refuse(label, "a table needs 1 to 255 fields");
    if (layout.keyFields < 0 || std::size_t(layout.keyFields) > layout.fields.size())
        refuse(label, "more key fields than fields");
    Header h;
    h.versionId = versionIdFor(version);
    h.keyFields = layout.keyFields;
    h.fileType = layout.keyFields > 0 ? KeyedDb : UnkeyedDb;
    std::string cpName =
        layout.codePage.empty() ? (version >= 4 ? "CP1252" : "CP437") : layout.codePage;
    CodePage cp(cpName);
    if (version >= 4) {
        h.hasCodePage = true;
        h.codePage = std::uint16_t(codePageNumber(cpName));
        h.sortOrderName = "ascii";
    }
    std::set<std::string> names;
    int offset = 0;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const Field& in = layout.fields[i];
        const std::string who = "field '" + in.name + "'";
        if (in.name.empty())
            refuse(label, "field " + std::to_string(i + 1) + " has no name");
        if (!names.insert(asciiLower(in.name)).second)
            refuse(label, who + " appears twice");
        FieldSpec f;
        f.name = cp.fromUtf8(in.name);
        if (f.name.size() > 25 || f.name.find('\0') != std::string::npos)
            refuse(label, who + ": names have at most 25 characters");
        f.code = codeOf(in.type);
        if (minimumVersion(f.code) > version)
            refuse(label, who + ": type " + typeName(in.type) + " needs Paradox " +
                              std::to_string(minimumVersion(f.code)) + " or later");
        int size = in.size;
        switch (f.code) {
            case kAlpha:
            case kBytes:
                if (size < 1 || size > 255)
                    refuse(label, who + ": size must be 1 to 255");
                break;
            case kMemo:
            case kFmtMemo:
                if (size == 0)
                    size = 20;
                [[fallthrough]];
            case kBlob:
            case kOle:
            case kGraphic:
                if (size == 0)
                    size = 10;
                if (size < 10 || size > 250)
                    refuse(label, who + ": blob size must be 10 to 250");
                break;
            case kBcd:
                if (in.decimals < 0 || in.decimals > 32)
                    refuse(label, who + ": 0 to 32 decimals");
                size = in.decimals;
                break;
            default:
                size = fieldWidth(f.code, 0) ? fieldWidth(f.code, 0) : 0;
                break;
        }
        if (f.code == kShort)
            size = 2;
        if (f.code == kLong || f.code == kDate || f.code == kTime || f.code == kAutoInc)
            size = 4;
        if (f.code == kNumber || f.code == kMoney || f.code == kTimestamp)
            size = 8;
        if (f.code == kLogical)
            size = 1;
        f.size = std::uint8_t(size);
        f.width = fieldWidth(f.code, f.size);
        if (int(i) < layout.keyFields && isBlobCode(f.code))
            refuse(label, who + ": a blob field cannot be part of the key");
        f.offset = offset;
        offset += f.width;
        h.fields.push_back(f);
    }
    if (offset > 0x7FFF)
        refuse(label, "records are longer than 32767 bytes");
    h.recordSize = std::uint16_t(offset);
    int keySize = 0;
    for (int i = 0; i < layout.keyFields; ++i)
        keySize += h.fields[std::size_t(i)].width;
    // A block holds at least one record, and an index block at least two keys.
    auto holds = [&](int block) {
        return offset + 6 <= block && (keySize == 0 || 2 * (keySize + 6) + 6 <= block);
    };
    const int want = layout.blockSize;
    if (want != 0) {
        if (!isParadoxBlockSize(want))
            refuse(label, "a Paradox block size is 1, 2, 4, 16 or 32 KiB, not " +
                              std::to_string(want) + " bytes");
        if (want > 4096 && version < 5)
            refuse(label,
                   "blocks of " + std::to_string(want / 1024) + " KiB need Paradox 5 or later");
        if (!holds(want))
            refuse(label,
                   "records of " + std::to_string(offset) + " bytes" +
                       (offset + 6 <= want ? " with a key of " + std::to_string(keySize) + " bytes"
                                           : std::string()) +
                       " do not fit in blocks of " + std::to_string(want / 1024) + " KiB");
        h.maxTableSize = std::uint8_t(want / 1024);
    } else if (const int preferred = defaultParadoxBlockSize();
               preferred != 0 && (preferred <= 4096 || version >= 5) && holds(preferred)) {
        h.maxTableSize = std::uint8_t(preferred / 1024);
    } else {
        h.maxTableSize = 4;
        if (!holds(4096)) {
            if (version < 5)
                refuse(label, "records are too long for Paradox " + std::to_string(version));
            h.maxTableSize = holds(16384) ? 16 : 32;
            if (!holds(32768))
                refuse(label, "the key is too long for an index block");
        }
    }
    h.headerSize = 0x800;
    chooseSortOrder(h);
    if (layout.carried && layout.carried->format == TableFormat::Paradox) {
        const std::uint8_t chosen = h.maxTableSize;
        carryOver(h, *layout.carried, version, label);
        if (layout.blockSize != 0)
            h.maxTableSize = chosen;  // a size asked for wins over the old one
    }
    return h;
}

}  // namespace orn::db::paradox

namespace orn::db {

namespace {
std::atomic<int> gDefaultBlockSize{0};
}  // namespace

void setDefaultParadoxBlockSize(int bytes) {
    gDefaultBlockSize = isParadoxBlockSize(bytes) ? bytes : 0;
}

int defaultParadoxBlockSize() {
    return gDefaultBlockSize;
}

int paradoxBlockSizeFor(const TableCreate& layout, std::uint64_t records) {
    TableCreate probe = layout;
    const int chosen = paradox::layoutHeader(probe, "").blockSize();
    int best = chosen;
    for (int size : kParadoxBlockSizes) {
        if (size < chosen)
            continue;
        if (size > 4096 && probe.version != 0 && probe.version < 5)
            break;
        probe.blockSize = size;
        const paradox::Header h = paradox::layoutHeader(probe, "");
        // Appends fill blocks; keyed inserts in random order leave them about three quarters full.
        std::uint64_t perBlock = std::uint64_t(h.recordsPerBlock());
        if (layout.keyFields > 0)
            perBlock = std::max<std::uint64_t>(1, perBlock * 3 / 4);
        best = size;
        if (perBlock * 0xFFFFu >= records)
            break;
    }
    return best;
}

}  // namespace orn::db

namespace orn::db::paradox {

void writeEmptyTableFiles(const Header& h, const std::filesystem::path& db,
                          const std::filesystem::path& px, const std::filesystem::path& mb,
                          const std::string& tableName) {
    bool blobs = false;
    for (const auto& f : h.fields)
        blobs = blobs || isBlobCode(f.code);
    const auto dbHeader = buildDbHeader(h, tableName);
    writeWhole(db, dbHeader);
    if (h.keyFields > 0) {
        // A replacement's index keeps the block size of the index it replaces while its
        // blocks hold the new key (two entries at least).
        Header shape = h;
        const auto& old = h.carriedIndex;
        int keySize = 0;
        for (int i = 0; i < h.keyFields; ++i)
            keySize += h.fields[std::size_t(i)].width;
        if (old.size() >= 0x58 && old[0x04] == PrimaryIndex && isParadoxBlockSize(old[5] * 1024) &&
            (old[5] <= 4 || h.v4Layout()) && old[5] * 1024 >= 2 * (keySize + 6) + 6)
            shape.maxTableSize = old[5];
        auto index = buildPrimaryIndex(shape, dbHeader, {});
        keepPxValues(index, old);
        writeWhole(px, index);
    }
    if (blobs)
        writeWhole(mb, newBlobFileHeader());
}

std::unique_ptr<Table> createTable(const std::filesystem::path& file, const TableCreate& layout) {
    Header h = layoutHeader(layout, file.string());
    for (const auto& c : companionFiles(file))
        removeIfThere(c);
    // Built under names of this process's own, then renamed into place.
    const std::filesystem::path dir = file.parent_path();
    const std::string own = TempFileName(file.filename().string());
    std::filesystem::path tmp = dir / (own + ".new");
    std::filesystem::path px = companionPath(file, ".px"), mb = companionPath(file, ".mb");
    std::filesystem::path pxTmp = dir / (own + ".px.new"), mbTmp = dir / (own + ".mb.new");
    try {
        writeEmptyTableFiles(
            h, tmp, pxTmp, mbTmp,
            layout.headerName.empty() ? file.filename().string() : layout.headerName);
        if (std::filesystem::exists(pxTmp))
            std::filesystem::rename(pxTmp, px);
        if (std::filesystem::exists(mbTmp))
            std::filesystem::rename(mbTmp, mb);
        std::filesystem::rename(tmp, file);
        syncDirectory(file.parent_path().empty() ? "." : file.parent_path());
    } catch (const std::filesystem::filesystem_error& e) {
        removeIfThere(tmp);
        removeIfThere(pxTmp);
        removeIfThere(mbTmp);
        throw EngineError("Cannot create " + file.string() + ": " + e.code().message());
    } catch (...) {
        removeIfThere(tmp);
        removeIfThere(pxTmp);
        removeIfThere(mbTmp);
        throw;
    }
    return openTable(file, OpenMode::Shared);
}

}  // namespace orn::db::paradox
