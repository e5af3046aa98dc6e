#!/usr/bin/env bash
# Makes the picture set tiff_bench is run on: one 24-megapixel photograph-like
# picture saved by libtiff's tiffcp uncompressed, LZW and Deflate with the
# predictor, PackBits, tiled Deflate (in 256 x 256 tiles, and in 93,750 tiles of 16 x 16, where
# whatever a tile costs beside its pixels shows), and its bilevel form in G4;
# a 1 x 300,000 picture in one-row Deflate strips of 9 bytes each, where
# whatever a strip costs beside its pixels shows; and a 4000 x 4000 RGB noise
# picture in one Deflate strip, which stored blocks make longer than its
# pixels.
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
convert -size 4000x4000 -seed 7 xc: +noise Random -depth 8 -compress none noise.tif
tiffcp -c zip -r 4000 noise.tif noise_zip_strip.tif
# libtiff may write a one-byte strip as a stored block; zlib writes it with
# the fixed codes, the stream whose set-up per strip is the cost to show.
python3 - <<'PY'
import struct, zlib
rows = 300000
strips = [zlib.compress(bytes([(i * 7 + i // 613) % 256]), 9) for i in range(rows)]
entries = 9
data_at = 8 + 2 + entries * 12 + 4
offsets_at = data_at + sum(map(len, strips))
counts_at = offsets_at + 4 * rows
offsets, at = [], data_at
for s in strips:
    offsets.append(at)
    at += len(s)
def entry(tag, kind, count, value):
    return struct.pack("<HHII", tag, kind, count, value)
with open("column_zip_strips.tif", "wb") as f:
    f.write(struct.pack("<2sHI", b"II", 42, 8) + struct.pack("<H", entries))
    f.write(entry(256, 4, 1, 1) + entry(257, 4, 1, rows) + entry(258, 3, 1, 8) +
            entry(259, 3, 1, 8) + entry(262, 3, 1, 1) + entry(273, 4, rows, offsets_at) +
            entry(277, 3, 1, 1) + entry(278, 4, 1, 1) + entry(279, 4, rows, counts_at))
    f.write(struct.pack("<I", 0) + b"".join(strips))
    f.write(struct.pack("<%dI" % rows, *offsets) + struct.pack("<%dI" % rows, *map(len, strips)))
PY
rm source.tif bilevel.tif noise.tif
