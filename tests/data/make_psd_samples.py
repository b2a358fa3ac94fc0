#!/usr/bin/python3
# Writes small multichannel (mode 7) Photoshop files beside the pixels they stand for. A
# multichannel document's channels are inks (a stored 255 is no ink, as in CMYK), each shown in
# the colour and at the solidity its DisplayInfo resource (1077) gives, overprinted on white;
# alpha channels are not part of the picture. Without the resource the inks are those Photoshop
# makes on converting: one channel black, three or more cyan, magenta, yellow and black.
# Run in tests/data/psd/.
import colorsys, struct
from PIL import Image

W, H = 5, 3
def packbits(row):
    out = b''
    for i in range(0, len(row), 128):
        chunk = row[i:i + 128]
        out += bytes([len(chunk) - 1]) + chunk
    return out

# An ink: (red, green, blue in 0..1, solidity 0..1), or None for a channel not shown.
CYAN, MAGENTA, YELLOW, BLACK = (0, 1, 1, 1), (1, 0, 1, 1), (1, 1, 0, 1), (0, 0, 0, 1)

def display_info(entries):
    """Resource 1077: version 1, then per channel its colour space, four 16-bit components, the
    opacity in per cent and the kind (0 and 1 alpha, 2 spot)."""
    data = struct.pack('>I', 1)
    for space, components, opacity, kind in entries:
        data += struct.pack('>H4HHB', space, *components, opacity, kind)
    block = b'8BIM' + struct.pack('>H', 1077) + b'\0\0' + struct.pack('>I', len(data)) + data
    return block + (b'\0' if len(data) % 2 else b'')

def composite(inks, values):
    rgb = [1.0, 1.0, 1.0]
    for ink, v in zip(inks, values):
        if ink is None:
            continue
        coverage = (255 - v) / 255 * ink[3]
        for c in range(3):
            rgb[c] *= 1 - coverage * (1 - ink[c])
    return tuple(int(x * 255 + 0.5) for x in rgb)

def psd(name, channels, inks, depth=8, compress=False, resources=b''):
    top = (1 << depth) - 1
    sample = lambda c, x, y: (x * 61 + y * 97 + c * 45) * (top // 255) % (top + 1)
    head = b'8BPS' + struct.pack('>H6xHIIHH', 1, channels, H, W, depth, 7)
    head += struct.pack('>I', 0) + struct.pack('>I', len(resources)) + resources + struct.pack('>I', 0)
    rows = []
    for c in range(channels):
        for y in range(H):
            rows.append(b''.join(struct.pack('>H' if depth == 16 else 'B', sample(c, x, y)) for x in range(W)))
    if compress:
        packed = [packbits(r) for r in rows]
        body = struct.pack('>H', 1) + b''.join(struct.pack('>H', len(p)) for p in packed) + b''.join(packed)
    else:
        body = struct.pack('>H', 0) + b''.join(rows)
    open(name + '.psd', 'wb').write(head + body)
    im = Image.new('RGB', (W, H))
    for y in range(H):
        for x in range(W):
            values = [(sample(c, x, y) * 255 + top // 2) // top for c in range(channels)]
            im.putpixel((x, y), composite(inks, values))
    im.save(name + '.expected.bmp')

psd('multichannel5', 5, [CYAN, MAGENTA, YELLOW, BLACK, None], compress=True)  # a fifth unknown
psd('multichannel1', 1, [BLACK])
psd('multichannel3_16', 3, [CYAN, MAGENTA, YELLOW], depth=16)
open('multichannel5.bad.psd', 'wb').write(open('multichannel5.psd', 'rb').read()[:-45])  # into the third channel

# Inks from the file: a red spot colour given as RGB, a half-solid blue given as CMYK (0 is full
# ink), an alpha channel, and a dark grey (Photoshop's grey runs 0 to 10000, 10000 black) and an
# orange given as HSB (hue in 65536ths of a turn).
orange = colorsys.hsv_to_rgb(30 / 360, 1.0, 1.0)
psd('multichannel_inks', 5, [(1, 0, 0, 1), (0, 0, 1, 0.5), None, (0.25, 0.25, 0.25, 0.8),
                             (*orange, 1)],
    resources=display_info([(0, (65535, 0, 0, 0), 100, 2), (2, (0, 0, 65535, 65535), 50, 2),
                            (0, (0, 0, 0, 0), 50, 0), (8, (7500, 0, 0, 0), 80, 2),
                            (1, (round(30 / 360 * 65536), 65535, 65535, 0), 100, 2)]))
