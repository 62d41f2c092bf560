#!/bin/bash
# build.sh [BUILD_DIR] [SANITIZERS] [CMAKE OPTIONS...] -- configures and builds the project (build/ by
# default). SANITIZERS: empty, "address,undefined" or "thread".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
sanitize=${2:-}
shift $(( $# < 2 ? $# : 2 ))
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE="$sanitize" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
