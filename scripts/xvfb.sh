#!/bin/bash
# xvfb.sh start|stop PREFIX [WxH] -- a private Xvfb for tests and benchmarks.
# start: launches Xvfb on a free display with a 24-bit screen and -noreset (the defaults are 8-bit, and
# without -noreset the server resets whenever its last client leaves), writes PREFIX.display (":N") and
# PREFIX.pid, and returns once the display accepts clients. stop: ends that Xvfb by its PID.
set -euo pipefail
action=$1; prefix=$2; size=${3:-1280x1024}
case "$action" in
start)
    # A server this prefix started before goes first: CTest's --repeat runs the fixture's start again.
    "$0" stop "$prefix"
    mkdir -p "$(dirname "$prefix")"
    rm -f "$prefix.display" "$prefix.pid"
    exec 3> "$prefix.fd"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -noreset -nolisten tcp >"$prefix.log" 2>&1 3>&3 &
    echo $! > "$prefix.pid"
    exec 3>&-
    for _ in $(seq 1 100); do
        if [ -s "$prefix.fd" ]; then
            echo ":$(tr -d '\n' < "$prefix.fd")" > "$prefix.display"
            rm -f "$prefix.fd"
            exit 0
        fi
        sleep 0.1
    done
    echo "Xvfb did not start; see $prefix.log" >&2
    kill "$(cat "$prefix.pid")" 2>/dev/null || true
    exit 1
    ;;
stop)
    if [ -f "$prefix.pid" ]; then
        kill "$(cat "$prefix.pid")" 2>/dev/null || true
        rm -f "$prefix.pid" "$prefix.display"
    fi
    ;;
*)
    echo "usage: xvfb.sh start|stop PREFIX [WxH]" >&2
    exit 2
    ;;
esac
