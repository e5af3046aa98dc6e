#!/usr/bin/env bash
# Makes the picture set jpeg_bench is run on: photograph-like pictures of 12
# to 24 megapixels (png_bench's kind, fractal plasma) compressed by cjpeg as
# baseline and progressive, 4:2:0 and 4:4:4. Usage: jpeg_bench_pictures.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
convert -size 4000x3000 -seed 4 plasma:fractal -blur 0x2 photo_12mp.ppm
convert -size 6000x4000 -seed 7 plasma:fractal -blur 0x2 photo_24mp.ppm
for p in photo_12mp photo_24mp; do
  cjpeg -quality 85 -sample 2x2 -outfile "${p}_420.jpg" "$p.ppm"
  cjpeg -quality 85 -sample 1x1 -outfile "${p}_444.jpg" "$p.ppm"
  cjpeg -quality 85 -sample 2x2 -progressive -outfile "${p}_420_progressive.jpg" "$p.ppm"
  cjpeg -quality 85 -sample 1x1 -progressive -outfile "${p}_444_progressive.jpg" "$p.ppm"
done
rm -f ./*.ppm
