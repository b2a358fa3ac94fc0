#!/usr/bin/python3
# Writes small uncompressed TIFFs at depths libtiff's RGBA renderer refuses, with the pixels
# they stand for computed by the 8-bit reduction rule.
import struct, sys
from PIL import Image

def tiff(path, w, h, bits, spp, photometric, data, fmt=1, colormap=None):
    entries = [(256,3,1,w),(257,3,1,h),(258,3,spp,None),(259,3,1,1),(262,3,1,photometric),
               (273,4,1,None),(277,3,1,spp),(278,3,1,h),(279,4,1,len(data)),(339,3,spp,None)]
    if colormap: entries.append((320,3,len(colormap),None))
    entries.sort()
    extra = b''; n = len(entries); ifd = 8; after = ifd + 2 + 12*n + 4
    out = []
    for tag,typ,cnt,val in entries:
        if tag == 258: arr = struct.pack('<%dH'%spp, *([bits]*spp))
        elif tag == 339: arr = struct.pack('<%dH'%spp, *([fmt]*spp))
        elif tag == 320: arr = struct.pack('<%dH'%len(colormap), *colormap)
        elif tag == 273: val = 'DATA'; arr = None
        else: arr = None
        if arr is not None:
            if len(arr) <= 4: out.append((tag,typ,cnt,arr.ljust(4,b'\0')))
            else: out.append((tag,typ,cnt,struct.pack('<I', after+len(extra)))); extra += arr
        else: out.append((tag,typ,cnt,val))
    dataoff = after + len(extra)
    b = b'II*\0' + struct.pack('<I', ifd) + struct.pack('<H', n)
    for tag,typ,cnt,val in out:
        if val == 'DATA': val = struct.pack('<I', dataoff)
        elif isinstance(val,int): val = struct.pack('<H', val).ljust(4,b'\0') if typ==3 else struct.pack('<I', val)
        b += struct.pack('<HHI', tag, typ, cnt) + val
    b += b'\0\0\0\0' + extra + data
    open(path,'wb').write(b)

