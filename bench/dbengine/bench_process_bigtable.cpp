// Whole processes on a big table: `orn RUN` programs (SQL + SAVEAS, READ of a CSV file) and
// `orn EXEC` writes against the sqlite3 shell running the same query (or `.import`) on the same
// rows in a native table with a primary key. Each run reports wall time, the child's CPU time
// and its peak memory.
//
// The tables (1,000,000 rows unless ORN_BENCH_ROWS says otherwise) are generated once into
// $ORN_BENCH_DIR (default: a folder under the temp directory) and reused by later runs.
// Paradox tables use the block size of ORN_BENCH_BLOCK_KIB (default 4; 16 or 32 for more than
// about 7,000,000 rows). The import (BM_Import) reads a CSV file of the same rows, in key order
// or shuffled, and needs none of the tables.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "dbengine/storage/table.h"

namespace {
namespace fs = std::filesystem;
using namespace orn::db;

long rowCount() {
    const char* env = std::getenv("ORN_BENCH_ROWS");
    return env ? std::atol(env) : 1'000'000;
}

int blockKib() {
    const char* env = std::getenv("ORN_BENCH_BLOCK_KIB");
    return env ? std::atoi(env) : 4;
}

fs::path benchDir() {
    const char* env = std::getenv("ORN_BENCH_DIR");
    fs::path dir =
        env ? fs::path(env)
            : fs::temp_directory_path() / ("orn_bench_process_" + std::to_string(getuid()));
    fs::create_directories(dir);
    return dir;
}

// big: ID (key), Name ("name" + ID), Grp (ID mod 100), Amount; small: Grp, Label (100 rows).
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
        TableCreate small;
        if (format == TableFormat::Paradox) {
            big.fields = {makeField("ID", FieldType::Long), makeField("Name", FieldType::Alpha, 20),
                          makeField("Grp", FieldType::Short),
                          makeField("Amount", FieldType::Number)};
            small.fields = {makeField("Grp", FieldType::Short),
                            makeField("Label", FieldType::Alpha, 20)};
            big.keyFields = small.keyFields = 1;
            big.blockSize = blockKib() * 1024;
        } else {
            big.fields = {makeField("ID", FieldType::Number, 10),
                          makeField("Name", FieldType::Alpha, 20),
                          makeField("Grp", FieldType::Number, 5),
                          makeField("Amount", FieldType::Number, 12, 2)};
            small.fields = {makeField("Grp", FieldType::Number, 5),
                            makeField("Label", FieldType::Alpha, 20)};
        }
        auto b = Table::create(dir / (std::string("big") + ext), format, big);
        b->begin();
        for (long i = 1; i <= rows; ++i) {
            b->insert({std::int64_t{i}, "name" + std::to_string(i), std::int64_t{i % 100},
                       double(i % 100000) / 4.0});
        }
        b->commit();
        auto s = Table::create(dir / (std::string("small") + ext), format, small);
        for (long g = 0; g < 100; ++g) {
            s->insert({std::int64_t{g}, "group " + std::to_string(g)});
        }
    } catch (const EngineError& e) {
        std::fprintf(stderr, "%s tables unavailable: %s\n", ext, e.what());
        return false;
    }
    std::ofstream(stamp) << rows;
    return true;
}

bool makeNative(const fs::path& dir, long rows) {
    const fs::path file = dir / "native.sqlite";
    const fs::path stamp = dir / "rows.sqlite.txt";
    {
        std::ifstream in(stamp);
        long have = 0;
        if (in >> have && have == rows) {
            return true;
        }
    }
    fs::remove(file);
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    const std::string fill =
        "CREATE TABLE big(ID INTEGER PRIMARY KEY, Name TEXT, Grp INTEGER, Amount REAL);"
        "CREATE TABLE small(Grp INTEGER PRIMARY KEY, Label TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(rows) +
        ") INSERT INTO big SELECT i, 'name' || i, i % 100, (i % 100000) / 4.0 FROM n;"
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99) "
        "INSERT INTO small SELECT i, 'group ' || i FROM n;";
    const bool ok = sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (ok) {
        std::ofstream(stamp) << rows;
    }
    return ok;
}

struct Setup {
    fs::path dir = benchDir();
    long rows = rowCount();
};

Setup& setup() {
    static Setup s;
    return s;
}

