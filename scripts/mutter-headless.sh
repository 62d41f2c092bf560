#!/bin/bash
# mutter-headless.sh start DIR [WIDTHxHEIGHT] | stop DIR -- a private headless GNOME compositor for the
# Wayland tests and benchmarks: its own session bus (dbus-run-session), pipewire, wireplumber and
# mutter --headless with one virtual monitor, as the unprivileged user qv-wayland (made when missing) when
# run as root, with its own XDG_RUNTIME_DIR under /tmp (the user may not reach DIR). start writes DIR/env
# (WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS, QV_WAYLAND_USER) for the tests to source
# once mutter's ScreenCast service answers; stop ends every process it started by its PID and keeps
# the services' logs in DIR.
set -euo pipefail
usage="usage: mutter-headless.sh start|stop DIR [WIDTHxHEIGHT]"
command=${1:?$usage}
dir=${2:?$usage}
user=qv-wayland

# Ends the processes with the given PIDs: politely, all at once, then for sure after five seconds.
end() {
    kill "$@" 2>/dev/null || true
    for pid in "$@"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
}

stop() {
    local runtime=
    if [ -f "$dir/env" ]; then
        runtime=$(sed -n 's/^export XDG_RUNTIME_DIR=//p' "$dir/env")
    elif [ -f "$dir/runtime" ]; then
        runtime=$(cat "$dir/runtime")
    fi
    # The session's own processes first, then its bus.
    if [ -n "$runtime" ] && [ -f "$runtime/pids" ]; then
        end $(cat "$runtime/pids")
    fi
    if [ -f "$dir/session.pid" ]; then
        end "$(cat "$dir/session.pid")"
        rm -f "$dir/session.pid"
    fi
    # The services' logs stay in DIR for a look after a failed run.
    case "$runtime" in /tmp/qv-mutter.*) cp "$runtime"/*.log "$dir/" 2>/dev/null || true; rm -rf "$runtime" ;; esac
    rm -f "$dir/env" "$dir/runtime"
}

case "$command" in
stop) stop; exit 0 ;;
start) ;;
*) echo "mutter-headless.sh: unknown command '$command'" >&2; exit 2 ;;
esac

size=${3:-1280x720}
stop
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
runtime=$(mktemp -d /tmp/qv-mutter.XXXXXX)
echo "$runtime" > "$dir/runtime"
run_as=()
if [ "$(id -u)" = 0 ]; then
    id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user" ||
        id "$user" >/dev/null
    run_as=(setpriv --reuid="$user" --regid="$user" --init-groups --)
else
    user=$(id -un)
fi

# Runs inside the private bus: each service's PID goes to pids (PipeWire's also to pipewire.pid, for
# the test that ends it), the bus address to bus, and the session lasts as long as mutter does.
cat > "$runtime/session.sh" <<'SESSION'
#!/bin/bash
cd "$XDG_RUNTIME_DIR"
# The bus daemon is dbus-run-session's other child; it is stopped with the rest, since a
# dbus-run-session ended by a signal leaves it running.
ps -o pid= -o comm= --ppid "$PPID" | awk '$2 == "dbus-daemon" { print $1 }' >> pids
echo "$DBUS_SESSION_BUS_ADDRESS" > bus
pipewire > pipewire.log 2>&1 &
echo $! >> pids
echo $! > pipewire.pid
# wireplumber gives up at once when PipeWire's socket is not there yet; without it no stream is linked.
for _ in $(seq 100); do [ -S pipewire-0 ] && break; sleep 0.05; done
wireplumber > wireplumber.log 2>&1 &
echo $! >> pids
mutter --headless --wayland --no-x11 --wayland-display wayland-qv --virtual-monitor "$1" > mutter.log 2>&1 &
echo $! >> pids
wait $!
SESSION
chmod a+rx "$runtime/session.sh"
[ ${#run_as[@]} = 0 ] || chown -R "$user:" "$runtime"

env -i PATH=/usr/bin:/bin HOME="$runtime" XDG_RUNTIME_DIR="$runtime" XDG_SESSION_TYPE=wayland \
    GSETTINGS_BACKEND=memory "${run_as[@]}" dbus-run-session -- "$runtime/session.sh" "$size" \
    > "$dir/session.log" 2>&1 &
echo $! > "$dir/session.pid"

for _ in $(seq 150); do
    if [ -S "$runtime/wayland-qv" ] && [ -s "$runtime/bus" ]; then
        bus=$(cat "$runtime/bus")
        if env -i DBUS_SESSION_BUS_ADDRESS="$bus" XDG_RUNTIME_DIR="$runtime" "${run_as[@]}" \
            busctl --user status org.gnome.Mutter.ScreenCast >/dev/null 2>&1; then
            cat > "$dir/env" <<ENV
export XDG_RUNTIME_DIR=$runtime
export WAYLAND_DISPLAY=wayland-qv
export DBUS_SESSION_BUS_ADDRESS=$bus
export XDG_SESSION_TYPE=wayland
export QV_WAYLAND_USER=$user
ENV
            exit 0
        fi
    fi
    kill -0 "$(cat "$dir/session.pid")" 2>/dev/null || break
    sleep 0.1
done
echo "mutter-headless.sh: mutter did not come up; its logs:" >&2
cat "$dir/session.log" "$runtime"/*.log >&2 2>/dev/null || true
stop
exit 1
