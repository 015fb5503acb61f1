// How fast the settings service answers: a cached read through the default read order when the
// value lies in the last store, a write to the user's registry key, and building a read order.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "settings/IniName.h"
#include "settings/IniReadOrder.h"

namespace {

namespace fs = std::filesystem;

// A program in a temporary folder with its registry beside it, removed at the end.
class Sandbox {
  public:
    Sandbox() {
        char pattern[] = "/tmp/orn-bench-settings-XXXXXX";
        root_ = ::mkdtemp(pattern);
        fs::create_directories(root_ + "/prog");
        ::setenv("ORN_REGISTRY_DIR", (root_ + "/registry").c_str(), 1);
        orn::SetProgramFileName(root_ + "/prog/orn");
        std::ofstream(root_ + "/prog/orn.ini") << "[S]\nK=value in the program's ini\n";
    }
    ~Sandbox() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

  private:
    std::string root_;
};

void BM_ReadFromLastStore(benchmark::State& state) {
    Sandbox sandbox;
    orn::TIniReadOrder ro;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ro.ReadString("U", "S", "K", ""));
    }
}
BENCHMARK(BM_ReadFromLastStore);

void BM_ReadMissingValue(benchmark::State& state) {
    Sandbox sandbox;
    orn::TIniReadOrder ro;
    ro.WriteString("U", "Other", "K", "x");  // the user key exists
    for (auto _ : state) {
        benchmark::DoNotOptimize(ro.ReadString("U", "S", "Missing", ""));
    }
}
BENCHMARK(BM_ReadMissingValue);

void BM_WriteUserKey(benchmark::State& state) {
    Sandbox sandbox;
    orn::TIniReadOrder ro;
    for (int i = 0; i < state.range(0); ++i) {
        ro.WriteString("U", "Section" + std::to_string(i % 20), "Key" + std::to_string(i), "v");
    }
    int n = 0;
    for (auto _ : state) {
        ro.WriteString("U", "FormQuery-Params", "EditSeparator", std::to_string(n++));
    }
    state.SetLabel(std::to_string(state.range(0)) + " other values in the root file");
}
BENCHMARK(BM_WriteUserKey)->Arg(0)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_BuildDefaultReadOrder(benchmark::State& state) {
    Sandbox sandbox;
    orn::TIniReadOrder ro;
    for (auto _ : state) {
        ro.ClearAll();
        benchmark::DoNotOptimize(ro.GetReadOrder("U"));
    }
}
BENCHMARK(BM_BuildDefaultReadOrder)->Unit(benchmark::kMicrosecond);

}  // namespace
