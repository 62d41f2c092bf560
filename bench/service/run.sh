#!/bin/bash
# run.sh BUILD_DIR [SECONDS] [ROUNDS] -- measures qvserver-headless against nginx, side by side.
#
# Both serve the same bytes on 127.0.0.1 with one request per connection (nginx: keepalive_timeout 0):
# "/" is the 180-byte built-in viewer page, "/screen" one progressive JPEG of a 1920x1080 desktop picture
# (bench/desktop.sh). qvserver-headless (BUILD_DIR/bin, built beforehand: this script builds
# nothing) runs with MinRemake 4000000 and ResolveHostname off, so "/screen" is served from the existing
# file, and writes its access log as always; nginx runs without an access log. wrk loads each with 2
# threads, 50 connections and "Connection: close" and the script prints requests/s, p50 and p99 latency and
# the ratios to nginx. Targets: at least nginx's requests/s, a p99 no worse than nginx's.
#
# Then both paths at 50, 200 and 1000 connections, timed by bench/load's load_client from each connect
# call (qvserver-headless serves 50 at a time and refuses the rest with its 503; nginx listens with the
# same backlog): answers/s, the 503 share, p99 and the longest wait for a 503 beside nginx's, with the
# ratios, and the machine's CPU time and context switches per answer and its busy share while each ran.
# Each round takes every figure; each figure is judged on the medians of its ratios over the rounds, and no
# 503 may take over a second in any round. Then "/screen" with a capture on every request (MinRemake 0) of
# a 1920x1080 Xvfb screen showing that picture, at 1 and at 50 connections: requests/s, latency and the 503
# share, bound by the capture pipeline; the host's resident memory is printed after each part.
#
# Everything it starts is stopped by its PID on exit.
set -euo pipefail

build=${1:?usage: run.sh BUILD_DIR [SECONDS] [ROUNDS]}
seconds=${2:-10}
rounds=${3:-1}
connections=50
threads=2
root=$(cd "$(dirname "$0")/../.." && pwd)
host=$build/bin/qvserver-headless
make_desktop=${QV_MAKE_DESKTOP:-$root/bench/desktop.sh}
[ -x "$host" ] || { echo "no host at $host: build the target qvserver-headless first" >&2; exit 1; }
[ -x "$build/bin/load_client" ] || { echo "no load client in $build/bin: build the target load_client" >&2; exit 1; }
[ -f "$make_desktop" ] || { echo "no picture maker at $make_desktop (set QV_MAKE_DESKTOP)" >&2; exit 1; }
for tool in wrk nginx Xvfb display convert; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh bench)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/qv-service-bench.XXXXXX)
chmod 755 "$work"
host_pid=""
nginx_pid=""

