#!/usr/bin/env bash
# Makes the picture set gif_bench is run on, from png_bench's pictures:
# photographs reduced to 256 colours (long codes, frequent table resets),
# screenshots to 32 (long runs), one of them interlaced, written by
# ImageMagick. Usage: gif_bench_pictures.sh DIR
set -euo pipefail
dir=$1
here=$(cd "$(dirname "$0")" && pwd)
png=$(mktemp -d)
trap 'rm -rf "$png"' EXIT
"$here/png_bench_pictures.sh" "$png"
mkdir -p "$dir"
for name in photo_1mp photo_4mp photo_8mp; do
  convert "$png/$name.png" -colors 256 "GIF:$dir/$name.gif"
done
convert "$png/photo_adam7_3mp.png" -colors 128 -interlace GIF "GIF:$dir/photo_interlaced_3mp.gif"
for name in screen_1mp screen_2mp screen_8mp; do
  convert "$png/$name.png" -colors 32 "GIF:$dir/$name.gif"
done
