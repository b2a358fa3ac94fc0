#!/bin/bash
# analyze of a folder of good and damaged pictures of many formats on eight threads: one result
# per file, every time, and no crash (several decoders share a library's process-wide state).
set -u
. "$(dirname "$0")/lib.sh"
CLI=$cli

mkdir pics
"$CLI" fractal mandelbrot -o good.bmp --size 60x60 --seed 3 || die "fractal"
# Plain PPM: libnetpbm reports the stray token in the last row of the damaged half through its
# error exit, while other threads are still reading rows.
bmptopnm good.bmp 2>/dev/null | pnmtoplainpnm >plain.ppm || die "plain PPM"
tee pics/p{100..249}.ppm <plain.ppm >/dev/null
sed '$s/^/x! /' plain.ppm | tee pics/d{100..249}.ppm >/dev/null
# Every other format, whole and cut in half.
for ext in png jpg gif tif tga pcx sgi psd; do
  convert good.bmp "good.$ext" || die "convert to $ext"
  size=$(stat -c %s "good.$ext")
  tee $(printf "pics/g%d.$ext " {10..19}) <"good.$ext" >/dev/null
  head -c $((size / 2)) "good.$ext" | tee $(printf "pics/c%d.$ext " {10..19}) >/dev/null
done
files=$(find pics -type f | wc -l)

for run in 1 2; do
  "$CLI" analyze --jobs 8 -r pics >out.txt 2>err.txt
  status=$?
  [ $status -eq 1 ] || fail "run $run: exit status $status, want 1 (damaged files, no crash)"
  results=$(($(wc -l <out.txt) + $(grep -c '无法分析' err.txt)))
  [ "$results" -eq "$files" ] || fail "run $run: $results results for $files files"
done

finish
