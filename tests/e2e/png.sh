#!/bin/bash
# pennacrow-cli convert writes PNG files whose pixels are those of the source BMP, keeping 1-, 4-
# and 8-bit pictures indexed and writing 24- and 32-bit ones as 8-bit RGB.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

# Any netpbm picture as plain 8-bit PPM, so that PBM, PGM and PPM outputs compare.
as_ppm() { ppmtoppm | pamdepth 255; }

convert -size 47x33 plasma: -seed 3 -compress none BMP3:s24.bmp
convert s24.bmp -colors 200 -type Palette -compress none BMP3:s8.bmp
convert s24.bmp -colors 16 -type Palette -compress none BMP3:s4.bmp
convert s24.bmp -monochrome -compress none BMP3:s1.bmp
convert s24.bmp -alpha set -channel A -evaluate set 50% +channel -define bmp3:alpha=true \
  -compress none BMP3:s32.bmp

# bits per pixel of the BMP, bit depth and colour type expected in the PNG's IHDR
for expected in "1 1 3" "4 4 3" "8 8 3" "24 8 2" "32 8 2"; do
  read -r bpp depth type <<<"$expected"
  actual_bpp=$(od -An -tu2 -j28 -N2 "s$bpp.bmp" | tr -d ' ')
  [ "$actual_bpp" = "$bpp" ] || fail "ImageMagick made a $actual_bpp-bit BMP instead of $bpp"
  "$cli" convert "s$bpp.bmp" "o$bpp.png" || fail "convert of the $bpp-bit BMP failed"
  signature=$(od -An -tx1 -N8 "o$bpp.png" | tr -d ' ')
  [ "$signature" = "89504e470d0a1a0a" ] || fail "$bpp-bit: bad PNG signature"
  ihdr=$(od -An -tu1 -j24 -N2 "o$bpp.png" | xargs)
  [ "$ihdr" = "$depth $type" ] || fail "$bpp-bit: IHDR says depth/colour type $ihdr"
  bmptopnm "s$bpp.bmp" 2>/dev/null | as_ppm >"want$bpp.ppm"
  pngtopnm "o$bpp.png" | as_ppm >"got$bpp.ppm"
  cmp -s "want$bpp.ppm" "got$bpp.ppm" || fail "$bpp-bit: pixels differ"
  [ "$(identify -format '%w %h' "o$bpp.png")" = "47 33" ] || fail "$bpp-bit: wrong size"
done

# The same picture gives the same bytes every time, and a name in capitals is a PNG too.
"$cli" convert s24.bmp again.PNG
cmp -s o24.png again.PNG || fail "two saves of one picture differ"

# A save that cannot be written fails and leaves nothing behind.
if "$cli" convert s24.bmp missing/out.png 2>/dev/null; then fail "save into a missing directory"; fi
mkdir taken.png
if "$cli" convert s24.bmp taken.png 2>/dev/null; then fail "save over a directory succeeded"; fi
[ -z "$(ls -A taken.png)" ] || fail "files left inside the directory"
[ "$(ls | grep -c '\.png\.')" = 0 ] || fail "a temporary file was left behind"

finish
