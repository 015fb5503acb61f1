// Cost of keeping a Paradox secondary index current: single-record writes, each its own commit,
// on a keyed table that carries one composite secondary index (the corpus events table with its
// .XG0/.YG0, filled with generated records). Every commit writes the index anew from the
// records, so the cost grows with the table. Needs the corpus: $ORN_CORPUS_DIR.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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
            t->update(id, r);  // its own commit: the index is written anew
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

}  // namespace
