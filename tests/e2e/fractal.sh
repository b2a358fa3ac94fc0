#!/bin/bash
# pennacrow-cli fractal: every kind paints and saves; escape-time pictures match a plain
# reference pixel for pixel; a seed makes IFS paints reproducible; over a carrier the depth and
# colour table stay; usage errors exit 2 and write nothing.
set -u
. "$(dirname "$0")/lib.sh"
CLI=$cli DIR=$work

for kind in mandelbrot julia moire sierpinski fern leaf curl koch; do
  "$CLI" fractal "$kind" -o "$DIR/$kind.bmp" --seed 1 || fail "$kind did not paint"
  [ "$(identify -format '%w %h' "$DIR/$kind.bmp")" = "827 402" ] || fail "$kind: default size"
done

# Escape time, written out plainly: the first step k with |z|^2 >= 4, scaled by 16 / N, rounded
# half to even; black when it does not escape within N steps.
check_escape() {  # kind file iterations
  python3 - "$@" <<'PY' || fail "$1 differs from the reference"
import struct, sys
kind, path, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(path, "rb").read()
offset, = struct.unpack_from("<I", data, 10)
w, h = struct.unpack_from("<ii", data, 18)
bpp, = struct.unpack_from("<H", data, 28)
assert bpp == 24, bpp
palette = [(0,0,0),(0,0,128),(0,128,0),(0,255,255),(255,0,0),(128,0,128),(128,0,0),
           (192,192,192),(128,128,128),(0,0,255),(0,255,0),(128,128,0),(255,0,255),
           (0,128,128),(255,255,0),(255,255,255)]
stride = (w * 3 + 3) // 4 * 4
x0, y0, x1, y1 = -2.25, -1.5, 0.75, 1.5
dx, dy = (x1 - x0) / w, (y1 - y0) / abs(h)
for y in range(abs(h)):
    row = offset + (abs(h) - 1 - y if h > 0 else y) * stride
    for x in range(w):
        p = complex(x0 + x * dx, y0 + y * dy)
        if kind == "julia": re, im, cr, ci = p.real, p.imag, 0.0, 1.0
        else: re, im, cr, ci = 0.0, 0.0, p.real, p.imag
        index = 0
        for k in range(n):
            if re * re + im * im >= 4:
                index = round(16 * k / n) if 16 * k % n else 16 * k // n
                break
            re, im = re * re - im * im + cr, 2 * re * im + ci
        r, g, b = palette[index] if index < 16 else (255, 255, 255)
        got = tuple(data[row + 3 * x: row + 3 * x + 3])
        if got != (b, g, r):
            sys.exit(f"{kind} pixel {x},{y}: {got} != {(b, g, r)}")
PY
}
"$CLI" fractal mandelbrot -o "$DIR/m64.bmp" --size 64x32 || fail "mandelbrot 64x32"
check_escape mandelbrot "$DIR/m64.bmp" 16
"$CLI" fractal julia -o "$DIR/j64.bmp" --size 64x32 || fail "julia 64x32"
check_escape julia "$DIR/j64.bmp" 16
"$CLI" fractal julia -o "$DIR/j40.bmp" --size 45x30 --iterations 40 || fail "julia 40 iterations"
check_escape julia "$DIR/j40.bmp" 40

# The same seed paints the same fern; another seed another one.
"$CLI" fractal fern -o "$DIR/a.bmp" --seed 4711 --size 200x150 || fail "fern a"
"$CLI" fractal fern -o "$DIR/b.bmp" --seed 4711 --size 200x150 || fail "fern b"
"$CLI" fractal fern -o "$DIR/c.bmp" --seed 4712 --size 200x150 || fail "fern c"
cmp -s "$DIR/a.bmp" "$DIR/b.bmp" || fail "same seed, different fern"
cmp -s "$DIR/a.bmp" "$DIR/c.bmp" && fail "different seeds, same fern"

# Over an 8-bit carrier: size from --size, 8 bits and the carrier's colour table kept.
convert -size 300x200 xc: -sparse-color bilinear '0,0 red 299,0 lime 0,199 blue 299,199 yellow' \
  -colors 100 -type Palette -compress none "BMP3:$DIR/carrier.bmp"
"$CLI" fractal mandelbrot --over "$DIR/carrier.bmp" --size 120x80 -o "$DIR/over.bmp" || fail "over"
[ "$(identify -format '%w %h' "$DIR/over.bmp")" = "120 80" ] || fail "over: size"
python3 - "$DIR/carrier.bmp" "$DIR/over.bmp" <<'PY' || fail "over: depth or colour table changed"
import struct, sys
def table(path):
    d = open(path, "rb").read()
    header, = struct.unpack_from("<I", d, 14)
    bpp, = struct.unpack_from("<H", d, 28)
    offset, = struct.unpack_from("<I", d, 10)
    return bpp, d[14 + header: offset]
a, b = table(sys.argv[1]), table(sys.argv[2])
assert a[0] == b[0] == 8, (a[0], b[0])
assert a[1] == b[1]
PY

# Usage errors exit 2 and write nothing.
expect_usage() {
  rm -f "$DIR/u.bmp"
  "$CLI" fractal "$@" 2>/dev/null
  [ $? -eq 2 ] || fail "expected a usage error: $*"
  [ ! -e "$DIR/u.bmp" ] || fail "usage error wrote a file: $*"
}
expect_usage dragon -o "$DIR/u.bmp"
expect_usage mandelbrot
expect_usage mandelbrot -o "$DIR/u.jpg"
expect_usage mandelbrot -o "$DIR/u.bmp" --size 0x10
expect_usage mandelbrot -o "$DIR/u.bmp" --size 10
expect_usage mandelbrot -o "$DIR/u.bmp" --size 10x10x
expect_usage mandelbrot -o "$DIR/u.bmp" --iterations -1
expect_usage fern -o "$DIR/u.bmp" --seed 4294967296
expect_usage fern -o "$DIR/u.bmp" --seed abc

# A carrier that cannot be read: failure, message, nothing written.
rm -f "$DIR/u.bmp"
"$CLI" fractal moire --over "$DIR/none.xyz" -o "$DIR/u.bmp" 2>"$DIR/err"
[ $? -eq 1 ] || fail "unreadable carrier should exit 1"
grep -q '没有那个文件或目录' "$DIR/err" || fail "unreadable carrier message"
[ ! -e "$DIR/u.bmp" ] || fail "failed paint wrote a file"
finish
