// Key comparisons of a Paradox table whose key is an Alpha field: byte order ("ascii") against
// the known part of a national order, sorting 100,000 random keys of small letters with each.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "dbengine/storage/paradox_collation.h"

namespace {

using orn::db::paradox::KeyOrder;

std::vector<std::string> randomKeys(std::size_t width) {
    std::mt19937 rng(5);
    std::vector<std::string> keys;
    for (int i = 0; i < 100000; ++i) {
        std::string k(width, '\0');
        const std::size_t len = 3 + rng() % (width - 3);
        for (std::size_t j = 0; j < len; ++j)
            k[j] = char('a' + rng() % 26);
        keys.push_back(std::move(k));
    }
    return keys;
}

void sortWith(benchmark::State& state, const char* order) {
    orn::db::paradox::Header h;
    h.sortOrderName = order;
    h.fields = {{orn::db::paradox::kAlpha, 24, 24, 0, "Name"}};
    h.keyFields = 1;
    const KeyOrder keys(h);
    const auto base = randomKeys(24);
    for (auto _ : state) {
        state.PauseTiming();
        auto v = base;
        state.ResumeTiming();
        std::sort(v.begin(), v.end(), [&](const std::string& a, const std::string& b) {
            return keys.compare(reinterpret_cast<const std::uint8_t*>(a.data()),
                                reinterpret_cast<const std::uint8_t*>(b.data())) < 0;
        });
        benchmark::DoNotOptimize(v.data());
    }
}

void BM_SortAlphaKeysAscii(benchmark::State& state) {
    sortWith(state, "ascii");
}
void BM_SortAlphaKeysIntl850(benchmark::State& state) {
    sortWith(state, "intl850");
}

}  // namespace

BENCHMARK(BM_SortAlphaKeysAscii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortAlphaKeysIntl850)->Unit(benchmark::kMillisecond);
