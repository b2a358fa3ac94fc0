#!/usr/bin/env bash
# hide --seal --adaptive into a JPEG's coefficients: the output is a JPEG with the carrier's
# tables and markers, its message survives jpegtran's lossless rewrites and is lost, with one
# message and exit 1, after a real recompression; a GPS position is pointed out.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

convert -size 480x360 plasma:fractal -seed 5 +noise Gaussian -type truecolor ppm:source.ppm
cjpeg -quality 85 source.ppm > carrier.jpg
cjpeg -quality 90 -sample 1x1 -progressive -restart 2 source.ppm > progressive.jpg
printf 'correct horse\n' > pw
head -c 2000 /dev/urandom > data.bin

"$cli" hide carrier.jpg -o out.jpg --seal --adaptive --text 'keyed 系数' --password-file pw 2>hide.err
[ "$(head -c 3 out.jpg | od -An -tx1 | tr -d ' ')" = ffd8ff ] || die "out.jpg is no JPEG"
[ "$("$cli" reveal out.jpg --adaptive --password-file pw)" = 'keyed 系数' ] || fail "text"
# The quantisation tables are those of the carrier, and the size stays within 2 %.
tables() { djpeg -verbose -verbose "$1" 2>&1 >/dev/null | grep -i -A8 'quantization table' | md5sum; }
[ "$(tables carrier.jpg)" = "$(tables out.jpg)" ] || fail "quantisation tables changed"
a=$(stat -c %s carrier.jpg) b=$(stat -c %s out.jpg)
[ $((100 * (b - a) / a)) -le 2 ] && [ $((100 * (a - b) / a)) -le 2 ] || fail "size $a -> $b"

# info tells what a write into the coefficients takes, to the byte; of a JPEG only.
n=$("$cli" info carrier.jpg --json | sed -n 's/.*"jpeg_adaptive_capacity":\([0-9]*\).*/\1/p')
[[ -n $n && $("$cli" info source.ppm --json) != *jpeg_* ]] || fail "info: jpeg capacity '$n'"
head -c "$n" /dev/zero | tr '\0' a > most.txt && printf b >> more.txt && cat most.txt >> more.txt
"$cli" hide carrier.jpg -o most.jpg --seal --adaptive --text-file most.txt --password-file pw \
  2>/dev/null || fail "the capacity info gives is refused"
! "$cli" hide carrier.jpg -o more.jpg --seal --adaptive --text-file more.txt --password-file pw \
  2>/dev/null || fail "a byte beyond the capacity info gives is taken"

# A file, into a progressive carrier with restart markers, to standard output and back in.
"$cli" hide progressive.jpg -o - --format jpeg --seal --adaptive --file data.bin \
  --password-file pw > p.jpg
frame=$(djpeg -verbose -verbose p.jpg 2>&1 >/dev/null | grep 'Start Of Frame')
[[ $frame == *0xc2* ]] || fail "not progressive: $frame"
"$cli" reveal - --adaptive --password-file pw -o data.out < p.jpg
cmp -s data.bin data.out || fail "file through standard input and output"

# Rewrites that keep the coefficients keep the message.
for options in "-optimize" "-copy none" "-progressive" "-optimize -restart 1"; do
  # shellcheck disable=SC2086
  jpegtran $options out.jpg > rewritten.jpg
  [ "$("$cli" reveal rewritten.jpg --adaptive --password-file pw)" = 'keyed 系数' ] ||
    fail "lost by jpegtran $options"
done
jpegtran -progressive out.jpg | jpegtran -optimize > baseline.jpg
[ "$("$cli" reveal baseline.jpg --adaptive --password-file pw)" = 'keyed 系数' ] ||
  fail "lost by progressive and back"

# A recompression loses it: one message, exit 1, nothing written.
djpeg out.jpg | cjpeg -quality 75 > recompressed.jpg
set +e
"$cli" reveal recompressed.jpg --adaptive --password-file pw -o lost.txt >/dev/null 2>lost.err
status=$?
set -e
[ "$status" = 1 ] || fail "recompressed gave exit $status"
[ "$(wc -l < lost.err)" = 1 ] || fail "recompressed said: $(cat lost.err)"
[ ! -e lost.txt ] || fail "recompressed wrote output"

# EXIF with a GPS position: kept and pointed out, or dropped with --strip-metadata.
exif=$(printf 'Exif\0\0II*\0\10\0\0\0\1\0\45\210\4\0\1\0\0\0\32\0\0\0\0\0\0\0\1\0\2\0\5\0\3\0\0\0\0\0\0\0\0\0\0\0' | od -An -v -tx1 | tr -d ' \n')
length=$(printf '%04x' $(( ${#exif} / 2 + 2 )))
{ printf '\377\330\377\341'; echo "$length$exif" | xxd -r -p; tail -c +3 carrier.jpg; } > gps.jpg
"$cli" hide gps.jpg -o gps-kept.jpg --seal --adaptive --text x --password-file pw 2>kept.err
grep -q 'GPS' kept.err || fail "GPS position not pointed out: $(cat kept.err)"
grep -q 'Exif' gps-kept.jpg || fail "EXIF dropped"
"$cli" hide gps.jpg -o gps-stripped.jpg --seal --adaptive --text x --password-file pw \
  --strip-metadata 2>stripped.err
! grep -q 'Exif' gps-stripped.jpg || fail "EXIF kept with --strip-metadata"
[ "$("$cli" reveal gps-stripped.jpg --adaptive --password-file pw)" = x ] || fail "stripped"

# Refusals: a JPEG only from a JPEG and only by --seal --adaptive.
convert source.ppm -type truecolor bmp3:carrier.bmp
expect_exit 2 hide carrier.jpg -o x.jpg --text x
expect_exit 2 hide carrier.jpg -o x.png --seal --adaptive --strip-metadata --text x
expect_exit 1 hide carrier.bmp -o x.jpg --seal --adaptive --text x --password-file pw
[ ! -e x.jpg ] && [ ! -e x.png ] || fail "a refused hide wrote its output"

finish
