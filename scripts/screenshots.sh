#!/usr/bin/env bash
# Renders ORN's windows into PNG files for review, at 100 % and 200 % scaling, on a virtual
# display (Xvfb).
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR] [SHOT...]
# Defaults: build, screenshots. Pictures go to OUT_DIR/100 and OUT_DIR/200. Shots are named
# after their window (orn_screenshots --list); each area adds its own in
# tools/screenshots/screenshots_<area>.cpp.
set -euo pipefail
build=${1:-build}
out=${2:-screenshots}
shift $(( $# > 2 ? 2 : $# ))
if ! command -v xvfb-run >/dev/null; then
    echo "error: xvfb-run is not installed (Debian package xvfb)" >&2
    exit 1
fi
cmake --build "$build" --target orn_screenshots >/dev/null
exe="$(cd "$build" && pwd)/tools/screenshots/orn_screenshots"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
status=0
for scale in 1 2; do
    dir="$out/$((scale * 100))"
    mkdir -p "$dir"
    QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
        xvfb-run -a -s "-screen 0 1600x1000x24" "$exe" "$dir" "$@" || status=$?
done
exit "$status"
