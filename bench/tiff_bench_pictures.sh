#!/usr/bin/env bash
# Makes the picture set tiff_bench is run on: one 24-megapixel photograph-like
# picture saved by libtiff's tiffcp uncompressed, LZW and Deflate with the
# predictor, PackBits, tiled Deflate (in 256 x 256 tiles, and in 93,750 tiles of 16 x 16, where
# whatever a tile costs beside its pixels shows), and its bilevel form in G4;
# and a 1 x 300,000 picture in one-row Deflate strips of a few bytes each,
# where whatever a strip costs beside its pixels shows.
# Usage: tiff_bench_pictures.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
convert -size 6000x4000 -seed 7 plasma:fractal -blur 0x2 -depth 8 -compress none source.tif
tiffcp -c none -r 16 source.tif photo_none.tif
tiffcp -c lzw:2 -r 16 source.tif photo_lzw_pred.tif
tiffcp -c zip:2 -r 16 source.tif photo_zip_pred.tif
tiffcp -c packbits -r 16 source.tif photo_packbits.tif
tiffcp -c zip:2 -t -w 256 -l 256 source.tif photo_zip_tiled.tif
tiffcp -c zip:2 -t -w 16 -l 16 source.tif photo_zip_tiles16.tif
convert source.tif -colorspace gray -threshold 50% -monochrome -depth 1 -compress none bilevel.tif
tiffcp -c g4 bilevel.tif photo_bilevel_g4.tif
python3 -c "import sys; sys.stdout.buffer.write(bytes((i * 7 + i // 613) % 256 for i in range(300000)))" > column.raw
raw2tiff -w 1 -l 300000 -b 1 -p minisblack column.raw column.tif
tiffcp -c zip -r 1 column.tif column_zip_strips.tif
rm source.tif bilevel.tif column.raw column.tif
