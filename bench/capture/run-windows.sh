#!/bin/bash
# run-windows.sh [ITERATIONS] -- builds the Windows capture_bench into build-win (scripts/build-windows.sh
# must have run once) and runs it under Wine (scripts/wine.sh) at 1920x1080 and 1280x720, Wine's desktop
# being a private Xvfb that shows the same desktop-like picture as run.sh. The picture viewer is stopped by
# its PID, Wine and the Xvfb by wine.sh stop. The figures are for reading beside run.sh's; nothing is
# checked against a target.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
iterations=${1:-30}
build=${QV_WINDOWS_BUILD:-$root/build-win}
work=$(mktemp -d /tmp/qv-capture-bench-win.XXXXXX)
viewer=""
wine_up=""

cleanup() {
    if [ -n "$viewer" ]; then kill "$viewer" 2>/dev/null || true; wait "$viewer" 2>/dev/null || true; fi
    if [ -n "$wine_up" ]; then "$root/scripts/wine.sh" stop "$build"; fi
    rm -rf "$work"
}
trap cleanup EXIT

cmake -S "$root" -B "$build" -DQV_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target capture_bench -j "$(nproc)" >/dev/null

for size in 1920x1080 1280x720; do
    width=${size%x*}; height=${size#*x}
    echo "== $size"
    "$root/bench/desktop.sh" "$width" "$height" "$work/desktop-$size.png"
    QV_WINE_SCREEN=$size "$root/scripts/wine.sh" start "$build"
    wine_up=1
    export DISPLAY=$(cat "$build/wine-xvfb.display")
    display -window root "$work/desktop-$size.png" &
    viewer=$!
    for _ in $(seq 1 100); do
        colours=$(import -window root -depth 8 -resize 25% -format '%k' info: 2>/dev/null || echo 0)
        [ "$colours" -gt 1000 ] && break
        sleep 0.2
    done
    "$root/scripts/wine.sh" run "$build" "$build/bin/capture_bench.exe" "Z:$work" "$iterations"
    kill "$viewer" 2>/dev/null || true; wait "$viewer" 2>/dev/null || true; viewer=""
    "$root/scripts/wine.sh" stop "$build"; wine_up=""
done
