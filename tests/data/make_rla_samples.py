#!/usr/bin/python3
# Writes small RLA files with 10- and 16-bit channels (each channel's row as its high bytes, then
# its low bytes) beside the pixels they reduce to, round(v x 255 / max). Run in tests/data/rla/.
import struct
from PIL import Image

W, H = 5, 3
def channel(values):
    data = bytes(v >> 8 for v in values) + bytes(v & 255 for v in values)
    runs = b''
    for i in range(0, len(data), 128):
        chunk = data[i:i + 128]
        runs += struct.pack('b', -len(chunk)) + chunk
    return struct.pack('>H', len(runs)) + runs

def rla(name, bits):
    top = (1 << bits) - 1
    pixel = lambda x, y, c: (x * 977 + y * 4099 + c * 12345) % (top + 1)
    header = bytearray(740)
    struct.pack_into('>hhhh', header, 8, 0, W - 1, 0, H - 1)
    struct.pack_into('>hhh', header, 20, 3, 0, 0)
    struct.pack_into('>hhhhhh', header, 656, 0, bits, 0, bits, 0, bits)
    lines = []
    for y in reversed(range(H)):  # bottom row first
        lines.append(b''.join(channel([pixel(x, y, c) for x in range(W)]) for c in range(3)))
    offset = 740 + 4 * H; table = b''
    for line in lines:
        table += struct.pack('>I', offset); offset += len(line)
    open(name + '.rla', 'wb').write(bytes(header) + table + b''.join(lines))
    im = Image.new('RGB', (W, H))
    for y in range(H):
        for x in range(W):
            im.putpixel((x, y), tuple((pixel(x, y, c) * 255 + top // 2) // top for c in range(3)))
    im.save(name + '.expected.bmp')

rla('rgb16', 16)
rla('rgb10', 10)
open('rgb16.bad.rla', 'wb').write(open('rgb16.rla', 'rb').read()[:-5])
