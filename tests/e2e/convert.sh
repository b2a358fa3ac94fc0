#!/usr/bin/env bash
# pennacrow-cli convert keeps size, depth, colour table and every pixel of BMP files, and the
# formats command lists the registry.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

convert -size 47x33 plasma:fractal -seed 7 base.png 2>/dev/null || convert -size 47x33 gradient:red-blue base.png
convert base.png -type truecolor bmp3:c24.bmp
convert base.png -type truecolormatte -alpha on bmp3:c32.bmp 2>/dev/null || convert base.png -alpha on bmp3:c32.bmp
convert base.png -colors 200 -type palette bmp3:c8.bmp
convert base.png -colors 12 -type palette bmp3:c4.bmp
convert base.png -monochrome bmp3:c1.bmp

bpp() { od -An -tu2 -j28 -N2 "$1" | tr -d ' '; }
for f in c1 c4 c8 c24 c32; do
  "$cli" convert $f.bmp $f.out.bmp
  [ "$(bpp $f.bmp)" = "$(bpp $f.out.bmp)" ] || { echo "$f: depth changed"; exit 1; }
  cmp <(bmptopnm $f.bmp 2>/dev/null) <(bmptopnm $f.out.bmp 2>/dev/null) || { echo "$f: pixels differ"; exit 1; }
  # Writing what we wrote gives the same bytes again.
  "$cli" convert $f.out.bmp $f.again.bmp
  cmp $f.out.bmp $f.again.bmp
done

# Upper-case extensions choose the same reader and writer.
cp c24.bmp UPPER.BMP
"$cli" convert UPPER.BMP upper.Bmp
cmp upper.Bmp c24.out.bmp

# Failures: exit 1 with the system's message, nothing written; usage errors exit 2.
set +e
"$cli" convert missing.xyz out.bmp 2>err.txt; rc=$?
printf 'not a picture' >junk.xyz
"$cli" convert junk.xyz out.bmp 2>err2.txt; rc2=$?
set -e
[ $rc -eq 1 ] && [ $rc2 -eq 1 ] || { echo "missing file, unknown extension: exit $rc $rc2"; exit 1; }
# A missing file is said to be missing, whatever its name would have been read as.
grep -q '没有那个文件或目录' err.txt
grep -q '未知图片文件扩展(.xyz)' err2.txt
[ ! -e out.bmp ]
printf 'BM broken' > broken.bmp
set +e
"$cli" convert broken.bmp out.bmp 2>/dev/null; rc=$?
"$cli" convert c24.bmp out.jpg 2>/dev/null; rc2=$?
"$cli" convert c24.bmp 2>/dev/null; rc3=$?
"$cli" frobnicate 2>/dev/null; rc4=$?
set -e
[ $rc -eq 1 ] && [ $rc2 -eq 2 ] && [ $rc3 -eq 2 ] && [ $rc4 -eq 2 ] || { echo "exit codes $rc $rc2 $rc3 $rc4"; exit 1; }
[ ! -e out.bmp ] && [ ! -e out.jpg ]

# grep reads to the end: with -q it would stop at the first match, and the program, still
# writing, would die of SIGPIPE and fail the pipeline now and then.
"$cli" formats | grep "$(printf 'bmp\t位图\tTBitmap')" >/dev/null
"$cli" formats --filter | grep '^全部 (' >/dev/null
"$cli" --version | grep '^pennacrow-cli ' >/dev/null
"$cli" --help | grep 'pennacrow-cli info' >/dev/null
finish
