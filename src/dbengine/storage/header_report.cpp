#include "dbengine/storage/header_report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/dbase_header.h"
#include "dbengine/storage/formats.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/posix_file.h"
#include "dbengine/storage/table.h"

namespace orn::db {

namespace {

std::vector<std::uint8_t> readHead(const std::filesystem::path& p, std::size_t max) {
    PosixFile f(p, PosixFile::Access::Read);
    std::vector<std::uint8_t> b(static_cast<std::size_t>(std::min<std::uint64_t>(f.size(), max)));
    b.resize(f.readAt(0, b.data(), b.size()));
    return b;
}

std::string hex(std::uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
    return buf;
}

std::string hexBytes(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to) {
    std::string out;
    char buf[4];
    for (std::size_t i = from; i < to && i < b.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", b[i]);
        out += (out.empty() ? "" : " ") + std::string(buf);
    }
    return out;
}

class Report {
  public:
    Report(std::ostream& out, std::string section) : out_(out), section_(std::move(section)) {}
    void line(const std::string& name, const std::string& value) {
        out_ << section_ << '\t' << name << '\t' << value << '\n';
    }
    void u16(const std::vector<std::uint8_t>& b, std::size_t at, const std::string& name) {
        if (at + 2 <= b.size())
            line(name, std::to_string(paradox::le16(b.data() + at)));
    }
    void u8(const std::vector<std::uint8_t>& b, std::size_t at, const std::string& name) {
        if (at < b.size())
            line(name, std::to_string(b[at]));
    }
    void u32(const std::vector<std::uint8_t>& b, std::size_t at, const std::string& name) {
        if (at + 4 <= b.size())
            line(name, std::to_string(paradox::le32(b.data() + at)));
    }

