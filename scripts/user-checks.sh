#!/bin/bash
# user-checks.sh [BUILD_DIR] -- what users meet beyond the unit tests, on a finished build: the live page
# in headless Chromium (desktop and phone sizes), the .deb installed and run by an unprivileged user, and
# the nginx recipe of docs/reverse-proxy.md in front of the service. Screenshots of the page go to
# BUILD_DIR/page-shots/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
status=0
echo "== live page"
python3 "$root/tests/page/viewer_page_test.py" "$build/bin/qvserver-headless" "$build/page-shots" || status=1
echo "== installed package"
bash "$root/scripts/install-test.sh" "$build" || status=1
echo "== reverse proxy"
python3 "$root/tests/page/proxy_test.py" "$build/bin/qvserver-headless" || status=1
exit $status
