#!/usr/bin/env bash
# Draws the desktop's icons of the program, one PNG per size of the hicolor theme, from the application
# icon. The outputs are committed, so a build never needs these tools; run this after changing the icon.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
#
# 16 px is the hand-drawn pixel art itself, which stays sharper than any rendering of the drawing; every
# larger size is the scalable drawing of the same grid, so the icon keeps one look at every size.
set -euo pipefail
cd "$(dirname "$0")"
pictures=../resources/pictures

for size in 16 22 24 32 48 64 128 256; do
    dir=icons/${size}x${size}
    mkdir -p "$dir"
    if [ "$size" = 16 ]; then
        cp "$pictures/appicon.png" "$dir/kestrovan.png"
    else
        rsvg-convert -w "$size" -h "$size" "$pictures/appicon.svg" |
            convert png:- -define png:exclude-chunk=date,time "PNG32:$dir/kestrovan.png"
    fi
done
echo "icons written to $(pwd)/icons"
