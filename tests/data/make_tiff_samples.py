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
