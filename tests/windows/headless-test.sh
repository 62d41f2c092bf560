#!/bin/bash
# headless-test.sh BUILD_DIR -- qvserver-headless.exe under Wine, asked by curl on Linux: a copy of the
# program in a fresh folder serves /screen as a JPEG, logs the request, and ends with status 0 on Ctrl+C
# (SIGINT, which Wine turns into the console's Ctrl+C event). Its settings come by --config from a folder
# with a Japanese name, which the program must read from the wide command line.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$dir/bin/qvserver-headless.exe" "$dir/bin/data" "$work/"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
settings_dir="設定フォルダ"
mkdir "$work/$settings_dir"
printf '[WWW]\r\nPort=%s\r\n' "$port" > "$work/$settings_dir/my.ini"
(cd "$work" && LC_ALL=C.UTF-8 exec "$root/scripts/wine.sh" run "$dir" ./qvserver-headless.exe --config "$settings_dir\\my.ini" >"$work/stdout.txt") &
server=$!
for _ in $(seq 1 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/" && break
    sleep 0.1
done
status=$(curl -s -o "$work/screen.out" -w '%{http_code} %{content_type}' "http://127.0.0.1:$port/screen")
kill -INT "$server"
wait "$server" && ended=0 || ended=$?
fail=0
[ "$status" = "200 image/jpeg" ] || { echo "/screen answered '$status'" >&2; fail=1; }
[ "$(head -c 2 "$work/screen.out" | od -An -tx1 | tr -d ' ')" = "ffd8" ] || { echo "not a JPEG" >&2; fail=1; }
grep -q ' /screen 200 ' "$work/log.txt" || { echo "no log line for /screen" >&2; fail=1; }
[ "$ended" = 0 ] || { echo "ended with status $ended after Ctrl+C" >&2; fail=1; }
exit $fail
