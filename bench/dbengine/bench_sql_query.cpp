// SQL over table files against the same rows in a native SQLite table, in the same run.
// The tables (1,000,000 records by default; ORN_BENCH_ROWS overrides) are generated once into
// $ORN_BENCH_DIR (default: a folder under the temp directory) and reused by later runs.
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
#include "dbengine/dataset/query.h"
#include "dbengine/storage/table.h"
#include "dbengine/vtab/sql_session.h"
#include "dbengine/vtab/statement_gateway.h"

namespace {
namespace fs = std::filesystem;
using namespace orn::db;

using orn::bench::benchDir;
using orn::bench::rowCount;

// big: Id, Grp (Id mod 100), X (Id / 4), Name; ref: Id, V. Paradox tables are keyed on Id.
bool makeTables(const fs::path& dir, TableFormat format, long rows) {
    const char* ext = format == TableFormat::Paradox ? ".db" : ".dbf";
    const fs::path stamp = dir / (std::string("rows") + ext + ".txt");
    {
        std::ifstream in(stamp);
        long have = 0;
        if (in >> have && have == rows) {
            return true;
        }
    }
    try {
        TableCreate big;
        TableCreate ref;
        if (format == TableFormat::Paradox) {
            big.fields = {makeField("Id", FieldType::Long), makeField("Grp", FieldType::Short),
                          makeField("X", FieldType::Number),
                          makeField("Name", FieldType::Alpha, 12)};
            ref.fields = {makeField("Id", FieldType::Long), makeField("V", FieldType::Number)};
            big.keyFields = ref.keyFields = 1;
        } else {
            big.fields = {
                makeField("Id", FieldType::Number, 10), makeField("Grp", FieldType::Number, 5),
                makeField("X", FieldType::Number, 12, 2), makeField("Name", FieldType::Alpha, 12)};
            ref.fields = {makeField("Id", FieldType::Number, 10),
                          makeField("V", FieldType::Number, 12, 2)};
        }
        const auto start = std::chrono::steady_clock::now();
        auto b = Table::create(dir / (std::string("big") + ext), format, big);
        auto r = Table::create(dir / (std::string("ref") + ext), format, ref);
        b->begin();
        r->begin();
        for (long i = 1; i <= rows; ++i) {
            b->insert({std::int64_t{i}, std::int64_t{i % 100}, i / 4.0, "n" + std::to_string(i)});
            r->insert({std::int64_t{i}, i * 0.5});
        }
        b->commit();
        r->commit();
        std::fprintf(
            stderr, "generated %ld rows of %s tables in %.1f s\n", rows, ext,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    } catch (const EngineError& e) {
        std::fprintf(stderr, "%s tables unavailable: %s\n", ext, e.what());
        return false;
    }
    std::ofstream(stamp) << rows;
    return true;
}

sqlite3* nativeDb(const fs::path& dir, long rows) {
    const fs::path file = dir / "native.sqlite";
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    long have = -1;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM big", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        have = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    if (have == rows) {
        return db;
    }
    const std::string fill =
        "DROP TABLE IF EXISTS big; DROP TABLE IF EXISTS ref;"
        "CREATE TABLE big(Id INTEGER PRIMARY KEY, Grp INTEGER, X REAL, Name TEXT);"
        "CREATE TABLE ref(Id INTEGER PRIMARY KEY, V REAL);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(rows) +
        ") INSERT INTO big SELECT i, i % 100, i / 4.0, 'n' || i FROM n;"
        "INSERT INTO ref SELECT Id, Id * 0.5 FROM big;";
    sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr);
    return db;
}

struct Setup {
    fs::path dir = benchDir();
    long rows = rowCount();
    bool paradox = makeTables(dir, TableFormat::Paradox, rows);
    bool dbase = makeTables(dir, TableFormat::DBase, rows);
    sqlite3* native = nativeDb(dir, rows);
};

Setup& setup() {
    static Setup s;
    return s;
}

enum Target { kNative, kParadox, kDbase };

const char* ext(Target t) {
    return t == kParadox ? ".db" : ".dbf";
}

bool available(Target t, benchmark::State& state) {
    if ((t == kParadox && !setup().paradox) || (t == kDbase && !setup().dbase)) {
        state.SkipWithError("table format not available");
        return false;
    }
    return true;
}

// Runs one SQL statement to completion and returns the first column of the last row.
double runNative(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    double last = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        last = sqlite3_column_double(st, 0);
    }
    sqlite3_finalize(st);
    return last;
}

double runFiles(SqlSession& s, const std::string& sql) {
    auto st = s.prepare(sql);
    double last = 0;
    while (st->step()) {
        last = sqlite3_column_double(st->handle(), 0);
    }
    return last;
}

// {big} and {ref} stand for the tables of the target.
std::string forTarget(std::string sql, Target t) {
    for (const char* name : {"big", "ref"}) {
        const std::string key = std::string("{") + name + "}";
        const std::string table = t == kNative ? name : "\"" + std::string(name) + ext(t) + "\"";
        for (auto at = sql.find(key); at != std::string::npos; at = sql.find(key)) {
            sql.replace(at, key.size(), table);
        }
    }
    return sql;
}

