#!/bin/bash
# What hide, reveal and convert do to the file named as OUT: modes and owners kept, links kept,
# devices and FIFOs written in place, private texts 0600, long names, and no temporary file left
# behind by a signal, not even SIGKILL.
set -u
. "$(dirname "$0")/lib.sh"
CLI=$cli DIR=$work
mode() { stat -c %a "$1"; }
temps() { find . -name '.pcw*' | wc -l; }

{ printf 'P6\n120 80\n255\n'; head -c $((120 * 80 * 3)) /dev/urandom; } >carrier.ppm

# Modes: a replaced file keeps its own; new files follow the umask, except revealed text (0600).
"$CLI" hide carrier.ppm -o kept.bmp --text one || fail "first hide"
chmod 640 kept.bmp
"$CLI" hide carrier.ppm -o kept.bmp --text two || fail "second hide to the same OUT"
[ "$(mode kept.bmp)" = 640 ] || fail "replaced file mode $(mode kept.bmp), want 640"
[ "$("$CLI" reveal kept.bmp)" = two ] || fail "second hide's text"
(
  umask 000
  "$CLI" hide carrier.ppm -o open.png --text x && "$CLI" reveal open.png -o secret.txt
) || fail "hide and reveal under umask 000"
[ "$(mode open.png)" = 666 ] || fail "new picture mode $(mode open.png), want 666"
[ "$(mode secret.txt)" = 600 ] || fail "revealed text mode $(mode secret.txt), want 600"

# A link is kept and the file it names is replaced, beside itself.
mkdir real
cp kept.bmp real/target.bmp
ln -s real/target.bmp link.bmp
"$CLI" hide carrier.ppm -o link.bmp --text linked || fail "hide through a link"
[ -L link.bmp ] || fail "the link was replaced"
[ "$("$CLI" reveal real/target.bmp)" = linked ] || fail "the link's target was not written"
[ "$(ls -A real | wc -l)" = 1 ] || fail "files left beside the target: $(ls -A real)"

# Devices and FIFOs are written in place, never renamed over.
"$CLI" reveal kept.bmp -o /dev/null || fail "reveal -o /dev/null"
ln -s /dev/null null.bmp
"$CLI" convert carrier.ppm null.bmp || fail "convert to a link to /dev/null"
[ -c /dev/null ] && [ -L null.bmp ] || fail "/dev/null or its link was replaced"
mkfifo fifo.bmp
head -c 2 <fifo.bmp >from-fifo.txt &
reader=$!
"$CLI" convert carrier.ppm fifo.bmp 2>/dev/null
wait $reader
[ -p fifo.bmp ] && [ "$(cat from-fifo.txt)" = BM ] || fail "FIFO written in place"

# A name of 254 characters leaves no room for a suffix on the temporary file.
long=$(printf 'n%.0s' $(seq 250)).bmp
"$CLI" hide carrier.ppm -o "$long" --text long || fail "a 254-character name"

# Owners are kept where the system allows it (root may give a file back to its owner).
if [ "$(id -u)" = 0 ] && cp kept.bmp owned.bmp && chown nobody owned.bmp 2>/dev/null; then
  "$CLI" hide carrier.ppm -o owned.bmp --text owned && [ "$(stat -c %U owned.bmp)" = nobody ] ||
    fail "owner of a replaced file: $(stat -c %U owned.bmp), want nobody"
fi

# A save under way leaves no temporary file behind, whatever ends it: SIGINT and SIGTERM (job
# control gives the background job the default SIGINT, as a command typed at a terminal has),
# and SIGKILL at any moment, which no handler sees.
{ printf 'P6\n3000 3000\n255\n'; head -c $((3000 * 3000 * 3)) /dev/zero; } >big.ppm
saving() { ls -l "/proc/$1/fd" 2>/dev/null | grep -q -e "$PWD/#" -e "$PWD/.pcw"; }
set -m
for signal in INT TERM; do
  "$CLI" convert big.ppm big.png 2>/dev/null &
  pid=$!
  for _ in $(seq 100000); do saving $pid && break; done
  kill -s $signal $pid
  wait $pid
  status=$?
  [ $status -gt 128 ] || fail "SIG$signal: the save was not under way (exit $status)"
  rm -f big.png
done
set +m
{ printf 'P6\n600 600\n255\n'; head -c $((600 * 600 * 3)) /dev/urandom; } >mid.ppm
for delay in $(seq 0.002 0.005 0.1); do
  "$CLI" convert mid.ppm killed.png 2>/dev/null &
  pid=$!
  sleep "$delay"
  kill -9 $pid 2>/dev/null
  wait $pid 2>/dev/null
done
[ "$(temps)" = 0 ] || fail "temporary files left behind: $(ls -A)"

finish
