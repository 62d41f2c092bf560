#!/bin/bash
# package.sh [BUILD_DIR] -- builds the programs in BUILD_DIR (default build/) and makes a .deb of what
# `cmake --install` installs, under /usr. Prints the package's path as its last line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target qvserver qvserver-headless >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
ls -t "$build"/qvserver_*.deb | head -n 1
