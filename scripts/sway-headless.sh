#!/bin/bash
# sway-headless.sh start DIR [WIDTHxHEIGHT] [TRANSFORM] [SCALE] [PICTURE] | stop DIR -- a private headless sway for the
# Wayland tests and benchmarks. sway refuses to run as root, so as root it runs as the unprivileged user
# qv-wayland (made when missing), with its own XDG_RUNTIME_DIR under /tmp (the user may not reach DIR).
# The output HEADLESS-1 shows a plain red background, or the PNG file PICTURE. start writes DIR/env (WAYLAND_DISPLAY, XDG_RUNTIME_DIR, SWAYSOCK, QV_WAYLAND_USER)
# for the tests to source, and DIR/sway.pid; stop ends that sway by its PID.
set -euo pipefail
usage="usage: sway-headless.sh start|stop DIR [WIDTHxHEIGHT] [TRANSFORM] [SCALE] [PICTURE]"
command=${1:?$usage}
dir=${2:?$usage}
user=qv-wayland

stop() {
    if [ -f "$dir/sway.pid" ]; then
        pid=$(cat "$dir/sway.pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
        rm -f "$dir/sway.pid"
    fi
    if [ -f "$dir/env" ]; then
        runtime=$(sed -n 's/^export XDG_RUNTIME_DIR=//p' "$dir/env")
        case "$runtime" in /tmp/qv-wayland.*) rm -rf "$runtime" ;; esac
        rm -f "$dir/env"
    fi
}

case "$command" in
stop) stop; exit 0 ;;
start) ;;
*) echo "sway-headless.sh: unknown command '$command'" >&2; exit 2 ;;
esac

size=${3:-1280x720}
transform=${4:-normal}
scale=${5:-1}
picture=${6:-}
stop
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
runtime=$(mktemp -d /tmp/qv-wayland.XXXXXX)
background="#ff0000 solid_color"
if [ -n "$picture" ]; then
    cp "$picture" "$runtime/background.png"
    background="$runtime/background.png fill"
fi
run_as=()
if [ "$(id -u)" = 0 ]; then
    id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user" ||
        id "$user" >/dev/null
    chown -R "$user:" "$runtime"
    run_as=(setpriv --reuid="$user" --regid="$user" --init-groups --)
else
    user=$(id -un)
fi
cat > "$runtime/sway.config" <<CONFIG
output HEADLESS-1 mode $size bg $background transform $transform scale $scale
default_border none
CONFIG
chmod a+r "$runtime/sway.config"

env -i PATH=/usr/bin:/bin HOME="$runtime" XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 \
    "${run_as[@]}" sway --config "$runtime/sway.config" > "$dir/sway.log" 2>&1 &
echo $! > "$dir/sway.pid"

for _ in $(seq 100); do
    socket=$(ls "$runtime" 2>/dev/null | grep -E '^wayland-[0-9]+$' | head -n 1 || true)
    ipc=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -n 1 || true)
    if [ -n "$socket" ] && [ -n "$ipc" ]; then
        cat > "$dir/env" <<ENV
export XDG_RUNTIME_DIR=$runtime
export WAYLAND_DISPLAY=$socket
export SWAYSOCK=$ipc
export QV_WAYLAND_USER=$user
ENV
        exit 0
    fi
    kill -0 "$(cat "$dir/sway.pid")" 2>/dev/null || break
    sleep 0.1
done
echo "sway-headless.sh: sway did not come up; its log:" >&2
cat "$dir/sway.log" >&2
stop
exit 1
