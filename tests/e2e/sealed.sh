#!/usr/bin/env bash
# hide --seal and reveal of sealed texts and files, through BMP and PNG: round trips, a wrong
# password, files never written over by accident, and passwords in either Unicode form.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

convert -size 700x500 gradient:navy-orange -type truecolor bmp3:carrier.bmp
printf 'correct horse 🐴\n' > pw
printf 'wrong horse\n' > bad
printf '密封的第一行\r\nsecond line 😀\n' > text.txt
head -c 40960 /dev/urandom > data.bin

# A text and a 40 KB file, each through BMP and PNG.
for ext in bmp png; do
  "$cli" hide carrier.bmp -o text.$ext --seal --text-file text.txt --password-file pw
  "$cli" info text.$ext --json | grep -q '"data_format":4,"status":"Pennacrow 已密封"' ||
    die "info of text.$ext"
  "$cli" reveal text.$ext --password-file pw -o text.$ext.out
  cmp text.txt text.$ext.out
  "$cli" hide carrier.bmp -o data.$ext --seal --file data.bin --password-file pw
  "$cli" reveal data.$ext --password-file pw -o data.$ext.out
  cmp data.bin data.$ext.out
done
"$cli" info carrier.bmp | grep -qx 'sealed_capacity: 43687' || die "sealed capacity"

# A wrong password: the one message, exit 1, nothing written anywhere.
set +e
"$cli" reveal text.png --password-file bad -o nothing >out 2>err
status=$?
set -e
[ "$status" = 1 ] || die "wrong password gave exit $status"
[ "$(cat err)" = "pennacrow-cli: 密码错误或数据已损坏" ] || die "wrong password said: $(cat err)"
[ ! -s out ] && [ ! -e nothing ] || die "wrong password left output"

# A sealed file goes under its own name only when asked, and never over a file without --force.
mkdir here && cd here
if "$cli" reveal ../data.png --password-file ../pw >out 2>/dev/null; then die "file to stdout"; fi
[ ! -s out ] && [ ! -e data.bin ] || die "file written without -o or --save-file"
"$cli" reveal ../data.png --password-file ../pw --save-file
cmp data.bin ../data.bin
printf 'mine' > data.bin
if "$cli" reveal ../data.png --password-file ../pw --save-file 2>/dev/null; then
  die "existing file overwritten"
fi
[ "$(cat data.bin)" = mine ] || die "existing file changed"
"$cli" reveal ../data.png --password-file ../pw --save-file --force
cmp data.bin ../data.bin
cd ..

# A password typed composed opens what was sealed with it decomposed.
PENNACROW_PASSWORD=$'cafe\u0301' "$cli" hide carrier.bmp -o nfc.bmp --seal --text 'NFC'
[ "$(PENNACROW_PASSWORD=$'caf\u00e9' "$cli" reveal nfc.bmp)" = NFC ] || die "NFC password"

# --seal and --encrypt are two schemes, not one on top of the other: a usage error.
set +e; "$cli" hide carrier.bmp -o x.bmp --text t --seal --encrypt 2>/dev/null; status=$?; set -e
[ "$status" = 2 ] || die "--seal --encrypt gave exit $status"

finish