void runQuery(benchmark::State& state, Target t, const std::string& sqlTemplate) {
    setup();  // tables are made outside the timed loop
    if (t != kNative && !available(t, state)) {
        return;
    }
    const std::string sql = forTarget(sqlTemplate, t);
    double result = 0;
    if (t == kNative) {
        for (auto _ : state) {
            result = runNative(setup().native, sql);
        }
    } else {
        SqlSession session(setup().dir);
        for (auto _ : state) {
            result = runFiles(session, sql);
        }
    }
    state.counters["rows"] = static_cast<double>(setup().rows);
    state.counters["result"] = result;
}

const char* kCount = "SELECT count(*) FROM {big}";
const char* kSumGroup = "SELECT sum(X) FROM {big} GROUP BY Grp";
const char* kJoin = "SELECT count(*), sum(r.V) FROM {big} b JOIN {ref} r ON r.Id = b.Id";

void BM_CountNative(benchmark::State& s) {
    runQuery(s, kNative, kCount);
}
void BM_CountParadox(benchmark::State& s) {
    runQuery(s, kParadox, kCount);
}
void BM_CountDbase(benchmark::State& s) {
    runQuery(s, kDbase, kCount);
}
void BM_SumGroupByNative(benchmark::State& s) {
    runQuery(s, kNative, kSumGroup);
}
void BM_SumGroupByParadox(benchmark::State& s) {
    runQuery(s, kParadox, kSumGroup);
}
void BM_SumGroupByDbase(benchmark::State& s) {
    runQuery(s, kDbase, kSumGroup);
}
void BM_KeyJoinNative(benchmark::State& s) {
    runQuery(s, kNative, kJoin);
}
void BM_KeyJoinParadox(benchmark::State& s) {
    runQuery(s, kParadox, kJoin);
}

// dBASE files have no primary key: the keyed side of the join is the Paradox table.
void BM_KeyJoinDbaseToParadox(benchmark::State& state) {
    if (!available(kDbase, state) || !available(kParadox, state)) {
        return;
    }
    runQuery(state, kDbase,
             "SELECT count(*), sum(r.V) FROM \"big.dbf\" b JOIN \"ref.db\" r ON r.Id = b.Id");
}

// Open a query over all records and read the first row's fields.
void firstRow(benchmark::State& state, Target t, bool live) {
    if (!available(t, state)) {
        return;
    }
    for (auto _ : state) {
        Query q(setup().dir, live);
        q.setSql(forTarget("SELECT * FROM {big}", t));
        q.open();
        benchmark::DoNotOptimize(q.field(0).asString());
        benchmark::DoNotOptimize(q.field(3).asString());
    }
}

void BM_FirstRowParadox(benchmark::State& s) {
    firstRow(s, kParadox, true);
}
void BM_FirstRowDbase(benchmark::State& s) {
    firstRow(s, kDbase, true);
}

// Walk a live result front to back, reading every field of every record.
void walk(benchmark::State& state, Target t) {
    if (!available(t, state)) {
        return;
    }
    std::size_t most = 0;
    for (auto _ : state) {
        Query q(setup().dir, true);
        q.setSql(forTarget("SELECT * FROM {big}", t));
        q.open();
        std::int64_t n = 0;
        for (q.first(); !q.eof(); q.next()) {
            for (std::size_t f = 0; f < q.fieldCount(); ++f) {
                benchmark::DoNotOptimize(q.field(f).value());
            }
            ++n;
            most = std::max(most, q.cachedRows());
        }
        state.counters["records"] = static_cast<double>(n);
    }
    state.counters["most_cached_rows"] = static_cast<double>(most);
}

void BM_WalkLiveParadox(benchmark::State& s) {
    walk(s, kParadox);
}
void BM_WalkLiveDbase(benchmark::State& s) {
    walk(s, kDbase);
}

// One keyed row changed by an UPDATE statement, as a script does it: the statement takes the
// table's write lock before it reads, commits with the journal, and lets go.
void BM_UpdateOneRowParadox(benchmark::State& state) {
    if (!available(kParadox, state)) {
        return;
    }
    SqlSession session(setup().dir);
    long id = 1;
    for (auto _ : state) {
        auto prepared = prepareDialect(
            session, "UPDATE \"big.db\" SET X = X + 1 WHERE Id = " + std::to_string(id));
        while (prepared.statement->step()) {
        }
        id = id * 7919 % rowCount() + 1;  // rows all over the table
    }
}

}  // namespace

BENCHMARK(BM_CountNative)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountParadox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountDbase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SumGroupByNative)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SumGroupByParadox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SumGroupByDbase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyJoinNative)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyJoinParadox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyJoinDbaseToParadox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRowParadox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRowDbase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateOneRowParadox)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_WalkLiveParadox)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WalkLiveDbase)->Unit(benchmark::kMillisecond)->Iterations(1);
