#!/usr/bin/env bash
# hide and reveal with encryption, into PNG, and from carriers of every depth.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

convert -size 120x90 gradient:navy-orange -type truecolor bmp3:c24.bmp
convert -size 120x90 gradient:navy-orange -alpha set -channel A -evaluate set 50% +channel c32.bmp
[ "$(od -An -tu2 -j28 -N2 c32.bmp | tr -d " ")" = 32 ]
convert -size 120x90 gradient:navy-orange -colors 64 -type palette -compress none bmp3:c8.bmp
printf 'pass word\n' > pw
printf '第一行\r\nsecond line\n' > text.txt

# Encrypted: info says format 2, reveal prints the armour, --decrypt the text.
"$cli" hide c24.bmp -o enc.png --text-file text.txt --encrypt --password-file pw
"$cli" info enc.png --json | grep '"data_format":2' >/dev/null
armour=$("$cli" reveal enc.png)
[ "$armour" = "$(iconv -f UTF-8 -t GB18030 text.txt | "$cli" encrypt --password-file pw)" ]
"$cli" reveal enc.png --decrypt --password-file pw -o back.txt
cmp back.txt text.txt
PENNACROW_PASSWORD='pass word' "$cli" reveal enc.png --decrypt -o back2.txt
cmp back2.txt text.txt

# Every carrier depth survives a PNG save: 32-bit carriers are converted first.
for c in c24 c32 c8; do
  "$cli" hide $c.bmp -o $c.out.png --text-file text.txt
  "$cli" reveal $c.out.png -o $c.txt
  cmp $c.txt text.txt || { echo "$c: text lost"; exit 1; }
  "$cli" hide $c.bmp -o $c.out.BMP --text-file text.txt --raw
  "$cli" reveal $c.out.BMP --raw -o $c.raw
  cmp $c.raw text.txt
done
[ "$(od -An -tu2 -j28 -N2 c32.out.BMP | tr -d ' ')" = 32 ]

finish