xvfb_started=""
stop_host() {
    if [ -n "$host_pid" ]; then
        kill "$host_pid" 2>/dev/null || true
        wait "$host_pid" 2>/dev/null || true
        host_pid=""
    fi
}
cleanup() {
    stop_host
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true

    [ -n "$xvfb_started" ] && "$root/scripts/xvfb.sh" stop "$work/xvfb" || true
    rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=../ports.sh
source "$root/bench/ports.sh"

# The same bytes for both servers: the built-in page and one desktop picture.
"$make_desktop" 1920 1080 "$work/desktop.png"
convert "$work/desktop.png" -quality 75 -interlace JPEG "$work/screen.jpg"
page='<html><head><title>QV Server</title></head><body><a href="./">Reload</a> | <a href="./screen">Image</a><br><a href="./click"><img src="./screen" ISMAP border="0"></a></body></html>'
[ ${#page} -eq 180 ] || { echo "the page must be 180 bytes" >&2; exit 1; }
picture_bytes=$(stat -c %s "$work/screen.jpg")

# qvserver-headless in a folder of its own: the picture is its start-up picture, copied to screen.jpg.
mkdir -p "$work/qv/data"
cp "$host" "$work/qv/qvserver-headless"
cp "$work/screen.jpg" "$work/qv/data/wait.jpg"
# The host will not start without a screen to capture; with MinRemake 4000000 it never captures one.
"$root/scripts/xvfb.sh" start "$work/xvfb" 1920x1080
xvfb_started=1
screen=$(cat "$work/xvfb.display")
start_host() {  # PORT MINREMAKE
    printf '[WWW]\nPort=%s\n[QV]\nMinRemake=%s\nResolveHostname=no\nEnableClick=no\nScaleDwonImage=no\nDrawTime=yes\n[TARGET]\nDesktop=yes\n' \
        "$1" "$2" >"$work/qv/current.ini"
    rm -f "$work/qv/log.txt"
    DISPLAY=$screen "$work/qv/qvserver-headless" >"$work/qv/stdout.txt" 2>"$work/qv/stderr.txt" &
    host_pid=$!
    wait_listening "$1"
}

qv_port=$(free_port)
start_host "$qv_port" 4000000

nginx_port=$(free_port)
while [ "$nginx_port" = "$qv_port" ]; do nginx_port=$(free_port); done
mkdir -p "$work/nginx/logs" "$work/nginx/html"
printf '%s' "$page" >"$work/nginx/html/index.html"
cp "$work/screen.jpg" "$work/nginx/html/screen.jpg"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    keepalive_timeout 0;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    server {
        # The host's own backlog. With its default of 511, nginx overflows at 1000 clients, and those whose
        # handshake is dropped wait a second for its retry.
        listen 127.0.0.1:$nginx_port backlog=2048;
        root $work/nginx/html;
        location = / { default_type text/html; try_files /index.html =404; }
        location = /screen { default_type image/jpeg; try_files /screen.jpg =404; }
    }
}
EOF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
wait_listening "$nginx_port"

# Both must send the same body bytes before anything is measured.
for path in / /screen; do
    curl -s "http://127.0.0.1:$qv_port$path" -o "$work/qv.body"
    curl -s "http://127.0.0.1:$nginx_port$path" -o "$work/nginx.body"
    cmp -s "$work/qv.body" "$work/nginx.body" || { echo "the servers answer $path differently" >&2; exit 1; }
done

# wrk's latency figures (e.g. 812.00us, 1.20ms, 1.01s) in milliseconds.
to_ms() {
    awk -v value="$1" 'BEGIN {
        if (value ~ /us$/) { sub(/us$/, "", value); printf "%.3f", value / 1000 }
        else if (value ~ /ms$/) { sub(/ms$/, "", value); printf "%.3f", value }
        else if (value ~ /m$/) { sub(/m$/, "", value); printf "%.3f", value * 60000 }
        else { sub(/s$/, "", value); printf "%.3f", value * 1000 }
    }'
}

# measure NAME PORT PATH CONNECTIONS SECONDS: runs wrk and sets rps, p50, p99 (milliseconds).
measure() {
    local name=$1 port=$2 path=$3 clients=$4 duration=$5 out="$work/wrk.txt"
    local thread_count=$((clients < threads ? clients : threads))
    wrk -t"$thread_count" -c"$clients" -d"${duration}s" --timeout 60s --latency -H 'Connection: close' \
        "http://127.0.0.1:$port$path" >"$out"
    rps=$(awk '/^Requests\/sec:/ {print $2}' "$out")
    p50=$(to_ms "$(awk '$1 == "50%" {print $2}' "$out")")
    p99=$(to_ms "$(awk '$1 == "99%" {print $2}' "$out")")
    # Answers other than 200 (a full connection table's 503) count in wrk's rate; the 200s get their own.
    local errors ok_rps
    errors=$(awk '/Socket errors:|Non-2xx/ {printf "%s ", $0}' "$out")
    ok_rps=$(awk '/requests in/ {total = $1; time = $4; unit = time; gsub(/[0-9.,]/, "", unit)
                                 time += 0; if (unit == "m") time *= 60; if (unit == "ms") time /= 1000}
        /Non-2xx/ {bad = $NF}
        END {printf "%.1f", (total - bad) / time}' "$out")
    slowest=$(to_ms "$(awk '$1 == "Latency" {print $4}' "$out")")
    refused=$(awk '/requests in/ {total = $1} /Non-2xx/ {bad = $NF} END {printf "%.2f", total ? 100 * bad / total : 0}' "$out")
    printf '%-6s %-8s c=%-4s %9.1f req/s (200: %9.1f/s)   p50 %9.3f ms   p99 %9.3f ms   max %8.1f ms   non-200 %5.2f%%   %s\n' \
        "$name" "$path" "$clients" "$rps" "$ok_rps" "$p50" "$p99" "$slowest" "$refused" "$errors"
}

resident() {
    echo "qvserver-headless resident memory: $(awk '/^VmRSS:/ {print $2, $3}' "/proc/$host_pid/status")," \
        "threads $(ls "/proc/$host_pid/task" | wc -l)"
}

# Many clients at once, timed by load_client from each connect call to the server's close: answers/s, the
# 503 share, p99 and the longest wait for a 503, each beside nginx's in the same run. Beside them the whole
# machine's busy CPU time and context switches per answer while it ran (client, server and kernel): the
# host's speed drifts from run to run, these much less, and they show where the time goes. The busy share
# of its processors tells the two limits apart: near 1 the answers are bound by CPU time, well below it by
# the single-threaded load client's pace.
# probe NAME PORT PATH CONNECTIONS: sets the fields of load_client's line as shell variables, and cpu.
ticks_per_second=$(getconf CLK_TCK)
machine_counters() {
    awk '/^cpu / {busy = $2 + $3 + $4 + $7 + $8; idle = $5 + $6} /^ctxt/ {switches = $2}
        END {print busy, switches, idle}' /proc/stat
}
probe() {
    local line before after switches busy
    before=$(machine_counters)
    line=$("$build/bin/load_client" "$2" "$3" "$4" "$seconds")
    after=$(machine_counters)
    read -r _ requests _ rate _ ok _ refused _ other _ failed _ p50 _ p99 _ slowest _ refused_max _ ok_p99 <<<"$line"
    share=$(awk -v r="$refused" -v n="$requests" 'BEGIN {printf "%.2f", n ? 100 * r / n : 0}')
    served=$(awk -v n="$ok" -v s="$seconds" 'BEGIN {printf "%.1f", n / s}')
    read -r cpu switches busy < <(awk -v b="$before" -v a="$after" -v n="$requests" -v hz="$ticks_per_second" '
        BEGIN {
            split(b, x, " "); split(a, y, " "); n = n ? n : 1; busy = y[1] - x[1]; ticks = busy + y[3] - x[3]
            printf "%.1f %.2f %.2f\n", busy * 1e6 / hz / n, (y[2] - x[2]) / n, ticks ? busy / ticks : 0
        }')
    local format='%-6s %-8s c=%-4s %9.1f answers/s (served %9.1f/s)   503 %6.2f%%   p50 %8.3f ms   p99 %8.3f ms'
    format+='   max %8.1f ms   longest 503 %8.1f ms   failed %s'
    format+='   machine %6.1f us %5.2f switches per answer, busy %.2f\n'
    # shellcheck disable=SC2059
    printf "$format" "$1" "$3" "$4" "$rate" "$served" "$share" "$p50" "$p99" "$slowest" "$refused_max" "$failed" \
        "$cpu" "$switches" "$busy"
}

# One line per figure and round: FIGURE RATE_RATIO P99_RATIO SERVED_RATIO CPU_RATIO (or -), judged on the
# medians of the first two at the end. The machine's speed drifts by a tenth or more from one run to the
# next, for both servers alike. Under overload the rate counts the 503s; the served rate, the clients that
# got their answer, is shown beside it.
ratios=$work/ratios.txt
: >"$ratios"
# compare FIGURE QV_RATE NGINX_RATE QV_P99 NGINX_P99 QV_SERVED NGINX_SERVED [QV_CPU NGINX_CPU]: prints and
# records the ratios (the machine's CPU per answer only where it was measured).
compare() {
    awk -v f="$1" -v qr="$2" -v nr="$3" -v qp="$4" -v np="$5" -v qs="$6" -v ns="$7" \
        -v qc="${8:-}" -v nc="${9:-}" 'BEGIN {
        r = qr / nr; p = qp / np; s = qs / ns; c = (qc != "" && nc > 0) ? sprintf("%.4f", qc / nc) : "-"
        machine = c == "-" ? "" : sprintf(", machine CPU per answer %.2f", c)
        printf "qv/nginx %s: rate %.2f, p99 %.2f, served %.2f%s\n", f, r, p, s, machine
        printf "%s %.4f %.4f %.4f %s\n", f, r, p, s, c >>"/dev/stderr"
    }' 2>>"$ratios"
}

echo "wrk -t$threads -c$connections -d${seconds}s, one request per connection;" \
     "page 180 bytes, picture $picture_bytes bytes; load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
status=0
for round in $(seq "$rounds"); do
    echo "round $round"
    for path in / /screen; do
        wrk -t"$threads" -c"$connections" -d2s -H 'Connection: close' "http://127.0.0.1:$qv_port$path" >/dev/null
        measure qv "$qv_port" "$path" "$connections" "$seconds"
        qv_rps=$rps qv_p99=$p99
        wrk -t"$threads" -c"$connections" -d2s -H 'Connection: close' "http://127.0.0.1:$nginx_port$path" >/dev/null
        measure nginx "$nginx_port" "$path" "$connections" "$seconds"
        compare "$path@c=$connections,wrk" "$qv_rps" "$rps" "$qv_p99" "$p99" "$qv_rps" "$rps"
    done
    for clients in 50 200 1000; do
        for path in / /screen; do
            probe qv "$qv_port" "$path" "$clients"
            qv_rate=$rate qv_p99=$p99 qv_served=$served qv_refused_max=$refused_max qv_failed=$failed qv_cpu=$cpu
            probe nginx "$nginx_port" "$path" "$clients"
            compare "$path@c=$clients" "$qv_rate" "$rate" "$qv_p99" "$p99" "$qv_served" "$served" "$qv_cpu" "$cpu"
            # No refused client waits more than a second for its 503, in any round.
            if awk -v w="$qv_refused_max" -v f="$qv_failed" 'BEGIN {exit !(w > 1000 || f != 0)}'; then
                echo "missed: a 503 took $qv_refused_max ms or $qv_failed connections failed"
                status=1
            fi
        done
    done
done

# median: the middle of the numbers on standard input (the mean of the two middle ones for an even count).
median() {
    sort -g | awk '{value[NR] = $1} END {print (NR % 2) ? value[(NR + 1) / 2] : (value[NR / 2] + value[NR / 2 + 1]) / 2}'
}
echo "medians of $rounds round(s), qv/nginx (targets: rate >= 1.00, p99 <= 1.00)"
for figure in $(cut -d' ' -f1 "$ratios" | awk '!seen[$0]++'); do
    rate_ratio=$(awk -v f="$figure" '$1 == f {print $2}' "$ratios" | median)
    p99_ratio=$(awk -v f="$figure" '$1 == f {print $3}' "$ratios" | median)
    served_ratio=$(awk -v f="$figure" '$1 == f {print $4}' "$ratios" | median)
    cpu_ratios=$(awk -v f="$figure" '$1 == f && $5 != "-" {print $5}' "$ratios")
    cpu_ratio=""
    [ -z "$cpu_ratios" ] || cpu_ratio=$(printf '%.2f' "$(median <<<"$cpu_ratios")")
    verdict=$(awk -v r="$rate_ratio" -v p="$p99_ratio" 'BEGIN {print (r >= 1.0 && p <= 1.0) ? "met" : "missed"}')
    printf '%-22s rate %.2f   p99 %.2f   %-6s   served %.2f%s\n' "$figure" "$rate_ratio" "$p99_ratio" "$verdict" \
        "$served_ratio" "${cpu_ratio:+   machine CPU per answer $cpu_ratio}"
    [ "$verdict" = met ] || status=1
done
resident
echo "qv log lines: $(wc -l <"$work/qv/log.txt")"
stop_host

# A capture on every request, of a 1080p screen showing the desktop picture.
# display sets the root window's background and ends; it reports failure even when it has set it.
DISPLAY=$screen display -window root "$work/desktop.png" || true
qv_port=$(free_port)
start_host "$qv_port" 0
echo "capture on every request (MinRemake 0), 1920x1080 desktop, time stamp on, full size"
for clients in 1 "$connections"; do
    measure qv "$qv_port" /screen "$clients" "$seconds"
done
resident
captures=$(curl -s "http://127.0.0.1:$qv_port/screen" -o /dev/null -w '%{size_download}')
echo "last picture: $captures bytes"
stop_host
exit $status
