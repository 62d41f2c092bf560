#!/bin/bash
# windows-deps.sh PREFIX -- builds the libraries the Windows build links, for x86-64 Windows, into
# PREFIX/{libjpeg,gtest}; what is there already is kept (the build folder is the cache).
# libjpeg-turbo comes from Debian's own source package of the version installed for the Linux build,
# fetched through a private apt configuration under PREFIX/apt: its own source list (one deb-src entry),
# state, lists and cache. The machine's apt sources and package lists are never read or changed.
# GoogleTest comes from Debian's googletest sources in /usr/src/googletest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(mkdir -p "$1" && cd "$1" && pwd)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)

build_libjpeg() {
    local version apt source
    version=$(dpkg-query -W -f='${source:Version}' libjpeg62-turbo-dev)
    apt=$prefix/apt
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$apt/source"
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
        > "$apt/sources.list"
    local options=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts"
                   -o Dir::State="$apt" -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache"
                   -o Dir::State::status=/var/lib/dpkg/status -o APT::Sandbox::User=root -q)
    source=$(find "$apt/source" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
    if [ -z "$source" ]; then
        apt-get "${options[@]}" update
        (cd "$apt/source" && apt-get "${options[@]}" source "libjpeg-turbo=$version")
        source=$(find "$apt/source" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
    fi
    # The libjpeg 6.2 interface, as libjpeg62-turbo on Linux; SIMD through nasm; static only.
    cmake -S "$source" -B "$prefix/libjpeg-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix/libjpeg" -DENABLE_SHARED=OFF \
        -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF -DWITH_SIMD=ON \
        -DREQUIRE_SIMD=ON -DCMAKE_POSITION_INDEPENDENT_CODE=OFF >/dev/null
    cmake --build "$prefix/libjpeg-build" -j "$jobs" --target jpeg-static >/dev/null
    cmake --install "$prefix/libjpeg-build" >/dev/null 2>&1 || true
    # The install step also wants the command-line tools; the library and its headers are what we need.
    mkdir -p "$prefix/libjpeg/lib" "$prefix/libjpeg/include"
    cp "$prefix/libjpeg-build/libjpeg.a" "$prefix/libjpeg/lib/libjpeg.a"
    cp "$source/jpeglib.h" "$source/jmorecfg.h" "$source/jerror.h" "$prefix/libjpeg-build/jconfig.h" \
        "$prefix/libjpeg/include/"
}

build_gtest() {
    cmake -S /usr/src/googletest -B "$prefix/gtest-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix/gtest" -DBUILD_GMOCK=OFF \
        -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$prefix/gtest-build" -j "$jobs" >/dev/null
    cmake --install "$prefix/gtest-build" >/dev/null
}

[ -f "$prefix/libjpeg/lib/libjpeg.a" ] || build_libjpeg
[ -f "$prefix/gtest/lib/libgtest.a" ] || build_gtest
