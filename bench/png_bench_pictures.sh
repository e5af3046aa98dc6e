#!/usr/bin/env bash
# Makes the picture set png_bench is run on: photograph-like and screenshot-
# like pictures of 1 to 12 megapixels, written by ImageMagick (through libpng,
# as most PNG files are). Usage: png_bench_pictures.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
# Photographs: fractal plasma, softened, at common camera sizes.
convert -size 1152x864 -seed 1 plasma:fractal -blur 0x1 -quality 75 PNG24:photo_1mp.png
convert -size 2304x1728 -seed 2 plasma:fractal -blur 0x1.5 -quality 75 PNG24:photo_4mp.png
convert -size 3264x2448 -seed 3 plasma:fractal -blur 0x2 -quality 75 PNG24:photo_8mp.png
convert -size 4000x3000 -seed 4 plasma:fractal -blur 0x2 -quality 75 PNG24:photo_12mp.png
convert -size 2048x1536 -seed 5 plasma:fractal -blur 0x1 -alpha set -channel A -fx 'j/h' +channel \
  -quality 75 PNG32:photo_alpha_3mp.png
convert -size 2048x1536 -seed 6 plasma:fractal -blur 0x1 -interlace PNG PNG24:photo_adam7_3mp.png
# Screenshots: flat areas, gradients and rendered text, in a face the
# project installs (ImageMagick's default face may be missing on a fresh
# machine, and it then stops).
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
screenshot() {
  local w=$1 h=$2 out=$3
  convert -size "${w}x${h}" gradient:'#f4f6fa'-'#dfe5ef' \
    -fill '#2b5797' -draw "rectangle 0,0 $w,48" \
    -fill white -draw "rectangle 40,80 $((w / 2)),$((h - 40))" \
    -fill '#ffe9a8' -draw "roundrectangle $((w / 2 + 40)),80 $((w - 40)),$((h / 2)) 12,12" \
    -fill black -font "$font" -pointsize 15 \
    -annotate +60+120 "$(yes 'The quick brown fox jumps over the lazy dog 0123456789' | head -40 | tr '\n' ' ' | fold -w 90)" \
    -quality 75 "$out"
}
screenshot 1280 800 PNG24:screen_1mp.png
screenshot 1920 1080 PNG24:screen_2mp.png
screenshot 2560 1600 PNG32:screen_alpha_4mp.png
screenshot 3840 2160 PNG24:screen_8mp.png
screenshot 1920 1080 PNG8:screen_palette_2mp.png
