#!/bin/bash
# analyze over several files and directories, and hide --stealth, on pictures made here.
set -u
. "$(dirname "$0")/lib.sh"
CLI=$cli DIR=$work
cd - >/dev/null || exit 1

mkdir -p "$DIR/pics/sub"
"$CLI" fractal mandelbrot -o "$DIR/pics/a.bmp" --size 96x64 --seed 1 || fail "fractal a"
"$CLI" fractal julia -o "$DIR/pics/sub/b.png" --size 80x60 --seed 2 || fail "fractal b"
"$CLI" hide "$DIR/pics/a.bmp" -o "$DIR/pics/c.bmp" --text "Attack at dawn, bring the maps please" ||
  fail "hide"
printf 'BM not really a bitmap' >"$DIR/pics/damaged.bmp"

# Stealth: the text reads back, and no byte moved by more than one.
"$CLI" hide "$DIR/pics/a.bmp" -o "$DIR/stealth.bmp" --stealth --text "quiet words" || fail "stealth"
[ "$("$CLI" reveal "$DIR/stealth.bmp")" = "quiet words" ] || fail "stealth reads back"
cmp -l "$DIR/pics/a.bmp" "$DIR/stealth.bmp" | awk '
  function oct(s,  v, i) { for (i = 1; i <= length(s); i++) v = v * 8 + substr(s, i, 1); return v }
  { d = oct($2) - oct($3); if (d > 1 || d < -1) bad = 1 } END { exit bad }' ||
  fail "stealth moved a byte by more than 1"

# One JSON object per file, in the order given; the damaged file reported, exit status 1.
out=$("$CLI" analyze --json "$DIR/pics/a.bmp" "$DIR/pics/damaged.bmp" "$DIR/pics/c.bmp")
status=$?
[ $status -eq 1 ] || fail "exit status $status with a damaged file"
[ "$(wc -l <<<"$out")" -eq 3 ] || fail "three lines expected: $out"
sed -n 1p <<<"$out" | grep -q '^{"file":"[^"]*a.bmp","width":96,.*"verdict":' || fail "line 1: $out"
sed -n 2p <<<"$out" | grep -q '^{"file":"[^"]*damaged.bmp","error":"' || fail "line 2: $out"
sed -n 3p <<<"$out" | grep -q '"data_format":1,"container_bits":320,' || fail "line 3: $out"
sed -n 3p <<<"$out" | grep -q '"start":"[^"]\{0,1\}Attack at dawn' || fail "scan of line 3: $out"

# Stable English words and the new measurements in JSON; a picture too small to judge says so,
# and a sealed container is measured over its own bytes.
"$CLI" fractal julia -o "$DIR/tiny.png" --size 30x20 --seed 3 || fail "tiny fractal"
tiny=$("$CLI" analyze --json "$DIR/tiny.png")
grep -q '"verdict":"undecided","basis":"too_small","saturated":' <<<"$tiny" || fail "tiny: $tiny"
for key in '"agreed":{"whole":' '"trained":{"whole":' '"reliable":'; do
  grep -q "$key" <<<"$out" || fail "no $key: $out"
done
PENNACROW_PASSWORD=bench "$CLI" hide "$DIR/pics/a.bmp" -o "$DIR/sealed.bmp" --seal --text "x" ||
  fail "seal"
"$CLI" analyze --json "$DIR/sealed.bmp" | grep -q '"data_format":4,"container_bits":[1-9]' ||
  fail "sealed container's bytes"

# A directory with -r: every picture under it, one line each, the same with one job or many.
one=$("$CLI" analyze -r "$DIR/pics" --jobs 1 2>"$DIR/err1")
[ $? -eq 1 ] || fail "-r with a damaged file"
many=$("$CLI" analyze -r "$DIR/pics" --jobs 4 2>"$DIR/err4")
[ "$one" = "$many" ] || fail "--jobs changes the output"
[ "$(wc -l <<<"$one")" -eq 3 ] || fail "three good pictures under the directory: $one"
grep -q 'damaged.bmp: 无法分析' "$DIR/err1" || fail "damaged file on standard error"
grep -q 'c.bmp: 容易被检测' <<<"$one" || fail "the written picture's verdict: $one"

# Good files only: exit 0; one file: the full report.
"$CLI" analyze "$DIR/pics/a.bmp" "$DIR/pics/sub/b.png" >/dev/null || fail "good files exit 0"
"$CLI" analyze "$DIR/pics/c.bmp" | grep -q '^  写入区嵌入率估计' || fail "report of one file"
"$CLI" analyze --jobs 0 "$DIR/pics/a.bmp" 2>/dev/null
[ $? -eq 2 ] || fail "--jobs 0 is a usage error"
"$CLI" --help | grep -q 'analyze FILE' || fail "analyze in --help"
finish
