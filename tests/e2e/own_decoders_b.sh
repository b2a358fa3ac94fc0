#!/usr/bin/env bash
# Icons made by ImageMagick load through the fallback path: 24 bits at the largest image's size,
# with the same colours as the picture they were made from where it is opaque.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

convert -size 48x48 gradient:red-blue -alpha off base.png
# Several sizes in one file; the 48 x 48 image must be chosen.
convert base.png -define icon:auto-resize=16,32,48 multi.ico
"$cli" info multi.ico --json > info.json
grep -q '"width":48' info.json || { cat info.json; exit 1; }
grep -q '"height":48' info.json || { cat info.json; exit 1; }
grep -q '"bits_per_pixel":24' info.json || { cat info.json; exit 1; }

"$cli" convert multi.ico out.bmp
# The pixels are those ImageMagick reads back from the icon's third image.
same() {  # two pictures of one size whose samples differ by at most one step of 255
  local n
  n=$(compare -metric AE -fuzz 0.5% "$1" "$2" null: 2>&1 || true)
  [ "$n" = "0" ] || { echo "$1 and $2 differ in $n pixels"; exit 1; }
}
convert 'multi.ico[2]' expected.png
same expected.png out.bmp

# A 256 x 256 icon is stored as PNG.
convert -size 256x256 gradient:green-yellow -alpha off big.png
convert big.png -define icon:auto-resize=256 big.ico
"$cli" convert big.ico big.bmp
# Its samples are 16-bit; they reduce to 8 bits without a gamma change.
convert 'big.ico[0]' -depth 8 big8.png
same big8.png big.bmp

# A truncated icon is refused with a message, not a crash.
head -c 100 multi.ico > cut.ico
if "$cli" info cut.ico 2> err.txt; then echo "truncated icon loaded"; exit 1; fi
grep -q "无法加载图像" err.txt || { cat err.txt; exit 1; }
finish
