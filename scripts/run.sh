#!/usr/bin/env bash
# Starts ORN from a build directory. Without a display, runs the example program headless on
# freshly made sample tables and says where its output went.
set -euo pipefail
build=${1:-build}
exe="$build/src/shell/orn"
if [[ ! -x "$exe" ]]; then
    echo "error: $exe was not built" >&2
    exit 1
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    example=examples/demo.orn
    maker="$build/tests/workbench/orn_make_examples"
    if [[ -f "$example" && -x "$maker" ]]; then
        work="$(cd "$build" && pwd)/examples-run"
        rm -rf "$work"
        mkdir -p "$work"
        "$maker" "$work" >/dev/null
        cp examples/*.orn examples/*.txt examples/*.sql "$work"/
        exe="$(cd "$(dirname "$exe")" && pwd)/orn"
        echo "No display: running $example headless in $work"
        status=0
        (cd "$work" && "$exe" RUN demo.orn) || status=$?
        echo "Exit code $status. Output went to $work/out:"
        ls -1 "$work/out" | sed 's/^/  /'
        echo "and the new table $work/Oulu_customers.dbf; more programs: import.orn, maintain.orn"
        exit "$status"
    fi
    exec "$exe" --help
fi
exec "$exe"