// The tables the queries and commands read, made on first need (an import needs none of them).
struct Tables {
    bool paradox = makeTables(setup().dir, TableFormat::Paradox, setup().rows);
    bool dbase = makeTables(setup().dir, TableFormat::DBase, setup().rows);
    bool native = makeNative(setup().dir, setup().rows);
};

const Tables& tables() {
    static Tables t;
    return t;
}

struct Run {
    double wall = 0, cpu = 0, peakMb = 0;
    int status = 0;
};

// Runs argv in `dir` with stdout to a file; the child's CPU time and peak memory. A child forked
// from this process starts with its memory counted, so the peak comes from /usr/bin/time, which
// starts the command from its own small process.
Run runProcess(const fs::path& dir, const std::vector<std::string>& command) {
    const fs::path peakFile = dir / "peak.txt";
    std::vector<std::string> args = command;
    const bool timed = fs::exists("/usr/bin/time");
    if (timed) {
        args.insert(args.begin(), {"/usr/bin/time", "-f", "%M", "-o", peakFile.string()});
    }
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.c_str()) != 0) {
            _exit(126);
        }
        if (!std::freopen("out.txt", "w", stdout)) {
            _exit(126);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Run r;
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.peakMb = double(usage.ru_maxrss) / 1024.0;
    if (timed) {
        std::ifstream in(peakFile);
        long kb = 0;
        r.peakMb = in >> kb ? double(kb) / 1024.0 : 0.0;
    }
    r.status = status;
    return r;
}

// Runs the command once per iteration (after `prepare`, untimed) and reports it.
void report(benchmark::State& state, const std::vector<std::string>& args,
            const std::function<void()>& prepare = {}) {
    double cpu = 0, peak = 0, bestWall = 0, bestCpu = 0;
    for (auto _ : state) {
        if (prepare) {
            prepare();
        }
        Run r = runProcess(setup().dir, args);
        if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != 0) {
            state.SkipWithError(("the process failed: " + args[0] + " " + args[1]).c_str());
            return;
        }
        state.SetIterationTime(r.wall);
        cpu += r.cpu;
        peak = std::max(peak, r.peakMb);
        bestWall = bestWall == 0 ? r.wall : std::min(bestWall, r.wall);
        bestCpu = bestCpu == 0 ? r.cpu : std::min(bestCpu, r.cpu);
    }
    state.counters["cpu_ms"] = benchmark::Counter(cpu * 1000.0 / double(state.iterations()));
    // the best of the runs: what the machine gives when other work leaves it alone
    state.counters["best_ms"] = bestWall * 1000.0;
    state.counters["best_cpu_ms"] = bestCpu * 1000.0;
    state.counters["peak_MB"] = peak;
    state.counters["rows"] = double(setup().rows);
}

std::string tableName(bool dbase, const char* name) {
    return std::string("\"") + name + (dbase ? ".dbf\"" : ".db\"");
}

// One query as an `orn RUN` program that saves its answer as text.
void ornQuery(benchmark::State& state, const std::string& sql) {
    const fs::path prog = setup().dir / "bench.orn";
    std::ofstream(prog) << "[Program]\n0=SQL " << sql << "\n1=SAVEAS answer.txt\n";
    report(state, {ORN_BINARY, "RUN", prog.string()});
}

void sqliteQuery(benchmark::State& state, const std::string& sql) {
    // comma-separated with a header line, as SAVEAS writes its text
    report(state, {"sqlite3", "-csv", "-header", (setup().dir / "native.sqlite").string(), sql});
}

// The queries of the comparison; "%T" stands for the big table, "%S" for the small one.
struct Query {
    const char* name;
    const char* sql;
};
const Query kQueries[] = {
    {"Count", "select count(*) from %T"},
    {"GroupBy", "select Grp, count(*), sum(Amount) from %T group by Grp"},
    {"KeySeek", "select * from %T where ID = 777777"},
    {"TextFilter", "select count(*) from %T where Name = 'name500000'"},
    {"KeyRange", "select count(*), sum(Amount) from %T where ID between 300000 and 399999"},
    {"LikePrefix", "select count(*) from %T where Name like 'name7%'"},
    {"Distinct", "select count(*) from (select distinct Amount from %T)"},
    {"Join", "select s.Label, count(*) from %T b join %S s on s.Grp = b.Grp group by s.Label"},
    // every row in another order, written out as text (SAVEAS; the shell's output to a file)
    {"SortExport", "select * from %T order by Name desc"},
};

