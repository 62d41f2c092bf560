#!/bin/bash
# wine.sh start|run|stop BUILD_DIR [PROGRAM ARGS...] -- Windows programs under Wine, with everything
# private to the build folder: the Wine prefix BUILD_DIR/wine and an Xvfb (BUILD_DIR/wine-xvfb.*) that is
# Wine's desktop, so GDI reads that screen and synthetic input moves its pointer.
# start: starts the Xvfb (QV_WINE_SCREEN=WxH sets its size), creates or updates the prefix and starts its
#        wineserver, which stays until stop.
# run:   runs PROGRAM with ARGS in that prefix and on that screen; its exit status is the program's.
# stop:  ends the prefix's wineserver (and with it every Wine process of the prefix), then the Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
action=$1
dir=$(cd "$2" && pwd)
shift 2
wine_bin=/usr/lib/wine
export WINEPREFIX=$dir/wine WINEDEBUG=${WINEDEBUG:--all} WINEARCH=win64
# No Mono or Gecko installers: nothing here needs .NET or the HTML engine.
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
start)
    # A run that was cut short may have left its wineserver and Xvfb behind.
    "$wine_bin/wineserver" -k 2>/dev/null || true
    "$root/scripts/xvfb.sh" stop "$dir/wine-xvfb"
    "$root/scripts/xvfb.sh" start "$dir/wine-xvfb" ${QV_WINE_SCREEN:-}
    export DISPLAY=$(cat "$dir/wine-xvfb.display")
    # One wineserver for the whole run (-p: it does not end between programs), so the desktop process
    # that wineboot starts stays up: without it a program's desktop has no screen, and SetCursorPos and
    # GetCursorPos see nothing.
    # Its output and that of the processes it keeps must not hold the caller's pipes open.
    # The wineserver works inside the prefix folder, which wineboot fills only afterwards.
    mkdir -p "$WINEPREFIX"
    "$wine_bin/wineserver" -p </dev/null >/dev/null 2>&1
    "$wine_bin/wine64" wineboot --init </dev/null >"$dir/wine-boot.log" 2>&1
    # The control panel asks for "ＭＳ Ｐゴシック", a font Windows has and Wine has not: Wine draws it with
    # Debian's IPA P Gothic (fonts-ipafont-gothic). Its windows are not handed to a window manager: there
    # is none on this screen, and Wine would wait two seconds for one whenever a window is hidden.
    # regedit reads its files in UTF-16.
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"ＭＳ Ｐゴシック"="IPAPGothic"\r\n"ＭＳ ゴシック"="IPAGothic"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n' |
        iconv -f UTF-8 -t UTF-16 >"$dir/wine-fonts.reg"
    "$wine_bin/wine64" regedit /S "Z:$dir/wine-fonts.reg" </dev/null >>"$dir/wine-boot.log" 2>&1
    ;;
run)
    export DISPLAY=$(cat "$dir/wine-xvfb.display")
    exec "$wine_bin/wine64" "$@"
    ;;
stop)
    "$wine_bin/wineserver" -k 2>/dev/null || true
    "$wine_bin/wineserver" -w 2>/dev/null || true
    "$root/scripts/xvfb.sh" stop "$dir/wine-xvfb"
    ;;
*)
    echo "usage: wine.sh start|run|stop BUILD_DIR [PROGRAM ARGS...]" >&2
    exit 2
    ;;
esac
