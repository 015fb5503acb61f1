// Runner throughput in program lines per second: a loop of SETVALUE / IFGOTO / GOTO lines with
// 20 macro variables and 5 parameters, at debug level 0.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/FormCommands.h"

namespace {

// Counts from 00 to 99 with two decimal digits [t][s]; [nextD] holds the digit after D.
std::string LoopProgram(int debug) {
    return "[Params]\np0=99\np1=alpha\np2=beta\np3=gamma\np4=delta\n"
           "[Program]\n"
           "0=DEBUG " +
           std::to_string(debug) +
           "\n"
           "1=SETVALUE [s],[next[s]]\n"
           "2=IFGOTO [s],0,5\n"
           "3=IFGOTO [t][s],[p0],7\n"
           "4=GOTO 1\n"
           "5=SETVALUE [t],[next[t]]\n"
           "6=GOTO 3\n"
           "7=SETVALUE [result],[p1] [p2] [p3] [p4]\n";
}

class CountingView : public orn::TProgramView {
  public:
    using TDialogs::Ask;
    orn::DialogButton Ask(const orn::DialogRequest&) override { return orn::DialogButton::No; }
    void ShowStatus(const std::string&) override { ++lines; }
    std::int64_t lines = 0;
};

void Prepare(orn::TParamProgram& program) {
    for (int d = 0; d < 10; ++d) {
        program.SetMacroValue("[next" + std::to_string(d) + "]", std::to_string((d + 1) % 10));
    }
    for (int f = 0; f < 7; ++f) {
        program.SetMacroValue("[filler" + std::to_string(f) + "]", "text " + std::to_string(f));
    }
    program.SetMacroValue("[result]", "");
    program.SetMacroValue("[s]", "0");
    program.SetMacroValue("[t]", "0");
}

std::string WriteProgram(int debug) {
    auto path =
        std::filesystem::temp_directory_path() /
        ("orn_bench_runner_" + std::to_string(getpid()) + "_" + std::to_string(debug) + ".orn");
    std::ofstream(path) << LoopProgram(debug);
    return path.string();
}

// Lines one run executes, counted once with the status line on (DEBUG 1 instead of 0).
std::int64_t LinesPerRun() {
    CountingView view;
    orn::TParamProgram program(&view);
    program.AddFlowCommands();
    std::string path = WriteProgram(1);
    program.LoadProgram(path);
    Prepare(program);
    program.Run();
    std::filesystem::remove(path);
    return view.lines;
}

void BM_RunnerLoop(benchmark::State& state) {
    const std::int64_t linesPerRun = LinesPerRun();
    std::string path = WriteProgram(0);
    orn::TParamProgram program;
    program.AddFlowCommands();
    if (!program.LoadProgram(path).empty()) {
        state.SkipWithError("program did not load");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        Prepare(program);
        state.ResumeTiming();
        program.Run();
    }
    if (program.Macros().GetValue("[result]") != "alpha beta gamma delta" ||
        program.Macros().Count() != 20) {
        state.SkipWithError("the loop did not run as intended");
    }
    state.SetItemsProcessed(linesPerRun * state.iterations());
    state.counters["lines_per_run"] = static_cast<double>(linesPerRun);
    state.counters["lines_per_second"] = benchmark::Counter(
        static_cast<double>(linesPerRun * state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_RunnerLoop)->Unit(benchmark::kMicrosecond);

}  // namespace
