#!/usr/bin/env bash
# Draws the program icon (a clock face on the report green) with ImageMagick
# and writes gui/zendrill.ico (16, 32 and 48 pixels).
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  -fill 'rgb(16,144,16)' -draw 'roundrectangle 8,8 247,247 40,40' \
  -fill white -stroke 'rgb(8,72,8)' -strokewidth 10 -draw 'circle 128,128 128,40' \
  -stroke 'rgb(8,72,8)' -strokewidth 18 -draw 'line 128,128 128,68' -draw 'line 128,128 178,150' \
  -fill 'rgb(255,16,16)' -stroke none -draw 'circle 128,128 128,142' \
  "$tmp/big.png"
for s in 16 32 48; do convert "$tmp/big.png" -resize ${s}x${s} "$tmp/i$s.png"; done
convert "$tmp/i16.png" "$tmp/i32.png" "$tmp/i48.png" gui/zendrill.ico
