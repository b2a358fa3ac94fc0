#!/usr/bin/python3
# Writes small multichannel (mode 7) Photoshop files beside the pixels viewers show for them: the
# first three channels as red, green and blue (one channel as grey); further channels ignored.
# Run in tests/data/psd/.
import struct
from PIL import Image

W, H = 5, 3
def packbits(row):
    out = b''
    for i in range(0, len(row), 128):
        chunk = row[i:i + 128]
        out += bytes([len(chunk) - 1]) + chunk
    return out

def psd(name, channels, depth=8, compress=False):
    top = (1 << depth) - 1
    sample = lambda c, x, y: (x * 61 + y * 97 + c * 45) * (top // 255) % (top + 1)
    head = b'8BPS' + struct.pack('>H6xHIIHH', 1, channels, H, W, depth, 7)
    head += struct.pack('>III', 0, 0, 0)  # colour mode data, resources, layers
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
            v = [(sample(c if channels >= 3 else 0, x, y) * 255 + top // 2) // top for c in range(3)]
            im.putpixel((x, y), tuple(v))
    im.save(name + '.expected.bmp')

psd('multichannel5', 5, compress=True)   # three shown, two extra channels
psd('multichannel1', 1)                  # one channel: grey
psd('multichannel3_16', 3, depth=16)
open('multichannel5.bad.psd', 'wb').write(open('multichannel5.psd', 'rb').read()[:-45])  # into the third channel
