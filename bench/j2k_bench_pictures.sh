#!/usr/bin/env bash
# Makes the codestreams j2k_bench is run on: one 12-megapixel photograph-like
# picture, written by opj_compress reversibly (5/3) and irreversibly (9/7),
# as one tile and as 1024 x 1024 tiles. Usage: j2k_bench_pictures.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
convert -size 4000x3000 -seed 4 plasma:fractal -blur 0x2 -depth 8 photo_12mp.ppm
opj_compress -i photo_12mp.ppm -o whole_53.j2k >/dev/null
opj_compress -i photo_12mp.ppm -o tiled_53.j2k -t 1024,1024 >/dev/null
opj_compress -i photo_12mp.ppm -o whole_97.j2k -I -r 10 >/dev/null
opj_compress -i photo_12mp.ppm -o tiled_97.j2k -I -r 10 -t 1024,1024 >/dev/null
rm photo_12mp.ppm
