#!/usr/bin/env bash
# Measures what the slide thread spends on one downloaded slide: decoding a
# 1456 x 800 JPEG and scaling it for the display (ui::DecodeSlide), against
# GDI+ decoding alone (ui::DecodeImage), both timed inside a Windows program
# under wine64. The picture is made here with ImageMagick: a fractal plasma,
# which compresses like a photograph, at JPEG quality 85. A measurement: it
# fails only when the picture does not decode.
#
#   scripts/bench-slides.sh [repetitions]      (default 20)
#
# Needs the win64-test preset configured; builds slide_bench when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-20}
build=build/win64-test
bench=$build/tools/slide_bench/slide_bench.exe
picture=$build/tools/slide_bench/slide-1456x800.jpg

[ -f "$build/build.ninja" ] || { echo "configure and build the win64-test preset first" >&2; exit 1; }
[ -f "$bench" ] || flock /tmp/tx-build.lock cmake --build "$build" --target slide_bench
if [ ! -f "$picture" ]; then
  mkdir -p "$(dirname "$picture")"
  convert -seed 7 -size 1456x800 plasma:fractal -blur 0x1 -quality 85 "$picture"
fi
echo "picture=$picture ($(stat -c %s "$picture") bytes)"

output=$("$build/wine-run" "$bench" "Z:$(realpath "$picture" | tr / '\\')" "$repetitions" |
  tr -d '\r') || true
echo "$output"
value() { echo "$output" | sed -n "s/^$1=//p"; }
[ "$(value decoded)" = 1 ] || { echo "the slide did not decode" >&2; exit 1; }

awk -v decode="$(value gdiplus_decode_ms)" -v s100="$(value decode_and_scale_ms_at_100)" \
    -v s150="$(value decode_and_scale_ms_at_150)" -v s200="$(value decode_and_scale_ms_at_200)" \
    'BEGIN {
  # What the slide thread spends per slide, in units of the decoding alone.
  printf "ratio_at_100=%.2f\nratio_at_150=%.2f\nratio_at_200=%.2f\n",
         s100 / decode, s150 / decode, s200 / decode
}'
