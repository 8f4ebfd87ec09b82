#!/usr/bin/env bash
# Draws the picture resources of the windows. The outputs are committed, so a build never needs ImageMagick;
# run this only after changing a drawing. Needs ImageMagick's convert and python3.
#
# Every drawing is pixel art with antialiasing off: a GIF has one transparent colour and no partial alpha, so
# an antialiased edge would turn into a fringe of the background colour once it is thresholded.
set -euo pipefail
cd "$(dirname "$0")"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# BackArrow, 23 x 20: a light grey rounded button, lit from the top left, with a black triangle pointing left.
# The corners outside the rounding are the one transparent colour.
convert -size 23x20 xc:none +antialias \
    -fill '#d4d0c8' -stroke '#808080' -strokewidth 1 -draw 'roundrectangle 0,0 22,19 4,4' \
    -stroke none -fill white -draw 'line 3,1 19,1' -draw 'line 1,3 1,16' \
    -fill '#a0a0a0' -draw 'line 3,18 19,18' -draw 'line 21,3 21,16' \
    -fill black -draw 'polygon 7,9 15,4 15,15' -draw 'polygon 7,10 15,5 15,15' \
    -channel A -threshold 50% +channel \
    backarrow.gif

# CloseBox, 25 x 25: a red square button with a white X. The X is three one-pixel diagonals per stroke
# rather than one thick line, whose ends would come out ragged without antialiasing.
convert -size 25x25 xc:'#c81e1e' +antialias -fill none -strokewidth 1 \
    -stroke '#6e0a0a' -draw 'rectangle 0,0 24,24' \
    -stroke '#f08080' -draw 'line 1,1 23,1' -draw 'line 1,1 1,23' \
    -stroke '#8c1010' -draw 'line 2,23 23,23' -draw 'line 23,2 23,23' \
    -stroke white -draw 'line 7,7 17,17' -draw 'line 8,7 17,16' -draw 'line 7,8 16,17' \
    -draw 'line 17,7 7,17' -draw 'line 16,7 7,16' -draw 'line 17,8 8,17' \
    closebox.gif

# HomeButton, 25 x 25: a white house with a chimney and a blue door on a blue disc; outside the disc is
# transparent so the button sits on any window colour.
convert -size 25x25 xc:none +antialias \
    -fill '#1f5fbf' -stroke '#123d80' -strokewidth 1 -draw 'circle 12,12 12,0' \
    -stroke none -fill white -draw 'polygon 12,4 4,12 20,12' -draw 'rectangle 7,12 17,19' \
    -draw 'rectangle 15,5 16,9' \
    -fill '#1f5fbf' -draw 'rectangle 11,14 13,19' \
    -channel A -threshold 50% +channel \
    homebutton.gif

# AppIcon, 16 x 16: a white tile with a light grey folder outline and a light blue globe at its lower right.
# appicon.svg is the same drawing on the same grid, for the sizes a desktop asks for.
globe='fill #eaf4ff rectangle 9,9 13,13 rectangle 10,8 12,14 rectangle 8,10 14,12
fill #5b9bd5
point 10,8 point 11,8 point 12,8 point 9,9 point 13,9 point 8,10 point 8,11 point 8,12
point 14,10 point 14,11 point 14,12 point 9,13 point 13,13 point 10,14 point 11,14 point 12,14
fill #8dbbe6
point 11,9 point 10,10 point 10,11 point 10,12 point 11,13 point 12,10 point 12,11 point 12,12
point 9,11 point 13,11'
corners="color 0,0 point color 15,0 point color 0,15 point color 15,15 point"
convert -size 16x16 xc:white +antialias -fill none -strokewidth 1 \
    -stroke '#c8d0da' -draw 'rectangle 0,0 15,15' \
    -stroke '#98a4b0' -draw 'polyline 2,12 2,3 5,3 6,4 13,4 13,12 2,12' \
    -stroke '#c8d0da' -draw 'line 3,6 12,6' \
    -stroke none -draw "$globe" \
    -alpha set -fill none -draw "$corners" \
    -define png:color-type=6 -define png:exclude-chunk=date,time appicon.png

# The icon file holds a 24-bit colour image with an all-clear mask: an opaque icon whose four corner pixels
# are white. ImageMagick writes every icon as 32-bit, so the icon is assembled here from a 24-bit BMP. The
# corners are not masked out because readers differ on a mask beside 24-bit colour (Qt 6 ignores it and
# shows the pixel underneath); white corners look the same everywhere.
convert appicon.png -background white -alpha remove -alpha off -type TrueColor "BMP3:$tmp/appicon.bmp"
python3 - "$tmp/appicon.bmp" appicon.ico <<'EOF'
import struct
import sys

bmp_path, ico_path = sys.argv[1:]
bmp = open(bmp_path, "rb").read()
pixels_at = struct.unpack_from("<I", bmp, 10)[0]
info = bytearray(bmp[14:54])
width, height, _, bits = struct.unpack_from("<iiHH", info, 4)
assert (width, height, bits) == (16, 16, 24), (width, height, bits)
colour = bmp[pixels_at:pixels_at + 16 * 16 * 3]
mask = bytes(16 * 4)  # one bit a pixel, each row padded to four bytes; all clear, so every pixel shows

struct.pack_into("<i", info, 8, 32)  # an icon's height counts the colour image and the mask
struct.pack_into("<I", info, 20, len(colour) + len(mask))
image = bytes(info) + colour + mask
header = struct.pack("<HHH", 0, 1, 1)
entry = struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 24, len(image), 6 + 16)
open(ico_path, "wb").write(header + entry + image)
EOF

echo "pictures written to $(pwd)"
