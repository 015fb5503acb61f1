// Opening a small keyed table, alone in its directory and among 1,000 other files. Opening
// finishes interrupted swaps and clears what killed writers left beside the table, which reads
// the whole directory; it does so only when files came or went since, so the busy directory
// should cost no more than the empty one.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "dbengine/storage/table.h"

namespace {

using namespace orn::db;
namespace fs = std::filesystem;

void BM_OpenKeyedTable(benchmark::State& state) {
    std::string tmpl = (fs::temp_directory_path() / "bench-open-XXXXXX").string();
    const fs::path dir = ::mkdtemp(tmpl.data());
    TableCreate layout;
    Field id;
    id.name = "Id";
    id.type = FieldType::Long;
    layout.fields = {id};
    layout.keyFields = 1;
    Table::create(dir / "t.db", TableFormat::Paradox, layout)->insert({std::int64_t{1}});
    for (int i = 0; i < state.range(0); ++i)
        std::ofstream(dir / ("other" + std::to_string(i) + ".db")) << "x";
    for (auto _ : state) {
        auto table = Table::open(dir / "t.db", OpenMode::Shared);
        benchmark::DoNotOptimize(table->recordCount());
    }
    fs::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_OpenKeyedTable)->Arg(0)->Arg(1000)->Unit(benchmark::kMicrosecond);
