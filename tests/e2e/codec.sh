#!/bin/bash
# hide, reveal and info on BMP carriers made here byte by byte.
set -u
. "$(dirname "$0")/lib.sh"
CLI=$cli DIR=$work
export LC_ALL=C

le32() {
  local v=$1
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $(((v >> 8) & 255)) $(((v >> 16) & 255)) \
    $(((v >> 24) & 255))
}
le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)); }

# make_bmp FILE WIDTH HEIGHT BPP [LOWBITS]: a bottom-up BMP whose pixel bytes follow a fixed
# pattern; LOWBITS (a string of 0 and 1) replaces the low bits of the first bytes in file order,
# which with a height of 1 are the first bytes of row 0.
make_bmp() {
  local file=$1 width=$2 height=$3 bpp=$4 bits=${5:-}
  local row=$((((width * bpp + 31) / 32) * 4))
  local size=$((row * height))
  local colours=0
  [ "$bpp" -le 8 ] && colours=$((1 << bpp))
  local offset=$((54 + colours * 4))
  {
    printf 'BM'
    printf "$(le32 $((offset + size)))$(le32 0)$(le32 $offset)"
    printf "$(le32 40)$(le32 "$width")$(le32 "$height")$(le16 1)$(le16 "$bpp")$(le32 0)"
    printf "$(le32 $size)$(le32 2835)$(le32 2835)$(le32 $colours)$(le32 0)"
    awk -v n=$colours 'BEGIN { for (i = 0; i < n; i++) printf "%c%c%c%c", i, (i * 7) % 256, 255 - i, 0 }'
    awk -v n=$size -v bits="$bits" 'BEGIN {
      for (i = 0; i < n; i++) {
        b = (i * 37 + 11) % 256
        if (i < length(bits)) b = b - b % 2 + substr(bits, i + 1, 1)
        printf "%c", b
      }
    }'
  } >"$file"
}

json_field() { sed -n "s/.*\"$2\":\([^,}]*\).*/\1/p" <<<"$1"; }

# Hide then reveal --raw gives the bytes back, across depths and a picture 10 pixels wide.
printf 'Hello\r\nworld \xc4\xe3\xba\xc3 \x00 end\x80' >"$DIR/payload.bin"
for carrier in "64 48 24" "64 48 32" "64 48 8" "10 60 24"; do
  read -r w h bpp <<<"$carrier"
  make_bmp "$DIR/carrier.bmp" "$w" "$h" "$bpp"
  rm -f "$DIR/out.bmp"
  "$CLI" hide "$DIR/carrier.bmp" -o "$DIR/out.bmp" --text-file "$DIR/payload.bin" --raw ||
    fail "hide into $carrier"
  "$CLI" reveal "$DIR/out.bmp" --raw >"$DIR/revealed.bin" || fail "reveal from $carrier"
  cmp -s "$DIR/payload.bin" "$DIR/revealed.bin" || fail "round trip through $carrier"
  info=$("$CLI" info "$DIR/out.bmp" --json)
  [ "$(json_field "$info" data_format)" = 1 ] || fail "probe after hide into $carrier: $info"
  [ "$(json_field "$info" capacity)" = $((w * h / 8)) ] || fail "capacity of $carrier: $info"
  [ "$(json_field "$info" bits_per_pixel)" = "$bpp" ] || fail "depth of $carrier: $info"
done
grep -qF '"status":"Pennacrow Ver 2.0，未加密        "' <<<"$info" || fail "status text: $info"

# UTF-8 in, UTF-8 out (stored in the payload code page), text from the command line and stdin.
make_bmp "$DIR/carrier.bmp" 64 48 24
"$CLI" hide "$DIR/carrier.bmp" -o "$DIR/utf8.BMP" --text '你好，世界' || fail "hide --text"
[ "$("$CLI" reveal "$DIR/utf8.BMP")" = '你好，世界' ] || fail "reveal of a UTF-8 text"
[ "$("$CLI" reveal "$DIR/utf8.BMP" --raw | od -An -tx1 | tr -d ' \n')" = c4e3bac3a3accac0bde7 ] ||
  fail "payload bytes of a UTF-8 text"
