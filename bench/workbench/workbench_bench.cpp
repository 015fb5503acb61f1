// Export, import and save-as-table of a large result, each against the sqlite3 shell doing the
// same work on the same rows in the same run. Reported: seconds of each and ORN/sqlite3 as
// "ratio" (below 1: ORN is faster). Rows: ORN_BENCH_ROWS (default 1,000,000).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "dbengine/dataset/query.h"
#include "dbengine/storage/table.h"
#include "workbench/SqlComBDE.h"
#include "workbench/importtext.h"
#include "workbench/textexchange.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long Rows() {
    const char* env = std::getenv("ORN_BENCH_ROWS");
    return env ? std::max(1L, std::atol(env)) : 1000000L;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string NameOf(long i) {
    return "name" + std::to_string(i);
}
const char* CityOf(long i) {
    static const char* cities[] = {"Oulu", "Turku", "Tampere", "Helsinki", "Vaasa"};
    return cities[i % 5];
}
double ScoreOf(long i) {
    return static_cast<double>(i % 100000) / 4.0;
}

// One folder per run holding big.dbf, the same rows in big.sqlite and as big.csv.
class Data {
  public:
    static Data& Get() {
        static Data data;
        return data;
    }
    const fs::path& Dir() const { return dir_; }
    bool paradox = false;

  private:
    Data() {
        dir_ = fs::temp_directory_path() / ("orn_bench_workbench_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        const long rows = Rows();
        orn::db::TableCreate layout;
        layout.fields = {orn::db::makeField("ID", orn::db::FieldType::Long),
                         orn::db::makeField("NAME", orn::db::FieldType::Alpha, 20),
                         orn::db::makeField("CITY", orn::db::FieldType::Alpha, 12),
                         orn::db::makeField("SCORE", orn::db::FieldType::Number, 12, 2)};
        {
            auto table =
                orn::db::Table::create(dir_ / "big.dbf", orn::db::TableFormat::DBase, layout);
            table->begin();
            for (long i = 1; i <= rows; ++i) {
                table->insert({std::int64_t{i}, NameOf(i), std::string(CityOf(i)), ScoreOf(i)});
            }
            table->commit();
        }
        try {
            layout.keyFields = 1;
            orn::db::Table::create(dir_ / "keyed.db", orn::db::TableFormat::Paradox, layout);
            paradox = true;
        } catch (const orn::db::EngineError&) {
        }
        sqlite3* db = nullptr;
        sqlite3_open((dir_ / "big.sqlite").c_str(), &db);
        sqlite3_exec(db,
                     "create table big(ID integer, NAME text, CITY text, SCORE real);"
                     "create table plain(ID integer, NAME text, CITY text, SCORE real);"
                     "create table keyed(ID integer not null primary key, NAME text, CITY text,"
                     " SCORE real);"
                     "begin",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "insert into big values(?,?,?,?)", -1, &insert, nullptr);
        std::ofstream csv(dir_ / "big.csv", std::ios::binary);
        csv << "ID,NAME,CITY,SCORE\r\n";
        for (long i = 1; i <= rows; ++i) {
            const std::string name = NameOf(i);
            sqlite3_bind_int64(insert, 1, i);
            sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, CityOf(i), -1, SQLITE_STATIC);
            sqlite3_bind_double(insert, 4, ScoreOf(i));
            sqlite3_step(insert);
            sqlite3_reset(insert);
            csv << i << ',' << name << ',' << CityOf(i) << ',' << ScoreOf(i) << "\r\n";
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    ~Data() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

// Runs the sqlite3 shell on big.sqlite with the given dot-commands and SQL; returns seconds.
double Sqlite3Shell(const std::string& script) {
    const fs::path dir = Data::Get().Dir();
    const fs::path file = dir / "script.sql";
    std::ofstream(file, std::ios::binary) << script;
    const std::string command =
        "cd '" + dir.string() + "' && sqlite3 big.sqlite < script.sql >/dev/null";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::cerr << "sqlite3 failed on: " << script << "\n";
    }
    return Seconds(start);
}

void Report(benchmark::State& state, double orn, double sqlite) {
    state.SetIterationTime(orn);
    state.counters["orn_s"] = orn;
    state.counters["sqlite3_s"] = sqlite;
    state.counters["ratio"] = orn / sqlite;
    state.counters["rows"] = static_cast<double>(Rows());
}

void BM_SaveAsText(benchmark::State& state) {
    Data& data = Data::Get();
    for (auto _ : state) {
        orn::db::Query query(data.Dir(), false);
        query.setSql("select * from big");
        const auto start = Clock::now();
        query.open();
        const std::string error = orn::SaveAsText(query, (data.Dir() / "orn.txt").string(), ",");
        const double orn = Seconds(start);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
        }
        const double sqlite =
            Sqlite3Shell(".mode csv\n.headers on\n.output sqlite.txt\nselect * from big;\n");
        Report(state, orn, sqlite);
    }
}

void Import(benchmark::State& state, const std::string& ornTable, const std::string& sqliteTable) {
    Data& data = Data::Get();
    orn::TScriptedDialogs dialogs;
    for (auto _ : state) {
        const fs::path old = fs::current_path();
        fs::current_path(data.Dir());
        const auto start = Clock::now();
        const std::string result = orn::ImportText(ornTable, "big.csv", ',', dialogs);
        const double orn = Seconds(start);
        fs::current_path(old);
        if (!result.empty()) {
            state.SkipWithError(result.c_str());
        }
        const double sqlite =
            Sqlite3Shell("delete from " + sqliteTable + ";\n.import --csv --skip 1 big.csv " +
                         sqliteTable + "\n");
        Report(state, orn, sqlite);
    }
}

void BM_ReadUnkeyed(benchmark::State& state) {
    Data& data = Data::Get();
    orn::db::TableCreate layout;
    {
        auto big = orn::db::Table::open(data.Dir() / "big.dbf", orn::db::OpenMode::ReadOnly);
        layout.fields = big->fields();
    }
    orn::db::Table::create(data.Dir() / "plain.dbf", orn::db::TableFormat::DBase, layout);
    Import(state, "plain", "plain");
}

void BM_ReadKeyed(benchmark::State& state) {
    if (!Data::Get().paradox) {
        state.SkipWithError("this build cannot write Paradox tables");
        for (auto _ : state) {
        }
        return;
    }
    Import(state, "keyed", "keyed");
}

void BM_SaveAsTable(benchmark::State& state) {
    Data& data = Data::Get();
    orn::TScriptedDialogs dialogs;
    for (auto _ : state) {
        orn::db::Query query(data.Dir(), false);
        query.setSql("select * from big");
        const auto start = Clock::now();
        const bool ok = orn::SaveResultAsTable(query, "copy.dbf", dialogs);
        const double orn = Seconds(start);
        if (!ok) {
            state.SkipWithError(dialogs.Requests().back().text.c_str());
        }
        const double sqlite =
            Sqlite3Shell("drop table if exists copy;\ncreate table copy as select * from big;\n");
        Report(state, orn, sqlite);
    }
}

BENCHMARK(BM_SaveAsText)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ReadUnkeyed)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ReadKeyed)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SaveAsTable)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