std::string expand(const char* sql, const std::string& big, const std::string& small) {
    std::string out = sql;
    for (auto [from, to] : {std::pair<std::string, std::string>{"%T", big}, {"%S", small}}) {
        for (std::size_t at; (at = out.find(from)) != std::string::npos;) {
            out.replace(at, from.size(), to);
        }
    }
    return out;
}

enum Target { kNative, kParadox, kDbase };

void BM_Query(benchmark::State& state) {
    const auto& q = kQueries[state.range(0)];
    const auto target = Target(state.range(1));
    const Tables& s = tables();
    if ((target == kParadox && !s.paradox) || (target == kDbase && !s.dbase) ||
        (target == kNative && !s.native)) {
        state.SkipWithError("tables unavailable");
        return;
    }
    state.SetLabel(std::string(q.name) + (target == kNative    ? " sqlite3"
                                          : target == kParadox ? " paradox"
                                                               : " dbase"));
    if (target == kNative) {
        sqliteQuery(state, expand(q.sql, "big", "small"));
    } else {
        const bool dbase = target == kDbase;
        ornQuery(state, expand(q.sql, tableName(dbase, "big"), tableName(dbase, "small")));
    }
}

void queryArgs(benchmark::internal::Benchmark* b) {
    for (long q = 0; q < long(std::size(kQueries)); ++q) {
        for (long t : {kNative, kParadox, kDbase}) {
            b->Args({q, t});
        }
    }
}
BENCHMARK(BM_Query)
    ->Apply(queryArgs)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The rows of the big table as a comma-separated file with a header line, written once: in key
// order, or shuffled (the same rows in a random order, the same every time).
fs::path csvFile(bool shuffled) {
    const Setup& s = setup();
    const std::string name = shuffled ? "shuffled" : "big";
    const fs::path file = s.dir / (name + ".csv");
    const fs::path stamp = s.dir / ("rows." + name + ".csv.txt");
    std::ifstream in(stamp);
    long have = 0;
    if (in >> have && have == s.rows) {
        return file;
    }
    {
        std::vector<long> order(std::size_t(s.rows));
        std::iota(order.begin(), order.end(), 1L);
        if (shuffled) {
            std::shuffle(order.begin(), order.end(), std::mt19937_64(20));
        }
        std::ofstream out(file);
        out << "ID,Name,Grp,Amount\n";
        char line[96];
        for (long i : order) {
            std::snprintf(line, sizeof line, "%ld,name%ld,%ld,%.2f\n", i, i, i % 100,
                          double(i % 100000) / 4.0);
            out << line;
        }
    }
    std::ofstream(stamp) << s.rows;
    return file;
}

