// Appending records one by one through a live query, each posted on its own. The time per
// record should stay flat as the number of records appended in one session grows. The table
// lives in $ORN_BENCH_DIR, else in /dev/shm when there is one (so the file system's syncs do
// not hide the dataset's own work), else in the temp directory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dbengine/dataset/query.h"
#include "dbengine/storage/table.h"

namespace {
namespace fs = std::filesystem;
using namespace orn::db;

fs::path appendDir() {
    const char* env = std::getenv("ORN_BENCH_DIR");
    const fs::path base = env                            ? fs::path(env)
                          : fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                                         : fs::temp_directory_path();
    fs::path dir = base / ("orn_bench_append_" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir;
}

void BM_AppendThroughQuery(benchmark::State& state) {
    const fs::path dir = appendDir();
    const int records = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        TableCreate layout;
        layout.fields = {makeField("ID", FieldType::Long), makeField("NAME", FieldType::Alpha, 20),
                         makeField("SCORE", FieldType::Number, 12, 2)};
        Table::create(dir / "added.dbf", TableFormat::DBase, layout);
        Query query(dir, true);
        query.setSql("select * from added");
        query.open();
        state.ResumeTiming();
        for (int i = 1; i <= records; ++i) {
            query.append();
            query.field(0).setValue(std::int64_t{i});
            query.field(1).setAsString("name" + std::to_string(i));
            query.field(2).setValue(i / 4.0);
            query.post();
        }
        if (query.recordCount() != records || query.recNo() != records) {
            state.SkipWithError("the appended records are not all there");
        }
    }
    // seconds per appended record ("u" = microseconds)
    state.counters["per_record"] =
        benchmark::Counter(static_cast<double>(records) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

BENCHMARK(BM_AppendThroughQuery)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