printf 'from stdin' | "$CLI" hide "$DIR/carrier.bmp" -o "$DIR/stdin.bmp" || fail "hide from stdin"
"$CLI" reveal "$DIR/stdin.bmp" -o "$DIR/stdin.txt" || fail "reveal -o"
[ "$(cat "$DIR/stdin.txt")" = 'from stdin' ] || fail "reveal -o content"
# An empty text is written, and is no hidden text to reveal but with --force.
printf '' | "$CLI" hide "$DIR/carrier.bmp" -o "$DIR/empty.bmp" || fail "hide an empty text"
"$CLI" reveal "$DIR/empty.bmp" 2>/dev/null && fail "reveal of an empty text must exit 1"
[ -z "$("$CLI" reveal "$DIR/empty.bmp" --force --raw | od -An -tx1)" ] || fail "reveal an empty text"
# Bytes reveal would not take for a text are refused: neither GB18030 nor UTF-8, or controls only.
for text in 'ab\xff' '\x1b\x07'; do
  printf "$text" >"$DIR/notext.bin"
  "$CLI" hide "$DIR/carrier.bmp" -o "$DIR/notext.bmp" --text-file "$DIR/notext.bin" --raw 2>/dev/null
  [ $? = 1 ] && [ ! -e "$DIR/notext.bmp" ] || fail "hide --raw of $text must exit 1"
done

# The probe cases, in a 48 x 1 picture whose row 0 low bits are set here.
probe() {
  make_bmp "$DIR/probe.bmp" 48 1 24 "$1"
  info=$("$CLI" info "$DIR/probe.bmp" --json) || fail "info on probe case $1"
  [ "$(json_field "$info" data_format)" = "$2" ] || fail "probe of $1: $info"
  grep -qF "\"status\":\"$3\"" <<<"$info" || fail "status of probe $1: $info"
  [ "$(json_field "$info" capacity)" = 6 ] || fail "capacity 6: $info"
}
zeros31=0000000000000000000000000000000
probe "${zeros31}00000000000000000" 0 "无隐藏数据或格式未知   "
probe "11111111" 255 "无隐藏数据或格式未知   "
# Chance headers are no container: a version 1 or encrypted one of length 0, and a version 1
# length beyond the picture.
probe "${zeros31}10000000000000000" 0 "无隐藏数据或格式未知   "
probe "00000010" 0 "无隐藏数据或格式未知   "
probe "00000011${zeros31:0:23}11111111111111111" 0 "无隐藏数据或格式未知   "

# A version 1 container holding AB: length 2 and the bytes least significant bit first.
make_bmp "$DIR/v1.bmp" 80 1 24 "${zeros31}0""0100000000000000""${zeros31:0:16}""10000010""01000010"
[ "$("$CLI" reveal "$DIR/v1.bmp")" = AB ] || fail "version 1 container"
"$CLI" info "$DIR/v1.bmp" | grep -qx 'data_format: 3' || fail "plain info output"

# Failures: nothing is written to OUT.
make_bmp "$DIR/small.bmp" 32 8 24
"$CLI" hide "$DIR/small.bmp" -o "$DIR/long.bmp" --text "$(printf '%040d' 0)" 2>"$DIR/err.txt"
[ $? = 1 ] || fail "a text too long must exit 1"
[ -e "$DIR/long.bmp" ] && fail "a text too long wrote OUT"
grep -q 29 "$DIR/err.txt" && grep -q 40 "$DIR/err.txt" || fail "too long message: $(cat "$DIR/err.txt")"
"$CLI" hide "$DIR/small.bmp" -o "$DIR/out.jpg" --text x 2>/dev/null
[ $? = 2 ] || fail "a bad extension must exit 2"
[ -e "$DIR/out.jpg" ] && fail "a bad extension wrote OUT"
"$CLI" hide "$DIR/small.bmp" --text x 2>/dev/null
[ $? = 2 ] || fail "a missing -o must exit 2"
"$CLI" hide "$DIR/small.bmp" -o "$DIR/both.bmp" --text x --text-file "$DIR/payload.bin" 2>/dev/null
[ $? = 2 ] || fail "--text with --text-file must exit 2"
# A header whose length needs more rows than the picture has.
make_bmp "$DIR/short.bmp" 48 1 24 "000000010000000000000100"
"$CLI" reveal "$DIR/short.bmp" -o "$DIR/short.txt" 2>/dev/null
[ $? = 1 ] || fail "a length beyond the picture must exit 1"
[ -e "$DIR/short.txt" ] && fail "a failed reveal wrote OUT"

finish
