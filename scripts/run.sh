#!/usr/bin/env bash
# Starts ORN from a build directory in a folder of freshly made sample tables and programs.
# With a display the workbench opens there; without one the example program runs headless and
# the script says where its output went.
set -euo pipefail
build=${1:-build}
exe="$build/src/shell/orn"
if [[ ! -x "$exe" ]]; then
    echo "error: $exe was not built" >&2
    exit 1
fi
exe="$(cd "$(dirname "$exe")" && pwd)/orn"
example=examples/demo.orn
maker="$build/tests/workbench/orn_make_examples"
work=""
if [[ -f "$example" && -x "$maker" ]]; then
    work="$(cd "$build" && pwd)/examples-run"
    rm -rf "$work"
    mkdir -p "$work"
    "$maker" "$work" >/dev/null
    cp examples/*.orn examples/*.txt examples/*.sql "$work"/
fi

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    if [[ -n "$work" ]]; then
        echo "Starting ORN in $work (sample tables and the programs demo.orn, import.orn, maintain.orn)"
        cd "$work"
    fi
    exec "$exe"
fi

if [[ -z "$work" ]]; then
    exec "$exe" --help
fi
echo "No display: running $example headless in $work"
status=0
(cd "$work" && "$exe" RUN demo.orn) || status=$?
echo "Exit code $status. Output went to $work/out:"
ls -1 "$work/out" | sed 's/^/  /'
echo "and the new table $work/Oulu_customers.dbf; more programs: import.orn, maintain.orn"
exit "$status"
