// Macro expansion time as the number of variables grows from 10 to 1000: a program line of
// about 120 characters naming three of the variables, expanded with the runner's settings.
#include <benchmark/benchmark.h>

#include "text/zMacroString.h"

namespace {

void BM_MacroExpand(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    orn::TzMacroVarList list;
    for (int i = 0; i < count; ++i) {
        list.SetValue("[var" + std::to_string(i) + "]", "value" + std::to_string(i));
    }
    const std::string line = "SQL select name, city from \"customer.db\" where id > [var" +
                             std::to_string(count / 2) + "] and city = '[var" +
                             std::to_string(count - 1) + "]' order by [var0] desc";
    std::string result;
    for (auto _ : state) {
        list.Expand(line, result);
        benchmark::DoNotOptimize(result);
    }
    state.counters["line_chars"] = static_cast<double>(line.size());
}
BENCHMARK(BM_MacroExpand)->Arg(10)->Arg(100)->Arg(1000);

// The same with every variable sharing the first character of the text it is searched in: the
// worst case for the scan, which compares each position against all names starting alike.
void BM_MacroExpandCommonPrefix(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    orn::TzMacroVarList list;
    for (int i = 0; i < count; ++i) {
        list.SetValue("[v" + std::to_string(i) + "]", "x");
    }
    const std::string line(120, '[');
    std::string result;
    for (auto _ : state) {
        list.Expand(line, result);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_MacroExpandCommonPrefix)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace
