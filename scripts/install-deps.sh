#!/bin/bash
# install-deps.sh [build|test|bench|run|windows]... -- installs the Debian packages the project needs, only those
# that are missing (apt-get is not touched when everything is there). Run as root.
set -euo pipefail
build=(cmake g++ make ccache pkg-config libjpeg62-turbo-dev libx11-dev libxext-dev libxtst-dev
       libfreetype-dev libfontconfig-dev fonts-dejavu-core qt6-base-dev libqt6svg6 fonts-ipafont-gothic
       libwayland-dev wayland-protocols libpipewire-0.3-dev libsystemd-dev)
test=(googletest libgtest-dev xvfb x11-utils curl clang libclang-rt-14-dev clang-format sway
      chromium xdotool python3 nginx-light openssl desktop-file-utils dpkg-dev man-db
      mutter pipewire wireplumber dbus-user-session dbus-daemon)
bench=(wrk nginx-light imagemagick x11-apps xvfb x11-utils curl hyperfine python3 sway mutter pipewire wireplumber
       dbus-user-session)
run=(xvfb x11-utils imagemagick curl)
# The Windows build: the cross compiler, nasm for libjpeg-turbo's SIMD code, dpkg-dev to unpack Debian's
# source package, Wine with what its tests drive and check on the X side, the tools that draw the program's
# icon from its SVG, and the Japanese font Wine shows the control panel's labels in.
windows=(g++-mingw-w64-x86-64-posix nasm dpkg-dev googletest wine64 xvfb x11-utils x11-xserver-utils xdotool curl
         librsvg2-bin icoutils fonts-ipafont-gothic)

wanted=("${build[@]}")
for set in "$@"; do
    case "$set" in
    build) ;;
    test) wanted+=("${test[@]}") ;;
    bench) wanted+=("${bench[@]}") ;;
    run) wanted+=("${run[@]}") ;;
    windows) wanted+=("${windows[@]}") ;;
    *) echo "install-deps.sh: unknown set '$set'" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
