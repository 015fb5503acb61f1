#!/usr/bin/env bash
# Runs every benchmark executable of a build directory.
set -euo pipefail
build=${1:-build}
for exe in "$build"/bench/*/bench_*; do
    [[ -x "$exe" ]] || continue
    echo "== $exe"
    "$exe" --benchmark_min_time=0.2
done
