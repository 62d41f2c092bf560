#!/bin/bash
# run.sh -- installs what is missing, builds, and starts QV Server. Without a display it first starts a
# private Xvfb showing a desktop-like picture; without a current.ini it writes one that starts the
# service on port 8080. Ctrl-C stops everything it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build run
"$root/scripts/build.sh" "$root/build"
bin="$root/build/bin"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    # Told to end, the panel saves its settings first, and it needs its display until it has.
    wait 2>/dev/null || true
    [ -n "${xvfb_prefix:-}" ] && "$root/scripts/xvfb.sh" stop "$xvfb_prefix"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

if [ -z "${DISPLAY:-}" ]; then
    xvfb_prefix=$(mktemp -d /tmp/qvserver-run.XXXXXX)/xvfb
    "$root/scripts/xvfb.sh" start "$xvfb_prefix" 1280x800
    export DISPLAY=$(cat "$xvfb_prefix.display")
    "$root/scripts/demo-desktop.sh" 1280 800 "$(dirname "$xvfb_prefix")/desktop.png"
    # display sets the root window's background and exits with status 1 even when it succeeded.
    display -window root "$(dirname "$xvfb_prefix")/desktop.png" || true
    echo "Started a private X screen $DISPLAY with a demo desktop."
fi

if [ ! -f "$bin/current.ini" ]; then
    printf '[WWW]\nPort=8080\nRun=yes\n' > "$bin/current.ini"
fi
port=$(sed -n 's/^[Pp]ort=\([0-9]*\).*/\1/p' "$bin/current.ini" | head -n 1)

"$bin/qvserver" &
pids+=($!)
echo "QV Server is running: open http://127.0.0.1:${port:-80}/ (Ctrl-C stops it)"
wait "${pids[0]}"
