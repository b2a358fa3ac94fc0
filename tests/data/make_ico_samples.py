#!/usr/bin/python3
# Writes small icons of the kinds other programs produce, beside the picture each shows drawn
# over black: a PNG-compressed entry, and a 24-bit entry with a version 5 header whose colour
# profile sits between the colour rows and the AND mask. Run in tests/data/ico/.
import struct
from PIL import Image

W, H = 5, 3
colour = lambda x, y: (40 + x * 40, 200 - y * 60, 90 + x * y * 10)
transparent = lambda x, y: (x + y) % 3 == 0

def expected(name):
    im = Image.new('RGB', (W, H))
    for y in range(H):
        for x in range(W):
            im.putpixel((x, y), (0, 0, 0) if transparent(x, y) else colour(x, y))
    im.save(name + '.expected.bmp')

def icon(name, image):
    open(name + '.ico', 'wb').write(struct.pack('<HHH', 0, 1, 1) +
        struct.pack('<BBBBHHII', W, H, 0, 0, 1, 32, len(image), 6 + 16) + image)

# PNG entry, as Vista icons store their large sizes
rgba = Image.new('RGBA', (W, H))
for y in range(H):
    for x in range(W):
        rgba.putpixel((x, y), colour(x, y) + ((0,) if transparent(x, y) else (255,)))
rgba.save('/tmp/entry.png')
icon('png_entry', open('/tmp/entry.png', 'rb').read())
expected('png_entry')

# 24-bit entry, version 5 header, embedded profile after the colour rows
rows = b''
for y in reversed(range(H)):
    line = b''.join(bytes(reversed(colour(x, y))) for x in range(W))
    rows += line + b'\0' * ((-len(line)) % 4)
mask = b''
for y in reversed(range(H)):
    bits = sum(1 << (7 - x) for x in range(W) if transparent(x, y))
    mask += bytes([bits, 0, 0, 0])
profile = b'PROFILE DATA, 32 BYTES LONG.....'
header = bytearray(124)
struct.pack_into('<IiiHHI', header, 0, 124, W, 2 * H, 1, 24, 0)
header[56:60] = b'DEBM'  # 'MBED': the profile is embedded
struct.pack_into('<II', header, 112, 124 + len(rows), len(profile))
icon('v5_profile', bytes(header) + rows + profile + mask)
expected('v5_profile')
open('v5_profile.bad.ico', 'wb').write(open('v5_profile.ico', 'rb').read()[:6 + 16 + 124 + 20])
