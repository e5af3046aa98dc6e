#!/usr/bin/env bash
# Compares pictdump's PAM with netpbm's reading of the same PNG files, made
# by ImageMagick in the shapes real encoders produce. Usage: PICTDUMP SCRATCH
set -euo pipefail
pictdump=$1
dir=$2
rm -rf "$dir" && mkdir -p "$dir"
cd "$dir"
convert -size 61x37 -seed 7 plasma:fractal -alpha set -channel A -fx 'i/w' +channel PNG32:rgba.png
convert -size 61x37 -seed 8 plasma:fractal -depth 16 PNG48:rgb16.png
convert -size 61x37 -seed 9 plasma:fractal -colors 12 -interlace PNG PNG8:palette.png
convert -size 61x37 gradient:black-white -depth 16 -colorspace gray -interlace PNG grey16.png
for png in *.png; do
  "$pictdump" "$png" "$png.pam"
  pngtopam -alphapam "$png" > "$png.ref.pam"
  if grep -aq GRAYSCALE_ALPHA "$png.ref.pam"; then
    pamchannel -tupletype RGB_ALPHA 0 0 0 1 < "$png.ref.pam" > grey.pam && mv grey.pam "$png.ref.pam"
  fi
  cmp "$png.pam" "$png.ref.pam" || { echo "pictdump and pngtopam differ on $png"; exit 1; }
done
# A refused file says why on one line and exits non-zero.
printf 'not a picture' > text.png
if "$pictdump" text.png out.pam 2> reason.txt; then echo "text accepted"; exit 1; fi
[ "$(wc -l < reason.txt)" -eq 1 ]
# A high-throughput JPEG 2000 codestream (its capabilities segment says so)
# is named as such.
printf '\xff\x4f\xff\x51\x00\x29\x00\x00\x00\x00\x00\x08\x00\x00\x00\x08\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x08\x00\x00\x00\x08\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x07\x01\x01\xff\x50\x00\x08\x00\x02\x00\x00\x00\x00\xff\xd9' > ht.j2k
if "$pictdump" ht.j2k out.pam 2> reason.txt; then echo "high-throughput codestream accepted"; exit 1; fi
grep -q "high-throughput JPEG 2000 is not supported" reason.txt || { echo "no reason for ht.j2k: $(cat reason.txt)"; exit 1; }
