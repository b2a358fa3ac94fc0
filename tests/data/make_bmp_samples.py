#!/usr/bin/python3
# Writes small BMP variants that other programs produce, each with the picture it stands for
# saved by Pillow as name.expected.bmp. Run in tests/data/bmp/.
import struct
from PIL import Image

W, H = 5, 3
def rows(bpp, pixels, width):
    out = b''
    for y in reversed(range(H)):  # bottom row first
        line = pixels(y)
        if bpp == 4: line = bytes((line[i] << 4) | (line[i + 1] if i + 1 < len(line) else 0) for i in range(0, len(line), 2))
        out += line + b'\0' * ((-len(line)) % 4)
    return out

def info(size, bpp, clr_used, compression=0):
    full = struct.pack('<IiiHHIIiiII', size, W, H, 1, bpp, compression, 0, 2835, 2835, clr_used, 0)
    return (full + b'\0' * 64)[:size]

def file(name, header, table, data, packed=False):
    body = header + table + data
    if not packed:
        body = b'BM' + struct.pack('<IHHI', 14 + len(body), 0, 0, 14 + len(header) + len(table)) + body
    open(name, 'wb').write(body)

pal = [(i * 40 % 256, (255 - i * 15) % 256, i * 7 % 256) for i in range(300)]
table = lambda n: b''.join(bytes((b, g, r, 0)) for r, g, b in pal[:n])
idx8 = lambda y: bytes((x * 3 + y * 5) % 256 for x in range(W))
idx4 = lambda y: bytes((x * 3 + y * 5) % 16 for x in range(W))
rgb = lambda y: b''.join(bytes(((x * 50) % 256, (y * 80) % 256, (x * y * 30) % 256)) for x in range(W))

def expected(name, pixels, mode):
    im = Image.new('RGB', (W, H))
    for y in range(H):
        line = pixels(y)
        for x in range(W):
            im.putpixel((x, y), pal[line[x]] if mode == 'P' else (line[3 * x + 2], line[3 * x + 1], line[3 * x]))
    im.save(name + '.expected.bmp')

# 24 bits with a 300-entry colour table before the pixels
file('rgb24_table_300.bmp', info(40, 24, 300), table(300), rows(24, rgb, W)); expected('rgb24_table_300', rgb, 'RGB')
# 4 bits with 20 colours listed: the first 16 are the table
file('pal4_table_20.bmp', info(40, 4, 20), table(20), rows(4, idx4, W)); expected('pal4_table_20', idx4, 'P')
# OS/2 2.x headers of 16 and 64 bytes, 4-byte table entries
file('os2v2_16.bmp', info(16, 8, 0), table(256), rows(8, idx8, W)); expected('os2v2_16', idx8, 'P')
file('os2v2_64.bmp', info(64, 8, 0), table(256), rows(8, idx8, W)); expected('os2v2_64', idx8, 'P')
# Headerless (packed) DIBs, as the clipboard holds them
file('packed_rgb24.dib', info(40, 24, 0), b'', rows(24, rgb, W), packed=True); expected('packed_rgb24', rgb, 'RGB')
file('packed_pal8.dib', info(40, 8, 0), table(256), rows(8, idx8, W), packed=True); expected('packed_pal8', idx8, 'P')
# Damaged twins: cut inside the rows
open('os2v2_16.bad.bmp', 'wb').write(open('os2v2_16.bmp', 'rb').read()[:-10])
open('packed_pal8.bad.dib', 'wb').write(open('packed_pal8.dib', 'rb').read()[:-10])
