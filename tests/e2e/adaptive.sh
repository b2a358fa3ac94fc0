#!/usr/bin/env bash
# hide --seal --adaptive and reveal --adaptive: a text and a file through PNG and BMP, a picture
# that shows nothing to info or a plain reveal, a wrong password, and pictures too small.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

convert -size 400x300 plasma:fractal -seed 3 +noise Gaussian -type truecolor bmp3:carrier.bmp
printf 'correct horse 🐴\n' > pw
printf 'wrong horse\n' > bad
head -c 3000 /dev/urandom > data.bin
head -c 40000 /dev/urandom > big.bin

"$cli" hide carrier.bmp -o text.png --seal --adaptive --text '不留痕迹 keyed' --password-file pw
[ "$("$cli" reveal text.png --adaptive --password-file pw)" = '不留痕迹 keyed' ] || fail "text"
"$cli" hide carrier.bmp -o data.bmp --seal --adaptive --file data.bin --password-file pw
"$cli" reveal data.bmp --adaptive --password-file pw -o data.out
cmp -s data.bin data.out || fail "file"

# Nothing shows: info says what it says of the carrier, a plain reveal points to --adaptive.
info() { "$cli" info "$1" --json | sed 's/"width".*"status"//'; }
[ "$(info text.png)" = "$(info carrier.bmp)" ] || fail "info sees the keyed write"
set +e
"$cli" reveal text.png >out 2>err
status=$?
"$cli" reveal text.png --adaptive --password-file bad -o nothing >wrong.out 2>wrong.err
wrong=$?
set -e
[ "$status" = 1 ] && grep -q -- '--adaptive' err || fail "plain reveal: $status $(cat err)"
[ "$wrong" = 1 ] || fail "wrong password gave exit $wrong"
[ "$(cat wrong.err)" = "pennacrow-cli: text.png：密码错误或数据已损坏" ] || fail "wrong password said: $(cat wrong.err)"
[ ! -s wrong.out ] && [ ! -e nothing ] || fail "wrong password left output"

# Refusals before any password is asked (none is given): exit 1, or 2 for a usage error.
convert -size 1x1 xc:gray -type truecolor bmp3:tiny.bmp
expect_exit 1 hide tiny.bmp -o t.png --seal --adaptive --text x
grep -q '太小' msg || fail "1x1 refused without saying why: $(cat msg)"
expect_exit 1 reveal tiny.bmp --adaptive
expect_exit 1 hide carrier.bmp -o big.png --seal --adaptive --file big.bin
grep -q '最多能放' msg || fail "too large a file: $(cat msg)"
expect_exit 2 hide carrier.bmp -o x.png --adaptive --text x
expect_exit 2 hide carrier.bmp -o x.png --seal --adaptive --stealth --text x
expect_exit 2 reveal text.png --adaptive --raw
[ ! -e t.png ] && [ ! -e big.png ] && [ ! -e x.png ] || fail "a refused hide wrote its output"

finish
