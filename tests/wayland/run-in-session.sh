#!/bin/bash
# run-in-session.sh SESSION_DIR PROGRAM [ARGS...] -- runs a test program inside the headless sway session
# that sway-headless.sh started in SESSION_DIR, as the session's user. The program, qvserver-headless with
# its data and the click probe are copied into the session's runtime folder first, since that user may
# not reach the build folder. QV_BIN_DIR and QV_CLICK_PROBE point the test at the copies.
set -euo pipefail
session=${1:?usage: run-in-session.sh SESSION_DIR PROGRAM [ARGS...]}
shift
. "$session/env"
copies="$XDG_RUNTIME_DIR/bin"
mkdir -p "$copies/data"
cp "$1" "$copies/"
cp "${QV_BIN_DIR:?}/qvserver-headless" "$copies/"
cp "$QV_BIN_DIR/data/wait.jpg" "$copies/data/"
cp "${QV_CLICK_PROBE:?}" "$copies/"
# The sanitizers' suppression files may lie where the session's user cannot read them either.
if [[ "${TSAN_OPTIONS:-}" =~ suppressions=([^ :]+) ]]; then
    cp "${BASH_REMATCH[1]}" "$copies/tsan.supp"
    TSAN_OPTIONS=${TSAN_OPTIONS/${BASH_REMATCH[1]}/$copies/tsan.supp}
    export TSAN_OPTIONS
fi
program="$copies/$(basename "$1")"
shift
run_as=()
if [ "$(id -u)" = 0 ]; then
    chown -R "$QV_WAYLAND_USER:" "$copies"
    run_as=(setpriv --reuid="$QV_WAYLAND_USER" --regid="$QV_WAYLAND_USER" --init-groups --)
fi
export QV_BIN_DIR="$copies" QV_CLICK_PROBE="$copies/$(basename "$QV_CLICK_PROBE")"
cd "$copies"
exec "${run_as[@]}" env HOME="$XDG_RUNTIME_DIR" "$program" "$@"
