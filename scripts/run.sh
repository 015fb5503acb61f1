#!/usr/bin/env bash
# Starts ORN from a build directory. Without a display (or while the windowed mode is not built),
# runs the example program headless; it writes only into the folder it names (/tmp/orn-demo).
set -euo pipefail
build=${1:-build}
exe="$build/src/shell/orn"
example=examples/demo.orn
if [[ ! -x "$exe" ]]; then
    echo "error: $exe was not built" >&2
    exit 1
fi
run_example() {
    if [[ -f "$example" ]]; then
        echo "Running $example headless (orn RUN $example):"
        "$exe" RUN "$example"
        echo "Done: the example's files are in /tmp/orn-demo."
    else
        "$exe" --help
    fi
}
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display."
    run_example
    exit
fi
status=0
"$exe" || status=$?
if [[ $status -eq 3 ]]; then  # windowed mode not available in this build
    run_example
    exit
fi
exit $status
