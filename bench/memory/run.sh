#!/bin/bash
# run.sh BUILD_DIR [SECONDS] [SAMPLE_SECONDS] -- resident memory of qvserver-headless under sustained mixed
# load at 1920x1080 (default 600 s, a sample every 10 s).
#
# Starts qvserver-headless (BUILD_DIR/bin, built beforehand: this script builds nothing) in a fresh folder
# on a private 1920x1080x24 Xvfb with MinRemake 0 (a capture for every picture), clicks on and no reverse
# look-ups, and lets mixed_load.py send viewer pages, pictures, clicks, slow readers and bursts beyond the
# 50 slots for the whole time. Samples the host's resident size and thread count and prints the curve,
# then the level over the last quarter beside the buffers a 1080p capture cannot avoid (CAPTURE_MB,
# default 20: the screen image and the picture made from it). Target: the level within 1.5 times that,
# and no growth over the last half. Not run by CI. Everything it starts is stopped by its PID on exit.
set -euo pipefail

build=${1:?usage: run.sh BUILD_DIR [SECONDS] [SAMPLE_SECONDS]}
seconds=${2:-600}
every=${3:-10}
capture_mb=${CAPTURE_MB:-20}
root=$(cd "$(dirname "$0")/../.." && pwd)
host=$build/bin/qvserver-headless
[ -x "$host" ] || { echo "no host at $host: build the target qvserver-headless first" >&2; exit 1; }
for tool in Xvfb python3; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh bench)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/qv-memory-bench.XXXXXX)
host_pid=""
load_pid=""
cleanup() {
    [ -n "$load_pid" ] && kill "$load_pid" 2>/dev/null && wait "$load_pid" 2>/dev/null || true
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null || true
    "$root/scripts/xvfb.sh" stop "$work/xvfb" || true
    rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=../ports.sh
source "$root/bench/ports.sh"

"$root/scripts/xvfb.sh" start "$work/xvfb" 1920x1080
screen=$(cat "$work/xvfb.display")
mkdir -p "$work/qv"
cp "$host" "$work/qv/qvserver-headless"
cp -r "$build/bin/data" "$work/qv/data"
port=$(free_port)
printf '[WWW]\nPort=%s\n[QV]\nMinRemake=0\nResolveHostname=no\nEnableClick=yes\nScaleDwonImage=no\nDrawTime=yes\n[TARGET]\nDesktop=yes\n' \
    "$port" >"$work/qv/current.ini"
DISPLAY=$screen "$work/qv/qvserver-headless" >"$work/qv/stdout.txt" 2>"$work/qv/stderr.txt" &
host_pid=$!
wait_listening "$port"

python3 "$root/bench/memory/mixed_load.py" --port "$port" --seconds "$seconds" >"$work/load.txt" &
load_pid=$!

echo "qvserver-headless under mixed load for ${seconds} s at 1920x1080; load average" \
    "$(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "seconds  resident MB  threads"
samples="$work/samples.txt"
start=$(date +%s)
while kill -0 "$load_pid" 2>/dev/null; do
    sleep "$every"
    kill -0 "$host_pid" 2>/dev/null || { echo "qvserver-headless ended" >&2; exit 1; }
    rss_kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$host_pid/status")
    threads=$(ls "/proc/$host_pid/task" | wc -l)
    elapsed=$(($(date +%s) - start))
    echo "$elapsed $rss_kb" >>"$samples"
    awk -v t="$elapsed" -v r="$rss_kb" -v n="$threads" 'BEGIN {printf "%7d  %11.1f  %7d\n", t, r / 1024, n}'
done
wait "$load_pid" || true
load_pid=""
cat "$work/load.txt"
echo "log lines: $(wc -l <"$work/qv/log.txt"); load average $(cut -d' ' -f1-3 /proc/loadavg)"

# The level: the mean of the last quarter of the samples; growth: the last quarter's mean against the
# mean of the quarter before the last half began.
awk -v capture="$capture_mb" '{t[NR] = $1; r[NR] = $2 / 1024} END {
    n = NR; if (n < 4) { print "too few samples"; exit 1 }
    q = int(n / 4); last = 0; mid = 0; peak = 0
    for (i = n - q + 1; i <= n; ++i) last += r[i]
    for (i = int(n / 2) - q + 1; i <= int(n / 2); ++i) mid += r[i]
    for (i = 1; i <= n; ++i) if (r[i] > peak) peak = r[i]
    last /= q; mid /= q
    ratio = last / capture
    verdict = (ratio <= 1.5 && last <= mid * 1.05) ? "met" : "missed"
    printf "level %.1f MB (peak %.1f MB) = %.2fx the %d MB of capture buffers (target <= 1.50); " \
           "last quarter vs. middle %.1f MB: %+.1f%%: %s\n", last, peak, ratio, capture, mid,
           100 * (last - mid) / mid, verdict
    exit verdict == "met" ? 0 : 1
}' "$samples"
