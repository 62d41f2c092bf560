#!/bin/bash
# bench/panel/run.sh [BUILD_DIR] [RUNS] -- how long qvserver takes from its start to a panel on the
# screen. Each run starts qvserver in a fresh folder (no current.ini: the defaults, nothing started) on a
# private Xvfb, and watches from outside, with xwininfo, for the window "ORV QV Server" to become viewable.
# Prints each time and the median; the target is a median under 300 ms. The processor time qvserver used
# until then is printed beside it: on a busy machine the wall time mostly measures the wait for a core.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
runs=${2:-10}
target_ms=300
binary="$build/bin/qvserver"
[ -x "$binary" ] || { echo "no $binary: build the qvserver target first" >&2; exit 2; }

work=$(mktemp -d /tmp/qvbench-panel.XXXXXX)
qv_pid=""
cleanup() {
    if [ -n "$qv_pid" ]; then kill "$qv_pid" 2>/dev/null || true; wait "$qv_pid" 2>/dev/null || true; fi
    "$root/scripts/xvfb.sh" stop "$work/xvfb"
    rm -rf "$work"
}
trap cleanup EXIT

"$root/scripts/xvfb.sh" start "$work/xvfb" 1280x1024
export DISPLAY=$(cat "$work/xvfb.display")
mkdir -p "$work/app/data"
cp "$binary" "$work/app/qvserver"
cp "$build/bin/data/wait.jpg" "$work/app/data/wait.jpg"

now_ns() { date +%s%N; }
viewable() { xwininfo -name "ORV QV Server" 2>/dev/null | grep -q 'IsViewable'; }

ticks_per_second=$(getconf CLK_TCK)
# Processor time (user + system) of a process so far, in ms.
cpu_ms() { local fields; read -r -a fields < "/proc/$1/stat"; echo $(( (fields[13] + fields[14]) * 1000 / ticks_per_second )); }

times=()
cpus=()
# One run first to bring the binary, Qt and the fonts into the page cache, as on a machine in use.
for run in $(seq 0 "$runs"); do
    rm -f "$work/app/current.ini" "$work/app/screen.jpg"
    start=$(now_ns)
    "$work/app/qvserver" >/dev/null 2>&1 &
    qv_pid=$!
    until viewable; do
        if ! kill -0 "$qv_pid" 2>/dev/null; then echo "qvserver ended before showing its panel" >&2; exit 1; fi
        if [ $(( ($(now_ns) - start) / 1000000 )) -gt 10000 ]; then echo "no panel after 10 s" >&2; exit 1; fi
    done
    elapsed=$(( ($(now_ns) - start) / 1000000 ))
    cpu=$(cpu_ms "$qv_pid")
    kill "$qv_pid"; wait "$qv_pid" 2>/dev/null || true; qv_pid=""
    while viewable; do sleep 0.01; done
    if [ "$run" -gt 0 ]; then
        times+=("$elapsed")
        cpus+=("$cpu")
        echo "run $run: ${elapsed} ms (processor ${cpu} ms)"
    fi
done

median_of() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : int((v[NR/2]+v[NR/2+1])/2)}'; }
median=$(median_of "${times[@]}")
cpu_median=$(median_of "${cpus[@]}")
min=$(printf '%s\n' "${times[@]}" | sort -n | head -1)
max=$(printf '%s\n' "${times[@]}" | sort -n | tail -1)
echo "qvserver start to viewable panel: median ${median} ms (min ${min}, max ${max}, ${#times[@]} runs; target < ${target_ms} ms)"
echo "processor time until then: median ${cpu_median} ms; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$median" -lt "$target_ms" ]
