#!/usr/bin/env bash
# Whole-process figures of the big-table queries: `orn RUN` on Paradox and dBASE tables beside the
# sqlite3 shell on the same rows, each run three times (best_ms, best_cpu_ms: the best of the
# three; cpu_ms: their mean), with the load average before and after, since a busy machine
# inflates every figure.
#   bench/dbengine/process_figures.sh [build dir] [rows] [benchmark filter]
#   (defaults: build, 1000000, BM_Query; BM_Import for the import of a CSV file of the rows)
# The tables are generated on the first run (see bench_process_bigtable.cpp) and kept.
set -euo pipefail
build=${1:-build}
export ORN_BENCH_ROWS=${2:-${ORN_BENCH_ROWS:-1000000}}
exe="$build/bench/dbengine/bench_process"
[[ -x "$exe" ]] || { echo "no $exe: build the bench_process target first" >&2; exit 1; }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$exe" --benchmark_filter="${3:-BM_Query}" --benchmark_counters_tabular=true
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
