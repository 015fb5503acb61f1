// Paradox storage speed: scanning and appending 1,000,000 records of mixed fields, with pxlib
// doing the same work in the same run for comparison. pxlib appends are slow enough that it
// writes fewer records; its time is scaled to 1,000,000 records (linear: pxlib writes each
// record at the end of its file).

#include <benchmark/benchmark.h>
#include <unistd.h>

extern "C" {
#include <paradox.h>
}

#include <cstring>
#include <filesystem>
#include <string>

#include "dbengine/storage/table.h"

namespace {

using namespace orn::db;
namespace fs = std::filesystem;

constexpr int kRecords = 1000000;
constexpr int kPxlibAppendRecords = 20000;

const fs::path& benchDir() {
    static fs::path dir = [] {
        std::string tmpl = (fs::temp_directory_path() / "bench-paradox-XXXXXX").string();
        return fs::path(::mkdtemp(tmpl.data()));
    }();
    return dir;
}

struct Times {
    double scanOurs = 0, scanPxlib = 0, appendOurs = 0, appendKeyed = 0, appendPxlib = 0;
} times;

Field F(std::string name, FieldType t, int size = 0) {
    Field f;
    f.name = std::move(name);
    f.type = t;
    f.size = size;
    return f;
}

TableCreate mixedLayout(int keys) {
    TableCreate layout;
    layout.fields = {F("Id", FieldType::Long),        F("Name", FieldType::Alpha, 20),
                     F("Born", FieldType::Date),      F("Score", FieldType::Number),
                     F("Salary", FieldType::Money),   F("Level", FieldType::Short),
                     F("Active", FieldType::Logical), F("Changed", FieldType::Timestamp)};
    layout.keyFields = keys;
    return layout;
}

Record mixedRecord(int i) {
    return {std::int64_t(i),
            std::string("Name ") + std::to_string(i),
            Date{700000 + i % 30000},
            double(i) * 0.25,
            double(i % 100000) + 0.5,
            std::int64_t(i % 30000),
            i % 2 == 0,
            Timestamp{6.3e13 + double(i) * 1000.0}};
}

double appendOurs(const fs::path& file, int keys, benchmark::State& state) {
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        auto t = Table::create(file, TableFormat::Paradox, mixedLayout(keys));
        t->begin();
        for (int i = 0; i < kRecords; ++i)
            t->insert(mixedRecord(i));
        t->commit();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.counters["records/s"] = benchmark::Counter(kRecords / seconds);
    return seconds;
}

void BM_ParadoxAppendUnkeyed(benchmark::State& state) {
    times.appendOurs = appendOurs(benchDir() / "unkeyed.db", 0, state);
}

void BM_ParadoxAppendKeyed(benchmark::State& state) {
    times.appendKeyed = appendOurs(benchDir() / "keyed.db", 1, state);
    state.counters["keyed/unkeyed"] = times.appendKeyed / times.appendOurs;
}

void BM_ParadoxScan(benchmark::State& state) {
    const fs::path file = benchDir() / "unkeyed.db";
    const double bytes = double(fs::file_size(file));
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        auto t = Table::open(file, OpenMode::ReadOnly);
        std::size_t n = t->fields().size(), records = 0;
        for (auto c = t->scan(); c->next(); ++records)
            for (std::size_t i = 0; i < n; ++i)
                benchmark::DoNotOptimize(&c->value(i));
        if (records != std::size_t(kRecords))
            state.SkipWithError("wrong record count");
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
    times.scanOurs = seconds;
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetBytesProcessed(std::int64_t(state.iterations() * bytes));
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6 / seconds);
}

void quiet(pxdoc_t*, int, const char*, void*) {}

