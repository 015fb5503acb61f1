#!/usr/bin/env bash
# Starts ORN from a build directory. Without a display, runs the example program headless
# and says where its output went.
set -euo pipefail
build=${1:-build}
exe="$build/src/shell/orn"
if [[ ! -x "$exe" ]]; then
    echo "error: $exe was not built" >&2
    exit 1
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    example=examples/demo.orn
    if [[ -f "$example" ]]; then
        echo "No display: running $example headless."
        exec "$exe" RUN "$example"
    fi
    exec "$exe" --help
fi
exec "$exe"
