// libFuzzer target for the dBASE reader (and the write paths on whatever it accepted).
// Input: a 2-byte little-endian length n, then n bytes of .dbf, then the memo file (used as
// both .dbt and .fpt).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"

namespace {

const std::filesystem::path& workDir() {
    static const std::filesystem::path dir = [] {
        // Memory-backed when possible: the target rewrites three files per input.
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string tmpl = (base / "fuzz-dbase-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(tmpl.data()));
    }();
    return dir;
}

void put(const std::filesystem::path& p, const std::uint8_t* data, std::size_t len) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(len));
}

void exercise(orn::db::Table& t) {
    auto cursor = t.scan();
    orn::db::Record first;
    while (cursor->next()) {
        orn::db::Record r;
        for (std::size_t i = 0; i < t.fields().size(); ++i) {
            try {
                r.push_back(cursor->value(i));
                (void)orn::db::valueText(r.back());
            } catch (const orn::db::EngineError&) {
                r.emplace_back();  // a broken memo is reported, not fatal
            }
        }
        if (first.empty())
            first = r;
    }
    (void)t.recordCount();
    if (first.empty())
        return;
    t.begin();
    try {
        t.insert(first);
        t.update(1, first);
        t.remove(1);
        t.insert(orn::db::Record(t.fields().size()));
    } catch (const orn::db::EngineError&) {
    }
    t.rollback();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    std::size_t n = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const auto& dir = workDir();
    put(dir / "t.dbf", data + 2, n);
    put(dir / "t.dbt", data + 2 + n, size - 2 - n);
    put(dir / "t.fpt", data + 2 + n, size - 2 - n);
    std::filesystem::remove(dir / "t.dbf.orn-journal");
    try {
        auto t = orn::db::Table::open(dir / "t.dbf", orn::db::OpenMode::Shared);
        exercise(*t);
    } catch (const orn::db::EngineError&) {
    }
    return 0;
}
