#!/bin/bash
# build-windows.sh [BUILD_DIR] [CMAKE OPTIONS...] -- cross-builds the Windows program (x86-64, linked
# statically) into BUILD_DIR/bin (build-win/ by default): qvserver.exe (the control panel),
# qvserver-headless.exe and data/, and packs that folder as BUILD_DIR/qvserver-windows.zip. The libraries it links are built first, once,
# into BUILD_DIR/deps (scripts/windows-deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mkdir -p "${1:-$root/build-win}" && cd "${1:-$root/build-win}" && pwd)
shift $(( $# < 1 ? $# : 1 ))
"$root/scripts/windows-deps.sh" "$dir/deps"
deps=$(cd "$dir/deps" && pwd)
cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_PLATFORM=windows -DQV_BUILD_BENCH=OFF \
    -DCMAKE_FIND_ROOT_PATH="$deps/libjpeg;$deps/gtest" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir/qvserver-windows.zip"
(cd "$dir/bin" && cmake -E tar cf "$dir/qvserver-windows.zip" --format=zip -- *.exe data)
