// libFuzzer target for the Paradox reader. An input is a table file, optionally followed by its
// blob file: [u32 LE length of the .db part][.db bytes][.mb bytes]; inputs too short for the
// length prefix are a .db file alone. Every value of every record is read, then a key range.
// Malformed files must end in EngineError, never in a crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "dbengine/storage/table.h"

namespace {

std::filesystem::path scratch() {
    static std::filesystem::path dir = [] {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "fuzz-paradox-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(tmpl.data()));
    }();
    return dir;
}

void writeFile(const std::filesystem::path& p, const std::uint8_t* data, std::size_t n) {
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (!f)
        return;
    if (n)
        std::fwrite(data, 1, n, f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orn::db;
    const auto db = scratch() / "t.db";
    const auto mb = scratch() / "t.mb";
    std::size_t dbLen = size;
    const std::uint8_t* dbData = data;
    std::filesystem::remove(mb);
    if (size >= 4) {
        std::uint32_t n = std::uint32_t(data[0]) | (std::uint32_t(data[1]) << 8) |
                          (std::uint32_t(data[2]) << 16) | (std::uint32_t(data[3]) << 24);
        if (n <= size - 4) {
            dbData = data + 4;
            dbLen = n;
            writeFile(mb, data + 4 + n, size - 4 - n);
        }
    }
    writeFile(db, dbData, dbLen);
    try {
        auto t = Table::open(db, OpenMode::ReadOnly);
        std::size_t fields = t->fields().size();
        std::uint64_t seen = 0;
        RecordId firstId = 0;
        for (auto c = t->scan(); c->next() && seen < 100000; ++seen) {
            if (seen == 0)
                firstId = c->id();
            for (std::size_t i = 0; i < fields; ++i) {
                try {
                    c->value(i);
                } catch (const EngineError&) {
                }
            }
        }
        if (seen)
            t->read(firstId);
        if (t->keyFieldCount() > 0) {
            Record low(1), high;
            for (auto c = t->range(low, true, high, true); c->next();) {
            }
        }
    } catch (const EngineError&) {
    }
    return 0;
}
