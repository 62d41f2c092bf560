#!/bin/bash
# desktop.sh W H OUT.png -- the benchmarks' desktop picture: on one machine, the same bytes on every run for a
# given size.
# A photo-like wallpaper (seeded plasma, blurred, over a gradient), an editor full of source text, a dark
# terminal and a window with a photo area and paragraphs, over a taskbar: about as hard to compress as a
# real desktop, unlike flat demo pictures. Needs ImageMagick and fonts-dejavu-core.
set -euo pipefail
W=$1; H=$2; OUT=$3
work=$(mktemp -d /tmp/qv-desktop.XXXXXX)
trap 'rm -rf "$work"' EXIT
sans=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
mono=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
# Text that every Debian system with the build packages holds, cleaned of ImageMagick's escapes.
source_text=$(sed -n '1,300p' /usr/include/X11/Xutil.h | expand | tr -d '%\\')
listing=$(LC_ALL=C ls -l --time-style=+%F /usr/include/X11 | sed -n '1,120p' | tr -d '%\\')
prose=$(sed -n '1,160p' /usr/share/common-licenses/Apache-2.0 | tr -d '%\\')

convert -seed 3 -size "${W}x${H}" plasma:skyblue-darkslateblue -blur 0x3 \
    \( -size "${W}x${H}" gradient:'#30567f'-'#0b1725' \) -compose blend -define compose:args=50 -composite \
    "$work/wallpaper.png"
ew=$((W * 52 / 100)); eh=$((H * 76 / 100))
convert -size "${ew}x${eh}" xc:'#fdfdfd' -font "$mono" -pointsize 13 -fill '#1c1c1c' -annotate +8+38 "$source_text" \
    -fill '#4a6fa5' -draw "rectangle 0,0 $ew,24" -font "$sans" -pointsize 14 -fill white \
    -annotate +10+17 'Xutil.h - Editor' "$work/editor.png"
tw=$((W * 40 / 100)); th=$((H * 52 / 100))
convert -size "${tw}x${th}" xc:'#161a1d' -font "$mono" -pointsize 12 -fill '#cfd8dc' -annotate +6+34 "$listing" \
    -fill '#3b4246' -draw "rectangle 0,0 $tw,22" -font "$sans" -pointsize 13 -fill white \
    -annotate +8+16 'terminal' "$work/terminal.png"
bw=$((W * 46 / 100)); bh=$((H * 62 / 100)); ph=$((bh * 38 / 100))
convert -seed 5 -size "${bw}x${ph}" plasma:goldenrod-seagreen -blur 0x1.5 "$work/photo.png"
convert -size "${bw}x${bh}" xc:'#f7f7f7' -fill '#d9d9d9' -draw "rectangle 0,0 $bw,58" \
    "$work/photo.png" -geometry +0+58 -composite \
    -font "$sans" -pointsize 12 -fill '#303030' -annotate +12+$((ph + 78)) "$prose" "$work/reader.png"
convert "$work/wallpaper.png" \
    "$work/reader.png" -geometry +$((W * 50 / 100))+$((H * 5 / 100)) -composite \
    "$work/editor.png" -geometry +$((W * 2 / 100))+$((H * 3 / 100)) -composite \
    "$work/terminal.png" -geometry +$((W * 42 / 100))+$((H * 38 / 100)) -composite \
    -fill '#2b2f31' -draw "rectangle 0,$((H - 36)) $W,$H" \
    -font "$sans" -pointsize 14 -fill white -annotate +$((W - 120))+$((H - 12)) '09:41' \
    -type TrueColor -define png:exclude-chunks=date,time "$OUT"
