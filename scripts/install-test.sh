#!/bin/bash
# install-test.sh [BUILD_DIR] -- installs the .deb of scripts/package.sh, runs the installed
# qvserver-headless as the unprivileged user nobody on a private Xvfb, checks that it serves pictures and
# keeps its files in that user's XDG folders, then removes the package again. Run as root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/ports.sh"
package=$(bash "$root/scripts/package.sh" "${1:-$root/build}" | tail -n 1)

work=$(mktemp -d /tmp/qv-install-test.XXXXXX)
chmod 755 "$work"
server=""
installed=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    bash "$root/scripts/xvfb.sh" stop "$work/xvfb"
    [ -n "$installed" ] && { dpkg -r qvserver >/dev/null 2>&1 || true; }
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install test: FAILED: $*" >&2; exit 1; }

if dpkg-query -W qvserver >/dev/null 2>&1; then
    fail "a qvserver package is installed already; not touching it"
fi
installed=yes
dpkg -i "$package" >/dev/null
for file in /usr/bin/qvserver /usr/bin/qvserver-headless /usr/share/qvserver/data/top.html \
    /usr/share/qvserver/data/wait.jpg /usr/share/icons/hicolor/scalable/apps/qvserver.svg \
    /usr/lib/systemd/user/qvserver-headless.service; do
    [ -f "$file" ] || fail "$file is not installed"
done
desktop-file-validate /usr/share/applications/qvserver.desktop || fail "the desktop entry is not valid"
man -w qvserver-headless >/dev/null && man -w qvserver >/dev/null || fail "man pages not found"
echo "install test: package installed; desktop entry valid; man pages found"

# The user nobody, with its home and XDG folders in the work folder.
home=$work/home
mkdir -p "$home/config/qvserver"
port=$(free_port)
printf '[WWW]\r\nPort=%s\r\n[QV]\r\nMinRemake=0\r\nDrawTime=yes\r\n' "$port" > "$home/config/qvserver/current.ini"
chown -R nobody:nogroup "$home"
bash "$root/scripts/xvfb.sh" start "$work/xvfb" 640x480
setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" \
    DISPLAY="$(cat "$work/xvfb.display")" /usr/bin/qvserver-headless &
server=$!
wait_listening "$port"

status=$(curl -s -o "$work/screen.jpg" -w '%{http_code} %{content_type}' "http://127.0.0.1:$port/screen")
[ "$status" = "200 image/jpeg" ] || fail "/screen answered '$status'"
[ "$(head -c 2 "$work/screen.jpg" | od -An -tx1 | tr -d ' ')" = ffd8 ] || fail "/screen is no JPEG"
curl -s "http://127.0.0.1:$port/" | cmp -s - /usr/share/qvserver/data/top.html ||
    fail "/ is not the installed live page"
state=$home/state/qvserver
[ -s "$state/log.txt" ] && grep -q ' /screen 200 ' "$state/log.txt" || fail "no access log in $state"
[ -f "$state/screen.jpg" ] || fail "no screen.jpg in $state"
[ "$(stat -c %U "$state/log.txt")" = nobody ] || fail "log.txt does not belong to nobody"
[ ! -e /usr/bin/log.txt ] && [ ! -e /usr/bin/screen.jpg ] || fail "files were written beside the executable"
echo "install test: installed qvserver-headless as nobody: /screen 200 image/jpeg, / the live page," \
    "log.txt and screen.jpg in $state"

kill "$server" && wait "$server" || true
server=""
dpkg -r qvserver >/dev/null
installed=""
[ ! -e /usr/bin/qvserver-headless ] && [ ! -e /usr/share/qvserver ] || fail "files left after removal"
echo "install test: package removed"
