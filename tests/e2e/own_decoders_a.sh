#!/usr/bin/env bash
# Targa, PCX, SGI and Photoshop files written by ImageMagick load through pennacrow-cli with the
# expected depth and the same pixels as a reference decoder gives (netpbm's tgatoppm for Targa,
# since ImageMagick reads its own bottom-up Targa files without flipping them; ImageMagick for
# the others). Damaged files fail with exit status 1 and write nothing.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

convert -size 47x33 plasma:fractal -seed 7 -depth 8 base.png 2>/dev/null ||
  convert -size 47x33 gradient:red-blue -depth 8 base.png

bpp() { od -An -tu2 -j28 -N2 "$1" | tr -d ' '; }
asppm() { ppmtoppm 2>/dev/null; }  # grey and colour references compared as colour

# check NAME EXPECTED_BPP REFERENCE_COMMAND...: converts NAME, compares depth and pixels.
check() {
  local file=$1 want=$2
  shift 2
  "$cli" convert "$file" "$file.bmp"
  [ "$(bpp "$file.bmp")" = "$want" ] || { echo "$file: depth $(bpp "$file.bmp"), want $want"; exit 1; }
  cmp <("$@" "$file" | asppm) <(bmptopnm "$file.bmp" 2>/dev/null | asppm) ||
    { echo "$file: pixels differ from the reference"; exit 1; }
}
# near NAME EXPECTED_BPP TOLERANCE REFERENCE_COMMAND...: as check, pixels within a tolerance.
near() {
  local file=$1 want=$2 tolerance=$3
  shift 3
  "$cli" convert "$file" "$file.bmp"
  [ "$(bpp "$file.bmp")" = "$want" ] || { echo "$file: depth $(bpp "$file.bmp"), want $want"; exit 1; }
  local worst
  worst=$(pamarith -difference <("$@" "$file" | asppm) <(bmptopnm "$file.bmp" 2>/dev/null | asppm) |
    pamsumm -max -brief 2>/dev/null)
  [ "$worst" -le "$tolerance" ] || { echo "$file: off by $worst from the reference"; exit 1; }
}
im() { convert "$1[0]" -alpha off -depth 8 ppm:-; }
im16() { convert "$1[0]" -alpha off -depth 16 ppm:- | pnmdepth 255; }

# Targa: colour-mapped, grey, true colour, with and without RLE, with alpha.
convert base.png -colors 20 -type palette -compress RLE tga:pal.tga
convert base.png -type grayscale tga:grey.tga
convert base.png -type truecolor -compress None tga:rgb.tga
convert base.png -type truecolor -compress RLE tga:rle.tga
convert base.png -alpha on -channel A -evaluate set 50% +channel -compress RLE tga:rgba.tga
check pal.tga 8 tgatoppm
check grey.tga 8 tgatoppm
check rgb.tga 24 tgatoppm
check rle.tga 24 tgatoppm
check rgba.tga 32 tgatoppm

# PCX: three planes of 8 bits, 8-bit with the trailing palette (ImageMagick); 1 bit, four
# planes of 1 bit, 4 and 2 bits packed (netpbm writes and reads these; ImageMagick writes none
# of them and reads 1-bit files inverted).
convert base.png -type truecolor pcx:rgb.pcx
convert base.png -colors 30 -type palette pcx:pal.pcx
convert base.png -monochrome pbm:- | ppmtopcx > mono.pcx 2>/dev/null
convert base.png -colors 16 ppm:- | ppmtopcx > planes.pcx 2>/dev/null
convert base.png -colors 16 ppm:- | ppmtopcx -packed > packed4.pcx 2>/dev/null
convert base.png -colors 4 ppm:- | ppmtopcx -packed > packed2.pcx 2>/dev/null
check rgb.pcx 24 im
check pal.pcx 8 im
check mono.pcx 1 pcxtoppm
check planes.pcx 4 pcxtoppm
check packed4.pcx 4 pcxtoppm
check packed2.pcx 4 pcxtoppm
cp pal.pcx screen.scr
check screen.scr 8 im

# SGI: grey, colour and colour with alpha, verbatim and RLE, 8 and 16 bits per channel.
convert base.png -type grayscale sgi:grey.bw
convert base.png -type truecolor -compress None sgi:rgb.sgi
convert base.png -type truecolor -compress RLE sgi:rle.rgb
convert base.png -alpha on -compress RLE sgi:alpha.rgba
convert base.png -type truecolor -depth 16 -compress RLE sgi:deep.sgi
check grey.bw 8 im
check rgb.sgi 24 im
check rle.rgb 24 im
check alpha.rgba 32 im
check deep.sgi 24 im16

# Photoshop: RGB, RGB with alpha, grey, indexed, CMYK; raw and RLE; 16 bits.
convert base.png -type truecolor -compress None psd:rgb.psd
convert base.png -type truecolor -compress RLE psd:rle.psd
convert base.png -alpha on -compress RLE psd:alpha.psd
convert base.png -type grayscale psd:grey.psd
convert base.png -colors 40 -type palette psd:pal.psd
convert base.png -colorspace cmyk -compress RLE psd:cmyk.psd
convert base.png -type truecolor -depth 16 -compress RLE psd:deep.psd
check rgb.psd 24 im
check rle.psd 24 im
check alpha.psd 32 im
check grey.psd 8 im
# ImageMagick cannot read back the indexed file it writes; the same quantisation is the
# reference, within the rounding of its 16-bit colours to the file's 8.
quantised40() { convert base.png -colors 40 -type palette -depth 8 ppm:-; }
near pal.psd 8 1 quantised40
check deep.psd 24 im16
cp rle.psd same.pdd
check same.pdd 24 im
# CMYK: our conversion is the plain inverted-ink formula; ImageMagick's may round differently.
imrgb() { convert "$1[0]" -alpha off -colorspace sRGB -depth 8 ppm:-; }
near cmyk.psd 24 2 imrgb

# Damaged files: exit 1, a message, nothing written.
refused() {
  local file=$1
  set +e
  "$cli" convert "$file" out.bmp 2>err.txt
  local rc=$?
  set -e
  [ $rc -eq 1 ] || fail "$file: exit $rc"
  grep -q '无法加载图像' err.txt || fail "$file: no message: $(cat err.txt)"
  [ ! -e out.bmp ] || fail "$file: output written after a failure"
}
head -c 40 rle.tga > cut.tga && refused cut.tga
head -c 500 rgb.pcx > cut.pcx && refused cut.pcx
head -c 700 rle.rgb > cut.sgi && refused cut.sgi
head -c 300 rle.psd > cut.psd && refused cut.psd
printf 'not a picture at all, not even close' > junk.psd && refused junk.psd
cp junk.psd junk.sgi && refused junk.sgi
cp junk.psd junk.pcx && refused junk.pcx
finish
