#!/bin/bash
# run.sh [ITERATIONS] [sway|mutter]... -- builds wayland_capture_bench and runs it in a private headless
# sway (pixman renderer) showing the shared desktop-like picture, and in a private headless mutter (its
# own dark gradient background, frames over PipeWire), at 1920x1080 and at 1280x720, as the sessions'
# unprivileged user; both compositors unless some are named. Each session is started here and stopped by
# its PIDs. The last full-size capture of each size is kept
# as OUT/screen-SIZE.jpg when QV_BENCH_KEEP=OUT is set. Run as root, sway and the benchmark run in a
# scheduling group of their own at nice -10, as the X11 capture benchmark does (QV_BENCH_NICE=0 turns
# that off). A sway screen copy waits for the compositor's next frame: up to one 60 Hz frame period; a
# mutter one copies the newest frame the stream delivered.
set -euo pipefail
nice_level=${QV_BENCH_NICE:--10}
[ "$(id -u)" = 0 ] || nice_level=0
if [ "$nice_level" != 0 ] && [ -z "${QV_BENCH_GROUPED:-}" ]; then
    QV_BENCH_GROUPED=1 exec setsid -w nice -n "$nice_level" bash "$0" "$@"
fi
if [ "$nice_level" != 0 ] && [ -w /proc/self/autogroup ]; then
    echo "$nice_level" > /proc/self/autogroup
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
iterations=${1:-30}
compositors=("${@:2}")
[ ${#compositors[@]} -gt 0 ] || compositors=(sway mutter)
build=${QV_BENCH_BUILD:-$root/build-bench}
work=$(mktemp -d /tmp/qv-wayland-bench.XXXXXX)
session="$work/session"

cleanup() {
    "$root/scripts/sway-headless.sh" stop "$session"
    "$root/scripts/mutter-headless.sh" stop "$session"
    rm -rf "$work"
}
trap cleanup EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE= -DQV_BUILD_UI=OFF \
    -DQV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target wayland_capture_bench -j "$(nproc)" >/dev/null

for compositor in "${compositors[@]}"; do
for size in 1920x1080 1280x720; do
    width=${size%x*}; height=${size#*x}
    echo "== $compositor $size"
    case "$compositor" in
    sway)
        "$root/../shared/bench/make-desktop.sh" "$width" "$height" "$work/desktop-$size.png"
        "$root/scripts/sway-headless.sh" start "$session" "$size" normal 1 "$work/desktop-$size.png" ;;
    mutter) "$root/scripts/mutter-headless.sh" start "$session" "$size" ;;
    *) echo "run.sh: unknown compositor '$compositor'" >&2; exit 2 ;;
    esac
    . "$session/env"
    output="$XDG_RUNTIME_DIR/out"
    mkdir -p "$output"
    cp "$build/bin/wayland_capture_bench" "$XDG_RUNTIME_DIR/"
    run_as=()
    if [ "$(id -u)" = 0 ]; then
        chown -R "$QV_WAYLAND_USER:" "$output" "$XDG_RUNTIME_DIR/wayland_capture_bench"
        run_as=(setpriv --reuid="$QV_WAYLAND_USER" --regid="$QV_WAYLAND_USER" --init-groups --)
    fi
    # swaybg paints the picture, and mutter its background, a moment after the compositor is up.
    sleep 1
    "${run_as[@]}" "$XDG_RUNTIME_DIR/wayland_capture_bench" "$output" "$iterations"
    if [ -n "${QV_BENCH_KEEP:-}" ]; then
        mkdir -p "$QV_BENCH_KEEP"
        cp "$output/screen.jpg" "$QV_BENCH_KEEP/screen-$compositor-$size.jpg"
    fi
    "$root/scripts/$compositor-headless.sh" stop "$session"
done
done
