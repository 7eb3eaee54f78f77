#!/usr/bin/env bash
# Draws the images of resources/images at twice their size, for screens scaled to 150 % and
# more: drawn again rather than scaled up, so their edges stay sharp. The 1x images came from the
# same drawings at half the size (the logo exactly so). Needs ImageMagick and DejaVu Sans Bold.
set -euo pipefail
cd "$(dirname "$0")/../resources/images"

convert -size 400x96 xc:none -font DejaVu-Sans-Bold -pointsize 64 -fill '#79c149' \
    -gravity center -annotate +0+0 VORLANT logo@2x.png
# The combo boxes' drop-down arrow: a triangle 22 pixels wide and 14 high in #969696.
convert -size 24x16 xc:none -fill 'gray(150)' -stroke none \
    -draw 'polygon 1.5,1.5 23.5,1.5 12.5,15.5' down-arrow@2x.png
