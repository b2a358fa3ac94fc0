#!/usr/bin/python3
# A GIF whose encoder lets the LZW table fill up and keeps going without a clear code (each pixel
# sent as a literal code), as some writers do; a clear comes only later.
import sys, struct
def encode(pixels, mcs, clear_after=None):
    clear = 1 << mcs; eoi = clear + 1
    out = []; size = mcs + 1; nxt = eoi + 1; first = True
    def emit(c):
        out.append((c, size))
    emit(clear)
    for n, p in enumerate(pixels):
        if clear_after is not None and n == clear_after:
            emit(clear); size = mcs + 1; nxt = eoi + 1; first = True
        emit(p)
        if not first and nxt < 4096:
            nxt += 1
            if nxt == (1 << size) and size < 12: size += 1
        first = False
    emit(eoi)
    acc = 0; nb = 0; data = bytearray()
    for c, s in out:
        acc |= c << nb; nb += s
        while nb >= 8: data.append(acc & 255); acc >>= 8; nb -= 8
    if nb: data.append(acc & 255)
    return bytes(data)
def gif(path, w, h, pixels, mcs, palette, clear_after=None):
    bits = 8
    b = b'GIF89a' + struct.pack('<HHBBB', w, h, 0xF0 | (bits - 1), 0, 0)
    b += bytes(palette)
    b += b',' + struct.pack('<HHHHB', 0, 0, w, h, 0) + bytes([mcs])
    data = encode(pixels, mcs, clear_after)
    for i in range(0, len(data), 255): b += bytes([len(data[i:i+255])]) + data[i:i+255]
    b += b'\0;'
    open(path, 'wb').write(b)
w, h = 67, 71
pixels = [(x * 7 + y * 13) % 256 for y in range(h) for x in range(w)]
pal = [v for i in range(256) for v in (i, 255 - i, (i * 3) % 256)]
gif(sys.argv[1], w, h, pixels, 8, pal, clear_after=4500)
