// Cost of keeping Paradox secondary indexes current: single-record writes, each its own commit,
// on keyed tables that carry composite secondary indexes. A commit edits the index entries of
// the records it changed, so its cost hardly grows with the table.
//  - BM_UpdateOneRecordWithSecondaryIndex: the corpus events table with its .XG0/.YG0, filled
//    with generated records (needs the corpus: $ORN_CORPUS_DIR).
//  - BM_WriteOneRecordWithTwoSecondaryIndexes: a generated table with a primary key and two
//    indexes made by CREATE INDEX: UPDATE of indexed fields, INSERT, DELETE.
//  - BM_CreateIndex beside BM_SortIndexKeyValues: CREATE INDEX on that table, and the sort in
//    memory of the key values it orders (the floor any way of making the index has to pay).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/storage/table.h"

namespace {

using namespace orn::db;
namespace fs = std::filesystem;

fs::path corpusEvents() {
    const char* env = std::getenv("ORN_CORPUS_DIR");
    return env ? fs::path(env) / "open/paradox/dbdemos" : fs::path();
}

// A copy of events with `rows` generated records, made once per size.
fs::path eventsWith(int rows) {
    std::string tmpl = (fs::temp_directory_path() / "bench-secondary-XXXXXX").string();
    const fs::path dir = ::mkdtemp(tmpl.data());
    for (const char* ext : {".db", ".px", ".mb", ".xg0", ".yg0"}) {
        const fs::path to = dir / (std::string("events") + ext);
        fs::copy_file(corpusEvents() / (std::string("events") + ext), to);
        fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
    }
    auto t = Table::open(dir / "events.db", OpenMode::Shared);
    std::vector<RecordId> ids;
    for (auto c = t->scan(); c->next();)
        ids.push_back(c->id());
    t->begin();
    for (RecordId id : ids)
        t->remove(id);
    for (int i = 0; i < rows; ++i) {
        Record r(t->fields().size());
        r[0] = std::int64_t(i + 1);
        r[2] = std::string("Event ") + std::to_string(i);
        r[3] = Date{std::int32_t(730000 + (i * 7919) % 3000)};
        r[4] = TimeOfDay{std::int32_t((i * 104729) % 86400) * 1000};
        t->insert(r);
    }
    t->commit();
    return dir;
}

void BM_UpdateOneRecordWithSecondaryIndex(benchmark::State& state) {
    if (corpusEvents().empty() || !fs::exists(corpusEvents() / "events.xg0")) {
        state.SkipWithError("set ORN_CORPUS_DIR to the corpus folder");
        return;
    }
    const int rows = int(state.range(0));
    const fs::path dir = eventsWith(rows);
    {
        auto t = Table::open(dir / "events.db", OpenMode::Shared);
        auto c = t->scan();
        c->next();
        const RecordId id = c->id();
        Record r = t->read(id);
        int n = 0;
        for (auto _ : state) {
            r[4] = TimeOfDay{(n++ % 86400) * 1000};
            t->update(id, r);  // its own commit
        }
    }
    state.SetItemsProcessed(state.iterations());
    fs::remove_all(dir);
}
BENCHMARK(BM_UpdateOneRecordWithSecondaryIndex)
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

// Record i of the generated tables: even keys (odd ones are free for inserts in between), the
// indexed values spread over the key range.
Record generated(std::int64_t i) {
    return {i * 2, Date{std::int32_t(730000 + (i * 7919) % 3000)},
            double((i * 104729) % 100000) / 100, std::int64_t(i % 50),
            std::string("Name ") + std::to_string(i)};
}

// A keyed table of `rows` generated records with the indexes ByDay (Day, Qty) and ByAmount
// (Amount, Day) (or none), made once per size and removed when the process ends.
struct GeneratedTables {
    std::map<int, fs::path> dirs;
    ~GeneratedTables() {
        for (auto& [rows, dir] : dirs) {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    }
};

fs::path indexedTable(int rows, bool indexes = true) {
    static GeneratedTables tables;
    auto& dir = tables.dirs[indexes ? rows : -rows];
    if (!dir.empty())
        return dir / "gen.db";
    std::string tmpl = (fs::temp_directory_path() / "bench-secondary-XXXXXX").string();
    dir = ::mkdtemp(tmpl.data());
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Day", FieldType::Date),
                     makeField("Amount", FieldType::Number), makeField("Qty", FieldType::Short),
                     makeField("Name", FieldType::Alpha, 20)};
    layout.keyFields = 1;
    {
        auto t = Table::create(dir / "gen.db", TableFormat::Paradox, layout);
        t->begin();
        for (int i = 0; i < rows; ++i)
            t->insert(generated(i));
        t->commit();
    }
    if (indexes) {
        createSecondaryIndex(dir / "gen.db", "ByDay", {"Day", "Qty"}, false, {});
        createSecondaryIndex(dir / "gen.db", "ByAmount", {"Amount", "Day"}, false, {});
    }
    return dir / "gen.db";
}

RecordId idOf(Table& t, std::int64_t key) {
    auto c = t.range({key}, true, {key}, true);
    return c->next() ? c->id() : RecordId(0);
}

// range(1): 0 updates the indexed fields of a record, 1 inserts one, 2 deletes one; range(2):
// the table has the two secondary indexes (1) or its primary key alone (0). Each write
// is its own commit, and finds its record through the primary key first. Records are picked
// all over the key range. The table is shared by the three: inserts and deletes of each run
// stay in it.
void BM_WriteOneRecordWithTwoSecondaryIndexes(benchmark::State& state) {
    const int rows = int(state.range(0));
    const int op = int(state.range(1));
    const fs::path db = indexedTable(rows, state.range(2) != 0);
    auto t = Table::open(db, OpenMode::Shared);
    static unsigned runs = 0;  // repetitions and the other table pick other records
    std::mt19937 rng(unsigned(op + 1) + 1000 * runs++);
    // Distinct places for inserts and deletes: 7919 is prime to the sizes used.
    const std::int64_t start = std::int64_t(rng() % unsigned(rows));
    std::int64_t n = 0;
    for (auto _ : state) {
        ++n;
        const std::int64_t i = (start + n * 7919) % rows;
        if (op == 0) {
            Record r = generated(std::int64_t(rng() % unsigned(rows)));
            const std::int64_t key = std::get<std::int64_t>(r[0]);
            r[1] = Date{std::int32_t(733000 + n % 3000)};
            r[3] = std::int64_t(n % 50);
            t->update(idOf(*t, key), r);
        } else if (op == 1) {
            Record r = generated(i);
            r[0] = i * 2 + 1;          // between two generated records
            if (!idOf(*t, i * 2 + 1))  // not inserted by an earlier repetition
                t->insert(r);
        } else {
            if (const RecordId id = idOf(*t, i * 2))  // not deleted by an earlier repetition
                t->remove(id);
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteOneRecordWithTwoSecondaryIndexes)
    ->ArgsProduct({{1000000}, {0, 1, 2}, {1, 0}})
    ->ArgNames({"rows", "op", "indexes"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200);

void BM_CreateIndex(benchmark::State& state) {
    const fs::path db = indexedTable(int(state.range(0)));
    for (auto _ : state) {
        createSecondaryIndex(db, "Bench", {"Qty", "Amount"}, false, {});
        state.PauseTiming();
        dropSecondaryIndex(db, "Bench");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CreateIndex)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The key values of the index BM_CreateIndex makes (Qty, Amount, and the table's key Id),
// read beforehand; each pass sorts a fresh copy of them in memory.
void BM_SortIndexKeyValues(benchmark::State& state) {
    const fs::path db = indexedTable(int(state.range(0)));
    std::vector<std::tuple<std::int64_t, double, std::int64_t>> keys;
    {
        auto t = Table::open(db, OpenMode::ReadOnly);
        keys.reserve(std::size_t(t->recordCount()));
        for (auto c = t->scan(); c->next();)
            keys.emplace_back(std::get<std::int64_t>(c->value(3)), std::get<double>(c->value(2)),
                              std::get<std::int64_t>(c->value(0)));
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto copy = keys;
        state.ResumeTiming();
        std::sort(copy.begin(), copy.end());
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_SortIndexKeyValues)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
