#!/usr/bin/env bash
# Draws the window icon at 16 x 16 and 32 x 32 pixels (256 colours each, the
# same drawing as icon.svg) and packs both into vondrel.ico for the Windows
# build. Run it after changing the drawing; its outputs are kept in the tree.
set -euo pipefail
cd "$(dirname "$0")"

# Drawn at 8 times the size of icon.svg's 32-unit grid, then scaled down.
draw() {
  convert -size 256x256 xc:none \
    -fill '#3466c4' -stroke '#0d1d45' -strokewidth 8 \
    -draw 'path "M 32 56 L 32 192 A 88 32 0 0 0 208 192 L 208 56 Z"' \
    -fill none -draw 'path "M 32 104 A 88 32 0 0 0 208 104 M 32 152 A 88 32 0 0 0 208 152"' \
    -fill '#9fc0ff' -draw 'ellipse 120 56 88 32 0 360' \
    -fill none -stroke '#ffffff' -strokewidth 40 -draw 'stroke-linecap round stroke-linejoin round polyline 136,176 168,216 240,120' \
    -stroke '#1f9d3a' -strokewidth 24 -draw 'stroke-linecap round stroke-linejoin round polyline 136,176 168,216 240,120' \
    "$1"
}

big="$(mktemp --suffix=.png)"
trap 'rm -f "$big"' EXIT
draw "$big"
for size in 16 32; do
  convert "$big" -filter Lanczos -resize "${size}x${size}" -colors 256 "PNG8:icon-${size}.png"
done
convert icon-16.png icon-32.png vondrel.ico
