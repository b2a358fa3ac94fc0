#!/bin/bash
# The library decoders end to end: samples made with Debian's tools, converted by the CLI to BMP,
# the layout checked from the BMP header and the pixels compared with ImageMagick's reading.
set -u
. "$(dirname "$0")/lib.sh"

# Bits per pixel from a BMP's information header (bytes 28-29).
bmp_bpp() { od -An -tu2 -j28 -N2 "$1" | tr -d ' '; }

# convert_to_bmp FILE EXPECTED_BPP [FUZZ]: convert, check depth, compare pixels.
check() {
  local file=$1 bpp=$2 fuzz=${3:-1%}
  if ! "$cli" convert "$file" "$file.bmp" 2>err.txt; then fail "$file: $(cat err.txt)"; return; fi
  local got; got=$(bmp_bpp "$file.bmp")
  [ "$got" = "$bpp" ] || fail "$file: $got bits per pixel, expected $bpp"
  local diff; diff=$(compare -fuzz "$fuzz" -metric AE "$file" "$file.bmp" null: 2>&1)
  [ "$diff" = "0" ] || fail "$file: $diff pixels differ"
}

# must_fail FILE MESSAGE_START
# A file whose content another reader recognises is read by that reader; info's --format EXT
# holds the reader to the extension's, so that the refusal of the wrong content is what is tested.
must_fail() {
  local file=$1 start=$2
  if "$cli" info "$file" --format "${file##*.}" >/dev/null 2>err.txt; then fail "$file: loaded"; return; fi
  grep -q "^$start" err.txt || grep -q "$start" err.txt || fail "$file: message $(cat err.txt)"
}

convert -size 47x33 gradient:red-blue -depth 8 base.ppm
convert base.ppm -colorspace gray gray.pgm

# JPEG: colour at 24 bits, greyscale at 8 bits.
cjpeg -quality 95 base.ppm > colour.jpg && check colour.jpg 24 2%
cjpeg -grayscale -quality 95 base.ppm > grey.jpeg && check grey.jpeg 8 2%
cp colour.jpg upper.JPG && check upper.JPG 24 2%

# PNG by colour type.
convert base.ppm PNG24:rgb.png && check rgb.png 24 0
convert base.ppm -alpha set -channel A -evaluate set 50% PNG32:rgba.png && check rgba.png 32 0
convert gray.pgm -define png:color-type=0 -define png:bit-depth=8 grey8.png && check grey8.png 8 0
convert gray.pgm -depth 16 -define png:color-type=0 grey16.png && check grey16.png 8 1%
convert base.ppm -colors 12 -define png:bit-depth=4 PNG8:pal.png && check pal.png 4 0
convert base.ppm -colors 200 PNG8:pal8.png && check pal8.png 8 0
convert base.ppm -monochrome -define png:bit-depth=1 mono.png && check mono.png 1 0
convert base.ppm -interlace PNG PNG24:interlaced.png && check interlaced.png 24 0
cp rgb.png shout.PNG && check shout.PNG 24 0

# GIF: 1-bit stays 1-bit, deeper frames at 24 bits.
convert base.ppm -colors 16 many.gif && check many.gif 24 0
convert base.ppm -monochrome mono.gif && check mono.gif 1 0

# TIFF, including a tiled file, which gives the very picture of its strip twin.
convert base.ppm -compress lzw rgb.tif && check rgb.tif 24 1%
convert gray.pgm -depth 8 grey.tiff && check grey.tiff 8 1%
convert base.ppm -monochrome -compress group4 mono.fax.tif && cp mono.fax.tif mono.fax && check mono.fax 1 0
tiffcp -t -w 16 -l 16 rgb.tif tiled.tif && check tiled.tif 24 1%
cmp -s rgb.tif.bmp tiled.tif.bmp || fail "tiled.tif: not the picture of its strip twin"

# PBM, PGM, PPM, plain and raw.
check base.ppm 24 0
pnmtoplainpnm base.ppm > plain.ppm && check plain.ppm 24 0
check gray.pgm 8 0
pgmtopbm -threshold gray.pgm > mono.pbm 2>/dev/null && check mono.pbm 1 0

# Damaged files: each refused with its format's message, never a crash.
head -c 500 colour.jpg > cut.jpg && must_fail cut.jpg "无法加载图像，JPEG图像文件不完整"
head -c 200 rgb.png > cut.png && must_fail cut.png "无法加载图像，PNG图像"
head -c 100 many.gif > cut.gif && must_fail cut.gif "无法加载图像，GIF图像文件不完整"
head -c 300 base.ppm > cut.ppm && must_fail cut.ppm "无法加载图像，PPM图像文件不完整"
head -c 100 rgb.tif > cut.tif && must_fail cut.tif "无法加载图像，TIFF图像"
cp base.ppm wrong.png && must_fail wrong.png "无法加载图像，无效或非预期的PNG图像格式。"
cp rgb.png wrong.gif && must_fail wrong.gif "无法加载图像，无效或非预期的GIF图像格式。"
cp rgb.tif wrong.eps && must_fail wrong.eps "无法加载图像，无效或非预期的EPS图像格式。"
cp rgb.png notatga.tga && must_fail notatga.tga "无法加载图像，无效或非预期的Targa图像格式。"

# The registry as the CLI shows it.
[ "$("$cli" formats | wc -l)" = "47" ] || fail "formats: not 47 entries"
[ "$("$cli" formats | tail -1)" = "$(printf 'gif\tCompuServe GIF 图像\tTGIFImage')" ] || fail "formats: last entry"
"$cli" formats --filter | grep -q '^全部 (\*\.gif;\*\.png;\*\.psp;\*\.cut;\*\.pcd;' || fail "formats --filter"

finish