def pack(values, bits, w):
    # rows of w*spp samples, MSB first, each row on a byte boundary
    out = bytearray()
    for row in values:
        acc = 0; n = 0
        for v in row:
            acc = (acc << bits) | v; n += bits
        pad = (-n) % 8; acc <<= pad; n += pad
        out += acc.to_bytes(n//8, 'big')
    return bytes(out)

def scale(v, bits): m = (1<<bits)-1; return (v*255 + m//2)//m

W, H = 5, 3
# 12-bit grey
g = [[(x*811 + y*1301) % 4096 for x in range(W)] for y in range(H)]
tiff('grey12.tif', W, H, 12, 1, 1, pack(g, 12, W))
Image.frombytes('L', (W,H), bytes(scale(v,12) for r in g for v in r)).convert('RGB').save('grey12.expected.bmp')
# 4-bit RGB
c = [[((x*5+y*3+s*7) % 16) for x in range(W) for s in range(3)] for y in range(H)]
tiff('rgb4.tif', W, H, 4, 3, 2, pack(c, 4, W))
Image.frombytes('RGB', (W,H), bytes(scale(v,4) for r in c for v in r)).save('rgb4.expected.bmp')
# 24-bit RGB, little-endian
c = [[((x*2654435 + y*97531 + s*40503) % (1<<24)) for x in range(W) for s in range(3)] for y in range(H)]
tiff('rgb24.tif', W, H, 24, 3, 2, b''.join(v.to_bytes(3,'little') for r in c for v in r))
Image.frombytes('RGB', (W,H), bytes(scale(v,24) for r in c for v in r)).save('rgb24.expected.bmp')
# 32-bit float grey, out-of-range values clamped
f = [[(x - 1) * 0.3 + y * 0.1 for x in range(W)] for y in range(H)]
tiff('float32.tif', W, H, 32, 1, 1, b''.join(struct.pack('<f', v) for r in f for v in r), fmt=3)
Image.frombytes('L', (W,H), bytes(round(min(max(v,0),1)*255) for r in f for v in r)).convert('RGB').save('float32.expected.bmp')
# CIE L*a*b*: white, black, greys and saturated colours; the reference is littleCMS's conversion
from PIL import ImageCms
lab = [(255,0,0),(0,0,0),(128,0,0),(140,50,40),(180,-30,30),(120,20,-40),(200,-10,90),(60,40,-40),(230,5,5),(90,-30,-20)]
data = b''.join(struct.pack('<Bbb', *p) for p in lab)
tiff('lab.tif', 5, 2, 8, 3, 8, data)
im = Image.frombytes('LAB', (5,2), bytes(b & 255 for p in lab for b in p))
t = ImageCms.buildTransform(ImageCms.createProfile('LAB', 5000), ImageCms.createProfile('sRGB'), 'LAB', 'RGB')
ImageCms.applyTransform(im, t).save('lab.expected.bmp')

def tiff_tiled_planar(path, w, h, bits, planes, photometric, extra, tile=16):
    """Separate planes (PlanarConfiguration 2), each cut into tile x tile tiles, little-endian,
    uncompressed; extra is the ExtraSamples value of the last plane."""
    across, down = -(-w // tile), -(-h // tile)
    data = b''
    offsets = []
    for plane in planes:
        for ty in range(down):
            for tx in range(across):
                offsets.append(len(data))
                for y in range(ty * tile, ty * tile + tile):
                    for x in range(tx * tile, tx * tile + tile):
                        v = plane[y][x] if y < h and x < w else 0
                        data += struct.pack('<H', v)
    size = tile * tile * bits // 8
    spp = len(planes)
    entries = [(256, 3, 1, w), (257, 3, 1, h), (258, 3, spp, None), (259, 3, 1, 1),
               (262, 3, 1, photometric), (277, 3, 1, spp), (284, 3, 1, 2),
               (322, 3, 1, tile), (323, 3, 1, tile), (324, 4, len(offsets), None),
               (325, 4, len(offsets), None), (338, 3, 1, extra)]
    ifd = 8
    after = ifd + 2 + 12 * len(entries) + 4
    arrays = {258: struct.pack('<%dH' % spp, *([bits] * spp)),
              325: struct.pack('<%dI' % len(offsets), *([size] * len(offsets)))}
    extra_bytes = b''
    where = {}
    for tag, arr in arrays.items():
        where[tag] = after + len(extra_bytes)
        extra_bytes += arr
    data_at = after + len(extra_bytes) + 4 * len(offsets)
    where[324] = after + len(extra_bytes)
    extra_bytes += struct.pack('<%dI' % len(offsets), *[data_at + o for o in offsets])
    out = b'II*\0' + struct.pack('<I', ifd) + struct.pack('<H', len(entries))
    for tag, typ, cnt, val in entries:
        if val is None:
            field = struct.pack('<I', where[tag]) if len(arrays.get(tag, b'1234' * 2)) > 4 or tag == 324 else arrays[tag].ljust(4, b'\0')
        else:
            field = struct.pack('<H', val).ljust(4, b'\0') if typ == 3 else struct.pack('<I', val)
        out += struct.pack('<HHI', tag, typ, cnt) + field
    out += b'\0\0\0\0' + extra_bytes + data
    open(path, 'wb').write(out)

# 16-bit RGBA with associated (premultiplied) alpha, tiled, in separate planes: the colours are
# divided by the alpha, each sample first reduced to 8 bits as 16-bit samples are.
W, H = 37, 29
alpha = [[(x * 1771 + y * 2297) % 65536 for x in range(W)] for y in range(H)]
colour = [[[(x * 911 + y * 613 + c * 20011) % 65536 * alpha[y][x] // 65535 for x in range(W)]
           for y in range(H)] for c in range(3)]
tiff_tiled_planar('rgba16_premultiplied_tiles.tif', W, H, 16, colour + [alpha], 2, 1)
def straight(c, a):
    c8, a8 = scale(c, 16), scale(a, 16)
    return 0 if a8 == 0 else min(255, (c8 * 255 + a8 // 2) // a8)
Image.frombytes('RGB', (W, H), bytes(straight(colour[c][y][x], alpha[y][x])
                                     for y in range(H) for x in range(W) for c in range(3))).save(
    'rgba16_premultiplied_tiles.expected.bmp')

# 32-bit signed grey, as Pillow writes its 32-bit integer pictures (a 16-bit PGM among them):
# the values are levels of 0 to 255, so below 0 is black and above 255 white.
W, H = 5, 3
g = [[(x * 123 + y * 71) - 40 for x in range(W)] for y in range(H)]
tiff('grey32_signed.tif', W, H, 32, 1, 1, b''.join(struct.pack('<i', v) for r in g for v in r), fmt=2)
Image.frombytes('L', (W, H), bytes(min(max(v, 0), 255) for r in g for v in r)).convert('RGB').save(
    'grey32_signed.expected.bmp')
