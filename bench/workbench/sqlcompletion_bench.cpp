// The names offered while a statement is written, in a 2,000-line statement (the query window
// asks again at every key while its list shows): the first ask, which reads the directory and
// the table, and the asks after it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "dbengine/storage/table.h"
#include "workbench/sqlcompletion.h"

namespace {

namespace fs = std::filesystem;

struct Data {
    fs::path dir = fs::temp_directory_path() / ("orn_bench_completion_" + std::to_string(getpid()));
    std::string statement;
    std::size_t cursor = 0;
    Data() {
        fs::create_directories(dir);
        orn::db::TableCreate layout;
        for (int f = 0; f < 40; ++f) {
            layout.fields.push_back(
                orn::db::makeField("FIELD" + std::to_string(f), orn::db::FieldType::Long));
        }
        orn::db::Table::create(dir / "big.db", orn::db::TableFormat::Paradox, layout);
        for (int t = 0; t < 200; ++t) {
            orn::db::Table::create(dir / ("t" + std::to_string(t) + ".db"),
                                   orn::db::TableFormat::Paradox, layout);
        }
        for (int i = 0; i < 2000; ++i) {
            statement += "select b.FIELD1, FIELD2, 'text " + std::to_string(i) +
                         "' as T from big b where FIELD3 = " + std::to_string(i) + " -- line\n";
        }
        cursor = statement.find("b.FIELD1", statement.size() / 2) + 2;
    }
    ~Data() { fs::remove_all(dir); }
    static Data& Get() {
        static Data data;
        return data;
    }
};

void BM_CompleteLongStatement(benchmark::State& state) {
    Data& data = Data::Get();
    orn::TSqlCompletion completion;
    completion.Complete(data.dir.string(), data.statement, data.cursor);
    std::size_t offered = 0;
    for (auto _ : state) {
        offered = completion.Complete(data.dir.string(), data.statement, data.cursor).words.size();
    }
    state.counters["names"] = static_cast<double>(offered);
}
BENCHMARK(BM_CompleteLongStatement)->Unit(benchmark::kMillisecond);

void BM_CompleteFirstAsk(benchmark::State& state) {
    Data& data = Data::Get();
    for (auto _ : state) {
        orn::TSqlCompletion completion;
        benchmark::DoNotOptimize(completion.Complete(data.dir.string(), "select * from t1", 16));
    }
}
BENCHMARK(BM_CompleteFirstAsk)->Unit(benchmark::kMillisecond);

}  // namespace