void BM_PxlibScan(benchmark::State& state) {
    const fs::path file = benchDir() / "unkeyed.db";
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        pxdoc_t* doc = PX_new2(quiet, nullptr, nullptr, nullptr);
        if (PX_open_file(doc, file.c_str()) < 0) {
            state.SkipWithError("pxlib cannot open the table");
            break;
        }
        int records = PX_get_num_records(doc), nf = PX_get_num_fields(doc);
        pxfield_t* fields = PX_get_fields(doc);
        std::vector<char> data(std::size_t(PX_get_recordsize(doc)));
        for (int r = 0; r < records; ++r) {
            PX_get_record(doc, r, data.data());
            char* p = data.data();
            for (int i = 0; i < nf; ++i) {
                long l;
                short s;
                double d;
                char c, *str = nullptr;
                switch (fields[i].px_ftype) {
                    case pxfAlpha:
                        if (PX_get_data_alpha(doc, p, fields[i].px_flen, &str) > 0 && str)
                            doc->free(doc, str);
                        break;
                    case pxfShort:
                        PX_get_data_short(doc, p, 2, &s);
                        break;
                    case pxfLogical:
                        PX_get_data_byte(doc, p, 1, &c);
                        break;
                    case pxfLong:
                    case pxfDate:
                        PX_get_data_long(doc, p, 4, &l);
                        break;
                    default:
                        PX_get_data_double(doc, p, 8, &d);
                        break;
                }
                p += fields[i].px_flen;
            }
        }
        PX_close(doc);
        PX_delete(doc);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
    times.scanPxlib = seconds;
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_PxlibAppendScaled(benchmark::State& state) {
    const fs::path file = benchDir() / "pxlib.db";
    double seconds = 0;
    for (auto _ : state) {
        fs::remove(file);
        auto start = std::chrono::steady_clock::now();
        pxdoc_t* doc = PX_new2(quiet, nullptr, nullptr, nullptr);
        pxfield_t* f = static_cast<pxfield_t*>(doc->malloc(doc, 8 * sizeof(pxfield_t), "fields"));
        const char* names[] = {"Id",     "Name",  "Born",   "Score",
                               "Salary", "Level", "Active", "Changed"};
        const char types[] = {pxfLong,     pxfAlpha, pxfDate,    pxfNumber,
                              pxfCurrency, pxfShort, pxfLogical, pxfTimestamp};
        const int lens[] = {4, 20, 4, 8, 8, 2, 1, 8};
        for (int i = 0; i < 8; ++i) {
            f[i].px_fname = static_cast<char*>(doc->malloc(doc, 16, "name"));
            std::strcpy(f[i].px_fname, names[i]);
            f[i].px_ftype = types[i];
            f[i].px_flen = lens[i];
            f[i].px_fdc = 0;
        }
        if (PX_create_file(doc, f, 8, file.c_str(), pxfFileTypNonIndexDB) < 0) {
            state.SkipWithError("pxlib cannot create a table");
            break;
        }
        char rec[55];
        for (int i = 0; i < kPxlibAppendRecords; ++i) {
            Record r = mixedRecord(i);
            std::string name = std::get<std::string>(r[1]);
            PX_put_data_long(doc, rec, 4, i);
            PX_put_data_alpha(doc, rec + 4, 20, name.data());
            PX_put_data_long(doc, rec + 24, 4, std::get<Date>(r[2]).day);
            PX_put_data_double(doc, rec + 28, 8, std::get<double>(r[3]));
            PX_put_data_double(doc, rec + 36, 8, std::get<double>(r[4]));
            PX_put_data_short(doc, rec + 44, 2, short(i % 30000));
            PX_put_data_byte(doc, rec + 46, 1, char(i % 2 == 0));
            PX_put_data_double(doc, rec + 47, 8, std::get<Timestamp>(r[7]).ms);
            PX_put_record(doc, rec);
        }
        PX_close(doc);
        PX_delete(doc);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
    times.appendPxlib = seconds * (double(kRecords) / kPxlibAppendRecords);
    state.counters["records"] = kPxlibAppendRecords;
    state.counters["s per 1M (scaled)"] = times.appendPxlib;
}

void BM_Ratios(benchmark::State& state) {
    for (auto _ : state) {
    }
    state.counters["scan: pxlib/ours"] = times.scanPxlib / times.scanOurs;
    state.counters["append: pxlib(scaled)/ours"] = times.appendPxlib / times.appendOurs;
    state.counters["keyed/unkeyed append"] = times.appendKeyed / times.appendOurs;
    std::error_code ec;
    fs::remove_all(benchDir(), ec);
}

}  // namespace

BENCHMARK(BM_ParadoxAppendUnkeyed)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParadoxAppendKeyed)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParadoxScan)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PxlibScan)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PxlibAppendScaled)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratios)->Iterations(1);
