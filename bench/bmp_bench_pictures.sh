#!/usr/bin/env bash
# Makes the picture set bmp_bench is run on: photograph-like pictures of 1 to
# 8 megapixels in the layouts BMP files come in (24 and 32 bits, 16-bit 5-6-5,
# 8-bit palettes plain and run-length encoded, 4-bit), written by ImageMagick.
# Usage: bmp_bench_pictures.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
convert -size 1152x864 -seed 1 plasma:fractal -blur 0x1 BMP3:photo24_1mp.bmp
convert -size 3264x2448 -seed 2 plasma:fractal -blur 0x2 BMP3:photo24_8mp.bmp
convert -size 2048x1536 -seed 3 plasma:fractal -blur 0x1 -alpha set -channel A -fx 'j/h' +channel BMP:photo32_3mp.bmp
convert -size 2048x1536 -seed 4 plasma:fractal -blur 0x1 -define bmp:subtype=RGB565 BMP:photo565_3mp.bmp
convert -size 2048x1536 -seed 5 plasma:fractal -blur 0x1 -colors 256 -type Palette BMP3:palette8_3mp.bmp
convert -size 2048x1536 -seed 6 plasma:fractal -blur 0x3 -colors 64 -type Palette -compress RLE BMP3:rle8_3mp.bmp
convert -size 2048x1536 -seed 7 plasma:fractal -blur 0x1 -colors 16 -type Palette BMP3:palette4_3mp.bmp
