#!/bin/bash
# demo-desktop.sh W H OUT.png -- draws a desktop-like picture (wallpaper, two windows with text, a
# taskbar) for a private X screen that has no desktop of its own.
set -euo pipefail
W=$1; H=$2; OUT=$3
SANS=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
MONO=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
lines=$(( (H*6/10 - 40) / 15 )); columns=$(( (W/2 - 16) / 8 ))
text=$(grep -v '^#' /etc/services 2>/dev/null | head -n "$lines" | cut -c "1-$columns" | tr -d '%\\' || echo "QV Server")
convert -size "${W}x${H}" gradient:'#345a8a'-'#0e1b2c' \
    -fill '#f4f4f4' -draw "rectangle $((W/20)),$((H/10)) $((W*11/20)),$((H*7/10))" \
    -fill '#3465a4' -draw "rectangle $((W/20)),$((H/10)) $((W*11/20)),$((H/10+24))" \
    -font "$SANS" -pointsize 14 -fill white -annotate +$((W/20+8))+$((H/10+17)) 'services - Viewer' \
    -font "$MONO" -pointsize 12 -fill '#222222' -annotate +$((W/20+8))+$((H/10+44)) "$text" \
    -fill '#1e1e1e' -draw "rectangle $((W*6/10)),$((H*3/10)) $((W*19/20)),$((H*8/10))" \
    -font "$MONO" -pointsize 13 -fill '#8ae234' -annotate +$((W*6/10+10))+$((H*3/10+24)) 'user@host:~$ uptime' \
    -fill '#2e3436' -draw "rectangle 0,$((H-36)) $W,$H" \
    -font "$SANS" -pointsize 14 -fill white -annotate +$((W-120))+$((H-12)) "$(date +%H:%M)" \
    -type TrueColor "$OUT"
