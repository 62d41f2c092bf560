#!/bin/bash
# run.sh [BUILD_DIR] [CLIENT OPTIONS...] -- soak test of qvserver-headless (BUILD_DIR defaults to build/).
# Copies the executable and its data/ into a fresh folder, writes a current.ini there (a free port,
# authentication on, MinRemake 1, clicks on, no reverse look-ups), starts it on a private Xvfb and lets
# soak_client.py run 20,000 mixed requests over 50 connections against 127.0.0.1, making log.txt
# unwritable twice along the way; then hostile_client.py: 50 clients that never send a head and reconnect
# whenever cut, beside well-behaved ones, and clients that never read their answer or keep sending while
# they receive (SOAK_MIXED=0 skips the mixed traffic, SOAK_HOSTILE=0 the hostile clients). Prints the
# clients' reports and exits non-zero when a check failed or the server did not end cleanly on SIGTERM. Everything it starts is stopped by PID; the folder is removed
# unless the run failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
[ $# -gt 0 ] && shift
limit_seconds=${SOAK_TIME_LIMIT:-900}
"$root/scripts/install-deps.sh" build bench

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target qvserver-headless >/dev/null

work=$(mktemp -d /tmp/qv-soak.XXXXXX)
server_pid=
status=1
cleanup() {
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill -KILL "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    "$root/scripts/xvfb.sh" stop "$work/xvfb" || true
    if [ "$status" -eq 0 ]; then rm -rf "$work"; else echo "soak: files kept in $work" >&2; fi
}
trap cleanup EXIT

cp "$build/bin/qvserver-headless" "$work/"
cp -r "$build/bin/data" "$work/data"
"$root/scripts/xvfb.sh" start "$work/xvfb" 1280x1024
export DISPLAY=$(cat "$work/xvfb.display")

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user=soak
password='s0ak:pass'
realm='Soak Realm'
cat > "$work/current.ini" <<EOF
[IMAGE]
Quality=75
[WWW]
Port=$port
Realm=$realm
User=$user
Pass=$password
Authenticate=yes
Run=yes
[QV]
EnableClick=yes
Priority=1
MinRemake=1
ScaleDwonImage=no
DrawTime=yes
ResolveHostname=no
[TARGET]
Desktop=yes
WinClass=
EOF

"$work/qvserver-headless" > "$work/server.out" 2>&1 &
server_pid=$!
# Listening yet? Looked up in the kernel's table rather than by connecting, which would add a log line.
listening() { grep -Eq "^ *[0-9]+: [0-9A-F]{8}:$(printf '%04X' "$port") [0-9A-F]{8}:[0-9A-F]{4} 0A " /proc/net/tcp; }
for _ in $(seq 1 100); do
    if listening; then break; fi
    if ! kill -0 "$server_pid" 2>/dev/null; then
        echo "soak: qvserver-headless did not start:" >&2
        cat "$work/server.out" >&2
        exit 1
    fi
    sleep 0.1
done
if ! listening; then
    echo "soak: qvserver-headless does not listen on port $port" >&2
    exit 1
fi

echo "soak: qvserver-headless PID $server_pid on 127.0.0.1:$port, display $DISPLAY, folder $work"
client_status=0
if [ "${SOAK_MIXED:-1}" != 0 ]; then
    timeout "$limit_seconds" python3 "$root/bench/soak/soak_client.py" --port "$port" --pid "$server_pid" \
        --log "$work/log.txt" --user "$user" --password "$password" --realm "$realm" "$@" || client_status=$?
    [ "$client_status" -eq 124 ] && echo "soak: the client did not finish within $limit_seconds s" >&2
fi
if [ "${SOAK_HOSTILE:-1}" != 0 ] && [ "$client_status" -eq 0 ]; then
    timeout "$limit_seconds" python3 "$root/bench/soak/hostile_client.py" --port "$port" --pid "$server_pid" \
        --user "$user" --password "$password" || client_status=$?
fi

# Running and not yet a zombie waiting to be reaped.
running() { [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* ([^)]*) Z' "/proc/$1/stat" 2>/dev/null; }
kill -TERM "$server_pid"
server_status=
for _ in $(seq 1 100); do
    if ! running "$server_pid"; then
        server_status=0
        wait "$server_pid" || server_status=$?
        break
    fi
    sleep 0.1
done
if [ -z "$server_status" ]; then
    echo "soak: qvserver-headless did not end within 10 s of SIGTERM" >&2
    server_status=1
else
    echo "soak: qvserver-headless ended on SIGTERM with status $server_status"
fi
server_pid=
if [ -s "$work/server.out" ]; then
    echo "soak: server output:" && head -n 20 "$work/server.out"
fi

if [ "$client_status" -eq 0 ] && [ "$server_status" -eq 0 ]; then status=0; fi
exit $status