// Import of the CSV file into a new keyed table: `READ` of an `orn RUN` program against the
// sqlite3 shell's `.import` into a table with the same columns. The second argument: 1 for the
// rows in a random order (a keyed table then gets them in no order of its own).
void BM_Import(benchmark::State& state) {
    const auto target = Target(state.range(0));
    const bool shuffled = state.range(1) != 0;
    const Setup& s = setup();
    const fs::path csv = csvFile(shuffled);
    state.SetLabel(std::string(target == kNative    ? "sqlite3"
                               : target == kParadox ? "paradox"
                                                    : "dbase") +
                   (shuffled ? " shuffled" : ""));
    const std::string table = target == kParadox ? "imp.db" : "imp.dbf";
    std::vector<std::string> args;
    if (target == kNative) {
        args = {"sqlite3", "-cmd",
                "CREATE TABLE imp(ID INTEGER PRIMARY KEY, Name TEXT, Grp INTEGER, Amount REAL)",
                (s.dir / "imp.sqlite").string(), ".import --csv --skip 1 " + csv.string() + " imp"};
    } else {
        const std::string create =
            target == kParadox ? "CREATE TABLE \"imp.db\" (ID INTEGER, Name CHAR(20), Grp "
                                 "SMALLINT, Amount NUMERIC(12,2), PRIMARY KEY (ID)) BLOCK SIZE " +
                                     std::to_string(blockKib() * 1024)
                               : "CREATE TABLE \"imp.dbf\" (ID NUMERIC(10,0), Name CHAR(20), Grp "
                                 "NUMERIC(5,0), Amount NUMERIC(12,2))";
        const fs::path prog = s.dir / "import.orn";
        std::ofstream(prog) << "[Program]\n0=EXEC " << create << "\n1=SEPARATOR #44\n2=READ "
                            << table << "," << csv.string() << "\n";
        args = {ORN_BINARY, "RUN", prog.string()};
    }
    report(state, args, [&] {
        for (const char* ext : {".sqlite", ".db", ".px", ".dbf"}) {
            fs::remove(s.dir / (std::string("imp") + ext));
        }
    });
}
// ORN_BENCH_IMPORT_RUNS runs of each (default 1: a run of 10,000,000 rows takes 10 to 20 s).
int importRuns() {
    const char* env = std::getenv("ORN_BENCH_IMPORT_RUNS");
    return env && std::atoi(env) > 0 ? std::atoi(env) : 1;
}
BENCHMARK(BM_Import)
    ->ArgsProduct({{kNative, kParadox, kDbase}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(importRuns());

// Commands that rewrite or copy the whole big Paradox table, each on a fresh copy of it ("work"):
// their time and peak memory, which must stay flat however many rows the table has.
void BM_WholeTableCommand(benchmark::State& state) {
    const Setup& s = setup();
    if (!tables().paradox) {
        state.SkipWithError("tables unavailable");
        return;
    }
    const fs::path prog = s.dir / "command.orn";
    std::vector<std::string> args;
    switch (state.range(0)) {
        case 0:
            state.SetLabel("CHANGE Name A 24");
            args = {ORN_BINARY, "CHANGE", "work", "Name", "A", "24"};
            break;
        case 1:
            state.SetLabel("INDEX ID");
            args = {ORN_BINARY, "INDEX", "work", "ID"};
            break;
        case 2:
            state.SetLabel("ALTER TABLE BLOCK SIZE 32768");
            args = {ORN_BINARY, "EXEC", "ALTER TABLE \"work.db\" BLOCK SIZE 32768"};
            break;
        case 3:
            state.SetLabel("SQL + SAVE of every row");
            std::ofstream(prog) << "[Program]\n0=SQL select * from \"work.db\"\n1=SAVE saved\n";
            args = {ORN_BINARY, "RUN", prog.string()};
            break;
        default:
            state.SetLabel("SQL + SAVEAS of every row");
            std::ofstream(prog) << "[Program]\n0=SQL select * from \"work.db\"\n1=SAVEAS all.txt\n";
            args = {ORN_BINARY, "RUN", prog.string()};
            break;
    }
    report(state, args, [&] {
        for (const char* ext : {".db", ".px"}) {
            fs::copy_file(s.dir / (std::string("big") + ext), s.dir / (std::string("work") + ext),
                          fs::copy_options::overwrite_existing);
        }
        for (const char* name : {"saved.db", "saved.px", "all.txt"}) {
            fs::remove(s.dir / name);
        }
    });
}
BENCHMARK(BM_WholeTableCommand)
    ->DenseRange(0, 4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A single-row write as its own process: update, insert and delete of one keyed record.
void BM_SingleRowWrite(benchmark::State& state) {
    const bool native = state.range(0) == 0;
    const Setup& s = setup();
    if (native ? !tables().native : !tables().paradox) {
        state.SkipWithError("tables unavailable");
        return;
    }
    const char* sql[] = {"update %T set Amount = Amount + 1 where ID = 500000",
                         "insert into %T (ID, Name, Grp, Amount) values (%N, 'extra', 1, 2)",
                         "delete from %T where ID = %N"};
    const auto which = state.range(1);
    state.SetLabel(std::string(which == 0   ? "update"
                               : which == 1 ? "insert"
                                            : "delete") +
                   (native ? " sqlite3" : " paradox"));
    std::string text = expand(sql[which], native ? "big" : tableName(false, "big"), "");
    const std::string extra = std::to_string(s.rows + 12345);
    for (std::size_t at; (at = text.find("%N")) != std::string::npos;) {
        text.replace(at, 2, extra);
    }
    if (native) {
        report(state, {"sqlite3", (s.dir / "native.sqlite").string(), text});
    } else {
        report(state, {ORN_BINARY, "EXEC", text});
    }
}
// Insert and delete alternate within one run so that each finds what it needs.
BENCHMARK(BM_SingleRowWrite)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
