#!/bin/bash
# bench/panel/load.sh [BUILD_DIR] [SECONDS] -- the panel under load. Serves /screen with 50 wrk
# connections twice, from qvserver (every request also reports to the panel's status bar and hit
# counter) and from qvserver-headless (no panel), with the same settings, and compares the request rates.
# While qvserver is loaded, the hit counter is photographed once a second: a panel whose GUI thread keeps
# up shows a different count every time. Finally Esc closes the loaded panel, and the time until the
# process has ended is printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
seconds=${2:-10}
for program in qvserver qvserver-headless; do
    [ -x "$build/bin/$program" ] || { echo "no $build/bin/$program: build it first" >&2; exit 2; }
done
command -v wrk >/dev/null || { echo "wrk is missing: scripts/install-deps.sh bench" >&2; exit 2; }

work=$(mktemp -d /tmp/qvbench-load.XXXXXX)
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
    "$root/scripts/xvfb.sh" stop "$work/xvfb"
    rm -rf "$work"
}
trap cleanup EXIT

"$root/scripts/xvfb.sh" start "$work/xvfb" 1280x1024
export DISPLAY=$(cat "$work/xvfb.display")
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# Folder with the program, its start-up picture and settings that start it on port $2.
prepare() {
    local folder=$work/$1 port=$2
    mkdir -p "$folder/data"
    cp "$build/bin/$1" "$folder/"
    cp "$build/bin/data/wait.jpg" "$folder/data/"
    printf '[WWW]\nPort=%s\nRun=yes\n[QV]\nResolveHostname=no\n' "$port" > "$folder/current.ini"
}
wait_for_port() {
    for _ in $(seq 1 100); do
        curl -s -o /dev/null "http://127.0.0.1:$1/" && return 0
        sleep 0.05
    done
    echo "nothing answers on port $1" >&2; exit 1
}
rate() { awk '/Requests\/sec/ {print int($2)}' "$1"; }

port=$(free_port)
prepare qvserver-headless "$port"
"$work/qvserver-headless/qvserver-headless" >/dev/null 2>&1 &
server_pid=$!
wait_for_port "$port"
wrk -t2 -c50 -d"${seconds}s" "http://127.0.0.1:$port/screen" > "$work/headless.txt"
kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=""

port=$(free_port)
prepare qvserver "$port"
"$work/qvserver/qvserver" >/dev/null 2>&1 &
server_pid=$!
wait_for_port "$port"
window=$(xwininfo -name "ORV QV Server" | awk '/Window id:/ {print $4}')
# The hit counter's corner of the panel: right of the Stop button.
wrk -t2 -c50 -d"${seconds}s" "http://127.0.0.1:$port/screen" > "$work/panel.txt" &
wrk_pid=$!
shots=0
distinct=0
previous=""
sleep 1
while kill -0 "$wrk_pid" 2>/dev/null && [ "$shots" -lt $((seconds - 1)) ]; do
    sum=$(import -window "$window" -crop 50x16+268+84 +repage png:- 2>/dev/null | md5sum | cut -d' ' -f1)
    shots=$((shots + 1))
    [ "$sum" != "$previous" ] && distinct=$((distinct + 1))
    previous=$sum
    sleep 1
done
wait "$wrk_pid"
start=$(date +%s%N)
xdotool key --window "$window" Escape
wait "$server_pid" || true
server_pid=""
closed_ms=$(( ($(date +%s%N) - start) / 1000000 ))

headless_rate=$(rate "$work/headless.txt")
panel_rate=$(rate "$work/panel.txt")
echo "qvserver-headless: ${headless_rate} requests/s"
echo "qvserver (panel):  ${panel_rate} requests/s ($(( panel_rate * 100 / (headless_rate > 0 ? headless_rate : 1) ))% of headless)"
echo "hit counter while loaded: ${distinct} different pictures in ${shots} photographs, one a second"
echo "Esc to process end under the finished load: ${closed_ms} ms"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) (other work on the machine skews every figure)"
