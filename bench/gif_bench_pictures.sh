#!/usr/bin/env bash
# Makes the picture set gif_bench is run on: photograph-like pictures reduced
# to 256 colours (long codes, frequent table resets) and screenshot-like ones
# with few colours (long runs), plain and interlaced, written by ImageMagick.
# Usage: gif_bench_pictures.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
convert -size 1024x768 -seed 1 plasma:fractal -blur 0x1 -colors 256 GIF:photo_1mp.gif
convert -size 2048x1536 -seed 2 plasma:fractal -blur 0x1.5 -colors 256 GIF:photo_3mp.gif
convert -size 1600x1200 -seed 3 plasma:fractal -colors 64 -interlace GIF GIF:photo_interlaced_2mp.gif
screenshot() {
  local w=$1 h=$2 out=$3
  convert -size "${w}x${h}" xc:'#f4f6fa' \
    -fill '#2b5797' -draw "rectangle 0,0 $w,48" \
    -fill white -draw "rectangle 40,80 $((w / 2)),$((h - 40))" \
    -fill '#ffe9a8' -draw "roundrectangle $((w / 2 + 40)),80 $((w - 40)),$((h / 2)) 12,12" \
    -fill black -pointsize 15 \
    -annotate +60+120 "$(yes 'The quick brown fox jumps over the lazy dog 0123456789' | head -40 | tr '\n' ' ' | fold -w 90)" \
    -colors 32 "$out"
}
screenshot 1280 800 GIF:screen_1mp.gif
screenshot 1920 1080 GIF:screen_2mp.gif
