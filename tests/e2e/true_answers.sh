#!/usr/bin/env bash
# Answers that must be true: a failure is never exit 0, an output goes where it was asked, a text
# is shown safely at a terminal, and a message speaks one language.
set -u
. "$(dirname "$0")/lib.sh"
PY=$(command -v /usr/bin/python3 || command -v python3)
en() { PENNACROW_LANG=en "$cli" "$@"; }

convert -size 160x120 plasma:fractal -seed 3 photo.png
convert photo.png -quality 90 photo.jpg
head -c 1500 photo.jpg >cut.jpg  # its top rows and nothing more
convert -size 40x30 gradient:navy-orange -alpha set -channel A -evaluate set 50% +channel \
  PNG32:half.png
printf 'pw\n' >pw
"$cli" hide photo.png -o plain.png --text 'a plain text'
"$cli" hide photo.png -o esc.png --text $'hi\e]0;owned\a\e[2Jthere'
printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0\0\0\0\0' >broken.png

# expect STATUS ERROR_PATTERN COMMAND...: the exit status, and a message matching the pattern.
expect() {
  local status=$1 pattern=$2
  shift 2
  "$@" >out 2>err
  local got=$?
  [ $got = "$status" ] || fail "$*: exit $got, expected $status ($(cat err))"
  grep -qE -- "$pattern" err || fail "$*: said $(cat err)"
}
expect 1 'not encrypted' en reveal plain.png --decrypt --password-file pw
[ ! -s out ] || fail "reveal --decrypt of a plain text printed it"
printf 'not base64!!' >junk.txt
expect 1 'Not an encrypted text' en decrypt --password-file pw <junk.txt
# A file cut short is damaged for every command that reads it, not a picture without a text.
expect 1 'cut.jpg: .*incomplete' en info cut.jpg
expect 1 'cut.jpg: .*incomplete' en reveal cut.jpg
# --format must agree with the file it names; nothing is written when it does not.
expect 2 'does not match' en fractal mandelbrot --format bmp -o x.png
expect 2 'does not match' en convert photo.png x.png --format bmp
expect 2 'does not match' en hide photo.png -o x.bmp --text hi --format png
[ ! -e x.png ] && [ ! -e x.bmp ] || fail "a refused --format wrote a file"
# Transparency a PNG output cannot keep is announced, a BMP keeps it quietly.
expect 0 'half.png: .*alpha' en hide half.png -o half-out.png --text hi
"$cli" hide half.png -o half-out.bmp --text hi 2>err && [ ! -s err ] || fail "BMP: $(cat err)"
# One language in a message: no library's English inside Chinese, no Chinese inside English.
expect 1 'broken.png: .*PNG' en info broken.png
grep -qP '[\x{4e00}-\x{9fff}]' err && fail "Chinese in an English message: $(cat err)"
expect 1 'broken.png' "$cli" info broken.png
grep -qiE 'crc|ihdr|error' err && fail "English in a Chinese message: $(cat err)"
# analyze reads standard input like the other commands.
"$cli" analyze - <plain.png >out && grep -q 'standard input\|标准输入' out || fail "analyze -"

# Control characters of a text are escaped at a terminal and said to be; a pipe and --raw give
# the bytes as hidden.
"$PY" - "$cli" <<'PY' || fail "reveal at a terminal: $?"
import os, pty, sys
def at_terminal(*args):
    pid, master = pty.fork()
    if pid == 0:
        os.execv(sys.argv[1], [sys.argv[1], *args])
    out = b''
    while True:
        try:
            data = os.read(master, 4096)
        except OSError:
            break
        if not data:
            break
        out += data
    os.waitpid(pid, 0)
    return out
shown = at_terminal('reveal', 'esc.png')
if b'\x1b' in shown or b'\x07' in shown or b'^[' not in shown or b'--raw' not in shown:
    sys.exit(2)
if b'\x1b]0;owned\x07' not in at_terminal('reveal', 'esc.png', '--raw'):
    sys.exit(3)
PY
[ "$("$cli" reveal esc.png | od -An -c | tr -d ' \n')" = 'hi033]0;owned\a033[2Jthere' ] ||
  fail "reveal into a pipe changed the bytes"

finish
