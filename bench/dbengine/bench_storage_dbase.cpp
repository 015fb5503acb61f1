// dBASE storage speed: scan and append of 1,000,000 records of mixed fields, and the same scan
// through shapelib's DBF reader for comparison.
#include <benchmark/benchmark.h>
#include <shapefil.h>
#include <unistd.h>

#include <filesystem>

#include "dbengine/storage/calendar.h"
#include "dbengine/storage/table.h"

namespace orn::db {
namespace {

constexpr std::int64_t kRecords = 1'000'000;

TableCreate mixedLayout() {
    TableCreate layout;
    layout.fields = {
        makeField("ID", FieldType::Number, 10),        makeField("NAME", FieldType::Alpha, 30),
        makeField("AMOUNT", FieldType::Number, 12, 2), makeField("DAY", FieldType::Date),
        makeField("PAID", FieldType::Logical),         makeField("CODE", FieldType::Alpha, 8)};
    return layout;
}

Record mixedRecord(std::int64_t i) {
    return {i,
            "customer " + std::to_string(i % 100000),
            static_cast<double>(i % 100000) / 100,
            Date{dayNumber(2000, 1, 1) + static_cast<std::int32_t>(i % 9000)},
            i % 3 == 0,
            std::string(i % 7 == 0 ? "" : "X-") + std::to_string(i % 997)};
}

std::filesystem::path benchDir() {
    static const std::filesystem::path dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "orn-bench-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(tmpl.data()));
    }();
    return dir;
}

void writeTable(const std::filesystem::path& file) {
    auto t = Table::create(file, TableFormat::DBase, mixedLayout());
    t->begin();
    for (std::int64_t i = 0; i < kRecords; ++i)
        t->insert(mixedRecord(i));
    t->commit();
}

const std::filesystem::path& scanTable() {
    static const std::filesystem::path file = [] {
        auto f = benchDir() / "scan.dbf";
        writeTable(f);
        return f;
    }();
    return file;
}

void BM_DBaseAppend1M(benchmark::State& state) {
    auto file = benchDir() / "append.dbf";
    for (auto _ : state)
        writeTable(file);
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(file)));
    Table::drop(file);
}
BENCHMARK(BM_DBaseAppend1M)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_DBaseScan1M(benchmark::State& state) {
    const auto& file = scanTable();
    for (auto _ : state) {
        auto t = Table::open(file, OpenMode::ReadOnly);
        auto c = t->scan();
        std::int64_t rows = 0;
        while (c->next()) {
            for (std::size_t i = 0; i < t->fields().size(); ++i) {
                benchmark::DoNotOptimize(c->value(i));
            }
            ++rows;
        }
        if (rows != kRecords)
            state.SkipWithError("wrong record count");
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(file)));
}
BENCHMARK(BM_DBaseScan1M)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same table and fields read through shapelib, for comparison.
void BM_DBaseScan1MShapelib(benchmark::State& state) {
    const auto& file = scanTable();
    for (auto _ : state) {
        DBFHandle h = DBFOpen(file.c_str(), "rb");
        int records = DBFGetRecordCount(h);
        for (int r = 0; r < records; ++r) {
            benchmark::DoNotOptimize(DBFReadDoubleAttribute(h, r, 0));
            benchmark::DoNotOptimize(DBFReadStringAttribute(h, r, 1));
            benchmark::DoNotOptimize(DBFReadDoubleAttribute(h, r, 2));
            benchmark::DoNotOptimize(DBFReadStringAttribute(h, r, 3));
            benchmark::DoNotOptimize(DBFReadLogicalAttribute(h, r, 4));
            benchmark::DoNotOptimize(DBFReadStringAttribute(h, r, 5));
        }
        DBFClose(h);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(file)));
}
BENCHMARK(BM_DBaseScan1MShapelib)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace orn::db
