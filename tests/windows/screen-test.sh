#!/bin/bash
# screen-test.sh BUILD_DIR COLOUR PROGRAM [ARGS...] -- runs a screen test under Wine: paints the root
# window of Wine's Xvfb with COLOUR (RRGGBB; the test reads it as QV_ROOT_COLOUR), runs the program, and
# then checks with xdotool that the X pointer stands where the click test sent it (123,45).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$1; colour=$2; shift 2
export DISPLAY=$(cat "$dir/wine-xvfb.display") QV_ROOT_COLOUR=$colour
xsetroot -solid "#$colour"
"$root/scripts/wine.sh" run "$dir" "$@"
location=$(xdotool getmouselocation)
case "$location" in
"x:123 y:45 "*) ;;
*) echo "the X pointer is at '$location', not at 123,45" >&2; exit 1 ;;
esac