  private:
    std::ostream& out_;
    std::string section_;
};

std::string dosTime(std::uint32_t v) {
    if (v == 0)
        return "0";
    const unsigned date = v >> 16, time = v & 0xFFFF;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u (%s)", 1980 + (date >> 9),
                  (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2,
                  hex(v, 8).c_str());
    return buf;
}

// Header words common to .db, .px and secondary index files.
void paradoxCommon(Report& r, const std::vector<std::uint8_t>& b) {
    r.u16(b, 0x00, "recordSize");
    r.u16(b, 0x02, "headerSize");
    r.u8(b, 0x04, "fileType");
    r.u8(b, 0x05, "blockSizeKiB");
    r.u32(b, 0x06, "numRecords");
    r.u16(b, 0x0A, "nextBlock");
    r.u16(b, 0x0C, "fileBlocks");
    r.u16(b, 0x0E, "firstBlock");
    r.u16(b, 0x10, "lastBlock");
    r.u16(b, 0x12, "counter12");
    r.u8(b, 0x14, "modifiedFlags1");
    r.u8(b, 0x15, "indexFieldNumber");
    r.u16(b, 0x1E, "indexRoot");
    r.u8(b, 0x20, "indexLevels");
    r.u16(b, 0x21, "numFields");
    r.u16(b, 0x23, "keyFields");
    if (b.size() > 0x29)
        r.line("sortOrder", hex(b[0x29], 2));
    r.u8(b, 0x2A, "modifiedFlags2");
    r.u8(b, 0x2C, "counter2C");
    r.u8(b, 0x2D, "changeCount1");
    r.u8(b, 0x2E, "changeCount2");
    r.u8(b, 0x38, "writeProtected");
    r.u8(b, 0x39, "fileVersionId");
    r.u16(b, 0x3A, "maxBlocks");
    if (b.size() >= 0x40)
        r.line("bytes3C", hexBytes(b, 0x3C, 0x40));
    r.u32(b, 0x49, "autoInc");
    r.u16(b, 0x4D, "firstFreeBlock");
    r.u8(b, 0x4F, "indexUpdateRequired");
    r.u16(b, 0x51, "realHeaderSize");
    r.u8(b, 0x55, "refIntegrity");
    r.u8(b, 0x56, "byte56");
}

void paradoxTable(std::ostream& out, const std::filesystem::path& file) {
    const auto b = readHead(file, 0x10000);
    Report r(out, file.filename().string());
    paradoxCommon(r, b);
    if (b.size() >= 0x78 && b[0x39] >= 5) {
        r.u16(b, 0x58, "fileVerId3");
        r.u32(b, 0x5C, "encryption2");
        if (b.size() >= 0x64)
            r.line("fileUpdateTime", dosTime(paradox::le32(b.data() + 0x60)));
        r.u16(b, 0x64, "hiFieldId");
        r.u16(b, 0x66, "hiFieldIdInfo");
        r.u16(b, 0x6A, "codePage");
        r.line("bytes6C", hexBytes(b, 0x6C, 0x78));
    }
    r.line("tableName", paradox::headerTableName(b));
    try {
        const auto h = paradox::parseHeader(b.data(), b.size(), file.string());
        std::string fields;
        for (const auto& f : h.fields)
            fields += (fields.empty() ? "" : " ") + std::string(1, paradox::typeLetter(f.code)) +
                      std::to_string(f.size);
        r.line("fields", fields);
        std::uint16_t hi = 0;
        std::string ids;
        for (auto id : paradox::parseFieldIds(b.data(), b.size(), hi))
            ids += (ids.empty() ? "" : " ") + std::to_string(id);
        if (!ids.empty())
            r.line("fieldIds", ids);
        if (h.v4Layout())
            r.line("sortOrderName", h.sortOrderName);
    } catch (const EngineError& e) {
        r.line("fields", std::string("unreadable: ") + e.what());
    }
    for (const auto& c : paradox::companionFiles(file)) {
        const std::string ext = asciiLower(c.extension().string());
        PosixFile f(c, PosixFile::Access::Read);
        Report cr(out, c.filename().string());
        cr.line("size", std::to_string(f.size()));
        if (ext == ".mb") {
            const auto m = readHead(c, 4096);
            cr.u16(m, 0x03, "modificationCount");
            std::string freeList;
            for (std::size_t at = 0x38; at + 6 <= m.size() && m[at] != 0; at += 6)
                freeList += (freeList.empty() ? "" : ", ") + std::to_string(m[at]) + ":" +
                            hex(paradox::le32(m.data() + at + 1) & 0xFFFFFF, 6) + "/" +
                            std::to_string(paradox::le16(m.data() + at + 4));
            cr.line("freeSpace", freeList.empty() ? "-" : freeList);
        } else if (ext == ".px" || paradox::isSecondaryIndexExtension(ext)) {
            const auto x = readHead(c, 0x800);
            paradoxCommon(cr, x);
            if (ext == ".px")
                cr.line("tableName", paradox::headerTableName(x));
        }
    }
}

void dbaseTable(std::ostream& out, const std::filesystem::path& file) {
    const auto b = readHead(file, 0x10000);
    Report r(out, file.filename().string());
    if (b.size() < 32) {
        r.line("header", "shorter than 32 bytes");
        return;
    }
    r.line("version", hex(b[0], 2));
    r.line("updated",
           std::to_string(b[1]) + "-" + std::to_string(b[2]) + "-" + std::to_string(b[3]));
    r.u32(b, 4, "records");
    r.u16(b, 8, "headerLength");
    r.u16(b, 10, "recordLength");
    r.line("tableFlags", hex(b[28], 2));
    r.line("languageDriver", hex(b[29], 2));
    const bool level7 = b[0] == 0x04 || b[0] == 0x8C;
    if (level7 && b.size() >= 0x44) {
        const char* name = reinterpret_cast<const char*>(b.data() + 0x20);
        r.line("driverName", std::string(name, strnlen(name, 32)));
    }
    const std::size_t first = level7 ? 68 : 32, step = level7 ? 48 : 32;
    const std::size_t end = std::min<std::size_t>(b.size(), paradox::le16(b.data() + 8));
    for (std::size_t at = first; at + step <= end && b[at] != 0x0D; at += step) {
        const char* name = reinterpret_cast<const char*>(b.data() + at);
        const std::string n = "field " + std::string(name, strnlen(name, level7 ? 32 : 11));
        const std::uint8_t* e = b.data() + at;
        if (level7) {
            r.line(n, std::string(1, char(e[32])) + " " + std::to_string(e[33]) + "." +
                          std::to_string(e[34]) + " mdx " + std::to_string(e[0x25]) + " next " +
                          std::to_string(paradox::le32(e + 0x2A)));
            r.line(n + " reserved", hexBytes(b, at + 0x23, at + 0x25) + " " +
                                        hexBytes(b, at + 0x26, at + 0x2A) + " " +
                                        hexBytes(b, at + 0x2E, at + 0x30));
        } else {
            std::string text = std::string(1, char(e[11])) + " " + std::to_string(e[16]) + "." +
                               std::to_string(e[17]) + " flags " + hex(e[18], 2) + " mdx " +
                               std::to_string(e[31]);
            if ((e[18] & 0x0C) == 0x0C)
                text += " next " + std::to_string(paradox::le32(e + 19)) + " step " +
                        std::to_string(e[23]);
            r.line(n, text);
            r.line(n + " place", std::to_string(paradox::le32(e + 12)));
            r.line(n + " reserved", hexBytes(b, at + 20, at + 31));
        }
    }
    for (const auto& c : dbase::companionFiles(file)) {
        const std::string ext = asciiLower(c.extension().string());
        const auto m = readHead(c, 512);
        Report cr(out, c.filename().string());
        cr.line("size", std::to_string(PosixFile(c, PosixFile::Access::Read).size()));
        if (ext == ".fpt" && m.size() >= 8) {
            cr.line("nextFree",
                    std::to_string(std::uint32_t(m[0]) << 24 | m[1] << 16 | m[2] << 8 | m[3]));
            cr.line("blockSize", std::to_string(m[6] << 8 | m[7]));
        } else if (ext == ".dbt" && m.size() >= 24) {
            cr.u32(m, 0, "nextFree");
            const char* name = reinterpret_cast<const char*>(m.data() + 8);
            cr.line("tableName", std::string(name, strnlen(name, 8)));
            cr.line("bytes16", hexBytes(m, 16, 20));
            cr.u16(m, 20, "blockSize");
        }
    }
}

}  // namespace

int runHeaderReport(const std::filesystem::path& file, std::ostream& out, std::ostream& err) {
    try {
        if (Table::formatOf(file) == TableFormat::Paradox)
            paradoxTable(out, file);
        else
            dbaseTable(out, file);
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        out.flush();
        err << e.what() << '\n';
        return 1;
    }
}

}  // namespace orn::db
