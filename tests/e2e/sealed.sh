#!/usr/bin/env bash
# hide --seal and reveal of sealed texts and files, through BMP and PNG: round trips, a wrong
# password, files never written over by accident, and passwords in either Unicode form.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
PY=$(command -v /usr/bin/python3 || command -v python3)

convert -size 700x500 gradient:navy-orange -type truecolor bmp3:carrier.bmp
printf 'correct horse 🐴\n' > pw
printf 'wrong horse\n' > bad
printf '密封的第一行\r\nsecond line 😀\n' > text.txt
head -c 40960 /dev/urandom > data.bin

# A text and a 40 KB file, each through BMP and PNG.
for ext in bmp png; do
  "$cli" hide carrier.bmp -o text.$ext --seal --text-file text.txt --password-file pw
  "$cli" info text.$ext --json | grep '"data_format":4,"status":"Pennacrow 已密封"' >/dev/null ||
    die "info of text.$ext"
  "$cli" reveal text.$ext --password-file pw -o text.$ext.out
  cmp text.txt text.$ext.out
  "$cli" hide carrier.bmp -o data.$ext --seal --file data.bin --password-file pw
  "$cli" reveal data.$ext --password-file pw -o data.$ext.out
  cmp data.bin data.$ext.out
done
"$cli" info carrier.bmp | grep -x 'sealed_capacity: 43687' >/dev/null || die "sealed capacity"

# A wrong password: the one message, exit 1, nothing written anywhere.
set +e
"$cli" reveal text.png --password-file bad -o nothing >out 2>err
status=$?
set -e
[ "$status" = 1 ] || die "wrong password gave exit $status"
[ "$(cat err)" = "pennacrow-cli: text.png：密码错误或数据已损坏" ] || die "wrong password said: $(cat err)"
[ ! -s out ] && [ ! -e nothing ] || die "wrong password left output"

# A sealed file goes under its own name only when asked, and never over a file without --force.
mkdir here && cd here
if "$cli" reveal ../data.png --password-file ../pw >out 2>/dev/null; then die "file to stdout"; fi
[ ! -s out ] && [ ! -e data.bin ] || die "file written without -o or --save-file"
"$cli" reveal ../data.png --password-file ../pw --save-file 2>err
cmp data.bin ../data.bin
grep -q '已写入文件“data.bin”（40960 字节）' err || die "--save-file said: $(cat err)"
# "-" is standard output, never a file of that name.
"$cli" reveal ../data.png --password-file ../pw -o - >stdout.bin
cmp stdout.bin ../data.bin
[ ! -e - ] || die "-o - wrote a file named -"
printf 'mine' > data.bin
if "$cli" reveal ../data.png --password-file ../pw --save-file 2>/dev/null; then
  die "existing file overwritten"
fi
[ "$(cat data.bin)" = mine ] || die "existing file changed"
"$cli" reveal ../data.png --password-file ../pw --save-file --force
cmp data.bin ../data.bin
cd ..

# Stored names that would hide the file or mislead whoever reads them are not saved under them:
# a leading dot, a right-to-left override (-o OUT still saves such a file).
printf 'x' >.bash_profile
printf 'y' >$'a\u202egpj.exe'
for name in .bash_profile $'a\u202egpj.exe'; do
  "$cli" hide carrier.bmp -o named.bmp --seal --file "$name" --password-file pw
  mkdir -p saved && cd saved
  if "$cli" reveal ../named.bmp --password-file ../pw --save-file 2>../err; then die "$name saved"; fi
  [ -z "$(ls -A)" ] || die "$name: something was written"
  grep -q 'named.bmp：密封文件的名字“' ../err || die "$name: $(cat ../err)"
  cd ..
done

# A seal whose format byte was changed to that of a text is damaged, not a text to print.
for byte in 1 2; do
  cp text.bmp changed.bmp
  "$PY" - changed.bmp $byte <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
offset, width, height = struct.unpack_from('<I', data, 10)[0], *struct.unpack_from('<ii', data, 18)
row = offset + (height - 1) * ((width * 3 + 3) // 4 * 4)  # the top row, stored last
for i in range(8):
    data[row + i] = (data[row + i] & 0xFE) | (int(sys.argv[2]) >> (7 - i) & 1)
open(sys.argv[1], 'wb').write(data)
PY
  if "$cli" reveal changed.bmp --password-file pw >out 2>err; then die "format $byte: revealed"; fi
  [ ! -s out ] && grep -q '隐藏数据已损坏' err || die "format $byte: $(cat err)"
  "$cli" info changed.bmp --json | grep '"container":"damaged"' >/dev/null || die "info of format $byte"
done

# A password typed composed opens what was sealed with it decomposed.
PENNACROW_PASSWORD=$'cafe\u0301' "$cli" hide carrier.bmp -o nfc.bmp --seal --text 'NFC'
[ "$(PENNACROW_PASSWORD=$'caf\u00e9' "$cli" reveal nfc.bmp)" = NFC ] || die "NFC password"

# --seal and --encrypt are two schemes, not one on top of the other: a usage error.
set +e; "$cli" hide carrier.bmp -o x.bmp --text t --seal --encrypt 2>/dev/null; status=$?; set -e
[ "$status" = 2 ] || die "--seal --encrypt gave exit $status"

finish
