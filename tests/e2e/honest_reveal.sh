#!/bin/bash
# What reveal and hide refuse instead of reporting success: pictures without a container, chance
# version 1 hits, text that is not UTF-8, empty passwords, inputs that never end, and the
# terminal left without echo.
set -u
CLI=$1
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
cd "$DIR" || exit 1
FAILED=0
fail() {
  echo "FAIL: $*" >&2
  FAILED=1
}
PY=$(command -v /usr/bin/python3 || command -v python3) || { echo "python3 needed" >&2; exit 1; }

# ppm FILE WIDTH HEIGHT [LOWBITS]: a grey picture whose first carrier bytes take LOWBITS (the
# bitmap holds each pixel blue first, the file red first).
ppm() {
  "$PY" - "$@" <<'PY'
import sys
name, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
bits = sys.argv[4] if len(sys.argv) > 4 else ''
data = bytearray([0xA4]) * (w * h * 3)
for i, b in enumerate(bits):
    j = 3 * (i // 3) + 2 - i % 3
    data[j] = (data[j] & 0xFE) | int(b)
open(name, 'wb').write(b'P6\n%d %d\n255\n' % (w, h) + bytes(data))
PY
}
# v1bits HEX: the low bits of a version 1 container holding the bytes HEX.
v1bits() {
  "$PY" - "$1" <<'PY'
import sys
text = bytes.fromhex(sys.argv[1])
bits = '0' * 31 + format(2 * len(text), '017b')[::-1] + '0' * 16
bits += ''.join(format(c, '08b')[::-1] for c in text)
print(bits)
PY
}

# A picture without a container: exit 1, nothing on standard output; --force reads as before.
ppm plain.ppm 200 10
out=$("$CLI" reveal plain.ppm 2>err.txt)
[ $? = 1 ] && [ -z "$out" ] || fail "reveal without a container: want exit 1 and no output"
grep -q -- --force err.txt || fail "no-container message: $(cat err.txt)"
"$CLI" reveal --force plain.ppm >/dev/null || fail "reveal --force"

# Version 1 hits: a text the memo could have held reads; control bytes or bytes outside the code
# page are chance, for info and reveal alike, and --force still gives the bytes.
while read -r hex real; do
  ppm v1.ppm 200 10 "$(v1bits "$hex")"
  format=$("$CLI" info v1.ppm | sed -n 's/^data_format: //p')
  "$CLI" reveal --raw v1.ppm >got.bin 2>/dev/null
  status=$?
  "$CLI" reveal --raw --force v1.ppm | od -An -tx1 | tr -d ' \n' >forced.hex
  [ "$(cat forced.hex)" = "$hex" ] || fail "v1 $hex: --force gave $(cat forced.hex)"
  if [ "$real" = yes ]; then
    [ "$format" = 3 ] && [ $status = 0 ] || fail "v1 $hex: a real text must read (info $format)"
  else
    [ "$format" = 255 ] && [ $status = 1 ] && [ ! -s got.bin ] ||
      fail "v1 $hex: a chance hit must be no container (info $format, exit $status)"
  fi
done <<'CASES'
41420d0a09c4e3 yes
410142 no
41427f no
418120 no
CASES

# Text that is not UTF-8 is refused with the offset of the first bad byte; --raw stores it.
printf 'ab\xffcd' >bad.txt
"$CLI" hide plain.ppm -o bad.bmp --text-file bad.txt 2>err.txt
[ $? = 1 ] && [ ! -e bad.bmp ] || fail "invalid UTF-8 must exit 1 and write nothing"
grep -q "第 2 字节" err.txt || fail "invalid UTF-8 message: $(cat err.txt)"
"$CLI" hide plain.ppm -o raw.bmp --text-file bad.txt --raw || fail "hide --raw"
"$CLI" reveal --raw raw.bmp | cmp -s - bad.txt || fail "--raw bytes back"

# Empty passwords are refused, from the environment and from a file.
: >empty.pw
PENNACROW_PASSWORD= "$CLI" hide plain.ppm -o e1.bmp --text x --encrypt 2>/dev/null
[ $? = 1 ] && [ ! -e e1.bmp ] || fail "empty password from the environment"
"$CLI" hide plain.ppm -o e2.bmp --text x --encrypt --password-file empty.pw 2>/dev/null
[ $? = 1 ] && [ ! -e e2.bmp ] || fail "empty password from a file"

# Inputs that never end stop with a message instead of eating memory.
ln -s /dev/zero zero.bmp
for args in "info zero.bmp" "hide plain.ppm -o z.bmp --text-file /dev/zero" \
  "hide plain.ppm -o z.bmp --encrypt --password-file /dev/zero --text x"; do
  # shellcheck disable=SC2086
  timeout 20 "$CLI" $args 2>err.txt
  [ $? = 1 ] && [ -s err.txt ] || fail "$args: want exit 1 with a message"
done
timeout 20 "$CLI" hide plain.ppm -o z.bmp </dev/zero 2>/dev/null
[ $? = 1 ] || fail "an endless standard input"

# Ctrl+C or SIGTERM at the password prompt gives the terminal its echo back, and the process
# still dies of the signal.
"$PY" - "$CLI" plain.ppm <<'PY' || fail "password prompt: $?"
import os, pty, signal, sys, termios, time
pid, master = pty.fork()
if pid == 0:
    os.environ.pop('PENNACROW_PASSWORD', None)
    os.execv(sys.argv[1], [sys.argv[1], 'hide', sys.argv[2], '-o', 'p.bmp', '--text', 'x', '--encrypt'])
seen = b''
deadline = time.time() + 10
while b':' not in seen and time.time() < deadline:
    seen += os.read(master, 100)
time.sleep(0.2)
if termios.tcgetattr(master)[3] & termios.ECHO:
    sys.exit(3)  # the prompt did not turn echo off: nothing was tested
for sig in (signal.SIGTERM,):
    os.kill(pid, sig)
_, status = os.waitpid(pid, 0)
if not os.WIFSIGNALED(status) or os.WTERMSIG(status) != signal.SIGTERM:
    sys.exit(4)
sys.exit(0 if termios.tcgetattr(master)[3] & termios.ECHO else 5)
PY

exit $FAILED
