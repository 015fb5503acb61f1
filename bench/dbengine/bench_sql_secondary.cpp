// Lookups through Paradox secondary indexes: a keyed table of 1,000,000 records (ORN_BENCH_ROWS
// overrides) with two secondary indexes, made by CREATE INDEX, generated once into
// $ORN_BENCH_DIR (default: a folder under the temp directory) and reused by later runs.
// Goals: an equality on an indexed field under 1 ms, a range of 1,000 rows under 10 ms.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_sql_tables.h"
#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/storage/table.h"
#include "dbengine/vtab/sql_session.h"

namespace {
namespace fs = std::filesystem;
using namespace orn::db;

using orn::bench::benchDir;
using orn::bench::rowCount;

// indexed.db: Id (key), Code (a permutation of 0..rows-1, so every value once and the records
// of a range of codes spread over the whole table), Day, Amount, Name; indexes on (Code,
// Amount) and (Day, Amount).
const fs::path& table() {
    static const fs::path file = [] {
        const fs::path dir = benchDir();
        const fs::path file = dir / "indexed.db";
        const long rows = rowCount();
        const fs::path stamp = dir / "indexed.txt";
        std::ifstream in(stamp);
        long have = 0;
        if (in >> have && have == rows && fs::exists(file)) {
            return file;
        }
        const auto start = std::chrono::steady_clock::now();
        TableCreate layout;
        layout.fields = {makeField("Id", FieldType::Long), makeField("Code", FieldType::Long),
                         makeField("Day", FieldType::Date), makeField("Amount", FieldType::Number),
                         makeField("Name", FieldType::Alpha, 12)};
        layout.keyFields = 1;
        {
            auto t = Table::create(file, TableFormat::Paradox, layout);
            t->begin();
            for (long i = 0; i < rows; ++i) {
                t->insert({std::int64_t{i}, std::int64_t{(i * 7919) % rows},
                           Date{std::int32_t(730000 + i % 3000)}, double(i % 977) / 4,
                           "n" + std::to_string(i)});
                commitCopyBatch(*t, std::uint64_t(i + 1));
            }
            t->commit();
        }
        createSecondaryIndex(file, "ByCode", {"Code", "Amount"}, false, {false, false});
        createSecondaryIndex(file, "ByDay", {"Day", "Amount"}, false, {false, false});
        std::ofstream(stamp) << rows;
        std::fprintf(
            stderr, "generated %ld indexed rows in %.1f s\n", rows,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        return file;
    }();
    return file;
}

// One statement, its arguments bound anew for each run: rows read and a checksum of them.
void runBound(benchmark::State& state, const std::string& sql, long span) {
    SqlSession s(table().parent_path());
    auto st = s.prepare(sql);
    const long rows = rowCount();
    std::int64_t at = 12345;
    std::int64_t got = 0;
    for (auto _ : state) {
        at = (at * 1103515245 + 12345) % (rows - span);
        sqlite3_bind_int64(st->handle(), 1, at);
        if (span > 0) {
            sqlite3_bind_int64(st->handle(), 2, at + span - 1);
        }
        while (st->step()) {
            got += sqlite3_column_int64(st->handle(), 0);
        }
        st->reset();
    }
    benchmark::DoNotOptimize(got);
    state.SetItemsProcessed(state.iterations());
}

void BM_SecondaryEqualityParadox(benchmark::State& state) {
    runBound(state, "SELECT Id, Name, Amount FROM indexed WHERE Code = ?", 0);
}
void BM_SecondaryRange1000Paradox(benchmark::State& state) {
    runBound(state, "SELECT Id, Name, Amount FROM indexed WHERE Code BETWEEN ? AND ?", 1000);
}
// The same equality with the statement compiled for each lookup, as a query window runs it.
void BM_SecondaryEqualityPreparedEachTimeParadox(benchmark::State& state) {
    SqlSession s(table().parent_path());
    std::int64_t at = 777;
    std::int64_t got = 0;
    for (auto _ : state) {
        at = (at * 1103515245 + 12345) % rowCount();
        auto st = s.prepare("SELECT Id, Name FROM indexed WHERE Code = " + std::to_string(at));
        while (st->step()) {
            got += sqlite3_column_int64(st->handle(), 0);
        }
    }
    benchmark::DoNotOptimize(got);
}
// For scale: the equality answered by a scan (the index not offered: +Code).
void BM_SecondaryEqualityByScanParadox(benchmark::State& state) {
    runBound(state, "SELECT Id, Name, Amount FROM indexed WHERE +Code = ?", 0);
}

BENCHMARK(BM_SecondaryEqualityParadox)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SecondaryEqualityPreparedEachTimeParadox)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SecondaryRange1000Paradox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SecondaryEqualityByScanParadox)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
