#!/bin/bash
# run.sh BUILD_DIR [SECONDS] [ROUNDS] -- measures the HTTP engine against nginx, side by side.
#
# Starts the engine's bench host (BUILD_DIR/bin/engine_bench_host, built beforehand: this script builds
# nothing) and nginx on 127.0.0.1, both answering every request with the same 99-byte 404 page and one
# request per connection, and loads each with wrk: 2 threads, 50 connections, "Connection: close". Prints
# requests/s and p50/p99 latency of both and the engine's ratios to nginx, for each round. Targets: at
# least nginx's requests/s, and a p99 no worse than nginx's. Then the same at 200 and 1000 connections,
# where the engine serves 50 at a time and refuses the rest with its 503, timed by bench/load's load_client
# from each connect call: answers/s, the 503 share, p99 and the longest wait for a 503 of each.
#
# Everything it starts is stopped by its PID on exit.
set -euo pipefail

build=${1:?usage: run.sh BUILD_DIR [SECONDS] [ROUNDS]}
seconds=${2:-10}
rounds=${3:-3}
connections=50
threads=2
host=$build/bin/engine_bench_host
[ -x "$host" ] || { echo "no bench host at $host: build the target engine_bench_host first" >&2; exit 1; }
[ -x "$build/bin/load_client" ] || { echo "no load client in $build/bin: build the target load_client" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is not installed" >&2; exit 1; }
command -v nginx >/dev/null || { echo "nginx is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/qv-engine-bench.XXXXXX)
chmod 755 "$work"
host_pid=""
nginx_pid=""
cleanup() {
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null || true
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=../ports.sh
source "$(dirname "$0")/../ports.sh"

engine_port=$(free_port)
"$host" "$engine_port" >"$work/host.out" 2>&1 &
host_pid=$!
wait_listening "$engine_port"

nginx_port=$(free_port)
while [ "$nginx_port" = "$engine_port" ]; do nginx_port=$(free_port); done
page='<html><head><title>Error 404</title></head><body><b>HTTP/1.1 404 File Not Found. </b></body></html>'
[ ${#page} -eq 99 ] || { echo "the page must be 99 bytes" >&2; exit 1; }
mkdir -p "$work/nginx/logs"
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
        listen 127.0.0.1:$nginx_port;
        default_type "";
        location / { return 404 '$page'; }
    }
}
EOF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
wait_listening "$nginx_port"

# wrk's latency figures (e.g. 812.00us, 1.20ms, 1.01s) in milliseconds.
to_ms() {
    awk -v value="$1" 'BEGIN {
        if (value ~ /us$/) { sub(/us$/, "", value); printf "%.3f", value / 1000 }
        else if (value ~ /ms$/) { sub(/ms$/, "", value); printf "%.3f", value }
        else if (value ~ /m$/) { sub(/m$/, "", value); printf "%.3f", value * 60000 }
        else { sub(/s$/, "", value); printf "%.3f", value * 1000 }
    }'
}

# The engine's answer counts so far: "404 400 503".
engine_counts() {
    local lines before
    before=$(grep -c '^other ' "$work/host.out" || true)
    kill -USR1 "$host_pid"
    for _ in $(seq 100); do
        [ "$(grep -c '^other ' "$work/host.out" || true)" -gt "$before" ] && break
        sleep 0.02
    done
    lines=$(grep -E '^(404|400|503) ' "$work/host.out" | tail -3)
    echo "$lines" | awk '{v[$1] = $2} END {print v["404"] + 0, v["400"] + 0, v["503"] + 0}'
}

# measure NAME PORT [CONNECTIONS]: runs wrk and sets rps, p50, p99, slowest (milliseconds), errors and,
# for the engine, refused (the share of 503 answers).
measure() {
    local name=$1 port=$2 clients=${3:-$connections} out="$work/wrk-$1.txt" before after
    wrk -t"$threads" -c"$clients" -d2s -H 'Connection: close' "http://127.0.0.1:$port/" >/dev/null
    [ "$name" = engine ] && before=$(engine_counts)
    wrk -t"$threads" -c"$clients" -d"${seconds}s" --latency -H 'Connection: close' \
        "http://127.0.0.1:$port/" >"$out"
    refused=0
    if [ "$name" = engine ]; then
        after=$(engine_counts)
        refused=$(awk -v b="$before" -v a="$after" 'BEGIN {
            split(b, x, " "); split(a, y, " "); total = (y[1] - x[1]) + (y[2] - x[2]) + (y[3] - x[3])
            printf "%.4f", (total > 0 ? (y[3] - x[3]) / total : 0) }')
    fi
    rps=$(awk '/^Requests\/sec:/ {print $2}' "$out")
    p50=$(to_ms "$(awk '$1 == "50%" {print $2}' "$out")")
    p99=$(to_ms "$(awk '$1 == "99%" {print $2}' "$out")")
    slowest=$(to_ms "$(awk '$1 == "Latency" {print $4}' "$out")")
    errors=$(awk '/Socket errors:/ {print}' "$out")
    printf '%-7s c=%-4s %9.0f req/s   p50 %8.3f ms   p99 %8.3f ms   max %8.1f ms   503 %5.2f%%   %s\n' \
        "$name" "$clients" "$rps" "$p50" "$p99" "$slowest" "$(awk -v r="$refused" 'BEGIN {print r * 100}')" \
        "$errors"
}

median() {
    tr ' ' '\n' | grep -v '^$' | sort -g |
        awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

echo "wrk -t$threads -c$connections -d${seconds}s, one request per connection, 99-byte 404 page, $rounds round(s);" \
    "load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
engine_rps_all="" engine_p50_all="" engine_p99_all="" nginx_rps_all="" nginx_p50_all="" nginx_p99_all=""
for round in $(seq "$rounds"); do
    # The order alternates, so that neither server always runs in the other's wake.
    if [ $((round % 2)) -eq 1 ]; then order="engine nginx"; else order="nginx engine"; fi
    for name in $order; do
        if [ "$name" = engine ]; then
            measure engine "$engine_port"
            engine_rps_all+=" $rps" engine_p50_all+=" $p50" engine_p99_all+=" $p99"
        else
            measure nginx "$nginx_port"
            nginx_rps_all+=" $rps" nginx_p50_all+=" $p50" nginx_p99_all+=" $p99"
        fi
    done
done

engine_rps=$(echo "$engine_rps_all" | median) nginx_rps=$(echo "$nginx_rps_all" | median)
engine_p50=$(echo "$engine_p50_all" | median) nginx_p50=$(echo "$nginx_p50_all" | median)
engine_p99=$(echo "$engine_p99_all" | median) nginx_p99=$(echo "$nginx_p99_all" | median)
echo "medians over $rounds round(s):"
printf '%-7s %10.0f req/s   p50 %8.3f ms   p99 %8.3f ms\n' engine "$engine_rps" "$engine_p50" "$engine_p99"
printf '%-7s %10.0f req/s   p50 %8.3f ms   p99 %8.3f ms\n' nginx "$nginx_rps" "$nginx_p50" "$nginx_p99"
read -r rps_ratio p50_ratio p99_ratio verdict < <(awk -v er="$engine_rps" -v nr="$nginx_rps" \
    -v e50="$engine_p50" -v n50="$nginx_p50" -v ep="$engine_p99" -v np="$nginx_p99" 'BEGIN {
        r = er / nr; p = ep / np
        printf "%.2f %.2f %.2f %s\n", r, e50 / n50, p, (r >= 1.0 && p <= 1.0) ? "met" : "missed"
    }')
echo "engine/nginx: requests/s $rps_ratio (target >= 1.00), p50 $p50_ratio, p99 $p99_ratio (target <= 1.00):" \
    "$verdict"
status=0
[ "$verdict" = met ] || status=1

# More clients than slots: the engine refuses the rest at once with its complete 503. Timed by load_client
# from each connect call, so that a client whose handshake waits in a full queue counts too.
probe() {  # NAME PORT CONNECTIONS: prints a line, sets rate, share, p99 and refused_max
    local line
    line=$("$build/bin/load_client" "$2" / "$3" "$seconds")
    read -r _ requests _ rate _ _ _ refused _ _ _ failed _ p50 _ p99 _ slowest _ refused_max _ _ <<<"$line"
    share=$(awk -v r="$refused" -v n="$requests" 'BEGIN {printf "%.2f", n ? 100 * r / n : 0}')
    printf '%-7s c=%-4s %9.0f answers/s   503 %6.2f%%   p50 %8.3f ms   p99 %8.3f ms   max %8.1f ms   longest 503 %8.1f ms   failed %s\n' \
        "$1" "$3" "$rate" "$share" "$p50" "$p99" "$slowest" "$refused_max" "$failed"
}
for clients in 200 1000; do
    probe engine "$engine_port" "$clients"
    engine_rate=$rate engine_p99=$p99 engine_refused_max=$refused_max
    probe nginx "$nginx_port" "$clients"
    awk -v er="$engine_rate" -v nr="$rate" -v ep="$engine_p99" -v np="$p99" -v w="$engine_refused_max" -v c="$clients" \
        'BEGIN { printf "engine/nginx c=%s: answers/s %.2f, p99 %.2f; longest 503 wait %.0f ms (%s 1 s)\n",
                 c, er / nr, ep / np, w, w <= 1000 ? "within" : "OVER" }'
done

kill "$host_pid"
wait "$host_pid" 2>/dev/null || true
host_pid=""
echo "engine answers: $(grep -E '^(404|400|503|other) ' "$work/host.out" | tr '\n' ' ')"
exit $status
