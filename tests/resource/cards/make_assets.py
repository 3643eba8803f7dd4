#!/usr/bin/env python3
"""Writes the small pictures the test cards and the demo card are built from (PNG, BMP, GIF), so
that every pixel value the tests check is known. Run it from the repository root; the files are
committed, the script only documents how they were made."""
import struct, zlib, os, math

def png(path, w, h, pixels, alpha=False):
    """pixels: list of rows of (r, g, b[, a])."""
    raw = b''
    for row in pixels:
        raw += b'\x00' + b''.join(bytes(p[:4] if alpha else p[:3]) for p in row)
    def chunk(t, d):
        c = struct.pack('>I', len(d)) + t + d
        return c + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6 if alpha else 2, 0, 0, 0))
    data += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    open(path, 'wb').write(data)

def bmp24(path, w, h, pixels):
    stride = (w * 3 + 3) & ~3
    body = b''
    for row in reversed(pixels):
        r = b''.join(bytes((p[2], p[1], p[0])) for p in row)
        body += r + b'\x00' * (stride - len(r))
    head = b'BM' + struct.pack('<IHHI', 54 + len(body), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    open(path, 'wb').write(head + info + body)

def lzw(indices, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    table = {(i,): i for i in range(clear)}
    nxt, size = end + 1, min_size + 1
    out, bits, nbits = bytearray(), 0, 0
    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xff)
            bits >>= 8
            nbits -= 8
    emit(clear)
    cur = ()
    for i in indices:
        if cur + (i,) in table:
            cur += (i,)
            continue
        emit(table[cur])
        if nxt < 4096:
            table[cur + (i,)] = nxt
            nxt += 1
            if nxt - 1 == (1 << size) and size < 12:
                size += 1
        cur = (i,)
    emit(table[cur])
    emit(end)
    if nbits:
        out.append(bits & 0xff)
    blocks = bytearray([min_size])
    for k in range(0, len(out), 255):
        part = out[k:k + 255]
        blocks += bytes([len(part)]) + part
    return bytes(blocks + b'\x00')

def gif(path, w, h, palette, frames, delay):
    """frames: lists of palette indices (w*h); palette of 4 colours."""
    data = b'GIF89a' + struct.pack('<HHBBB', w, h, 0x81, 0, 0)
    data += b''.join(bytes(c) for c in palette)
    data += b'\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00'
    for f in frames:
        data += b'\x21\xf9\x04\x00' + struct.pack('<H', delay) + b'\x00\x00'
        data += b'\x2c' + struct.pack('<HHHHB', 0, 0, w, h, 0) + lzw(f, 2)
    open(path, 'wb').write(data + b'\x3b')

here = os.path.dirname(os.path.abspath(__file__))

# Test card pictures.
a = os.path.join(here, 'main', 'assets')
os.makedirs(a, exist_ok=True)
bars = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255), (0, 0, 0), (255, 255, 0), (0, 255, 255), (255, 0, 255)]
png(os.path.join(a, 'bars.png'), 16, 8, [[bars[x // 2] for x in range(16)] for y in range(8)])
ring = [[(255, 0, 0, 255) if 3 <= math.hypot(x - 5.5, y - 5.5) <= 5.5 else (0, 0, 0, 0) for x in range(12)]
        for y in range(12)]
png(os.path.join(a, 'ring.png'), 12, 12, ring, alpha=True)
bmp24(os.path.join(a, 'sky.bmp'), 40, 20, [[(0, 0, 255) if y < 10 else (0, 255, 0) for x in range(40)] for y in range(20)])
gif(os.path.join(a, 'blink.gif'), 8, 8, [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 0, 255)],
    [[(x + y + k) % 4 for y in range(8) for x in range(8)] for k in range(4)], 10)

# Button faces of the touch card: up and down faces of one size, one lower and one narrower; a
# white frame around a plain colour, so that a test can tell every face from its pixels.
t = os.path.join(here, 'touch', 'assets')
os.makedirs(t, exist_ok=True)
def framed(w, h, colour):
    return [[(255, 255, 255) if x in (0, w - 1) or y in (0, h - 1) else colour for x in range(w)]
            for y in range(h)]
png(os.path.join(t, 'up.png'), 40, 24, framed(40, 24, (0, 0, 255)))
png(os.path.join(t, 'down.png'), 40, 24, framed(40, 24, (255, 0, 0)))
png(os.path.join(t, 'low.png'), 40, 20, framed(40, 20, (0, 255, 0)))
png(os.path.join(t, 'narrow.png'), 30, 24, framed(30, 24, (255, 255, 0)))

# Demo card pictures.
d = os.path.join(here, '..', '..', '..', 'tools', 'demo', 'card', 'assets')
os.makedirs(d, exist_ok=True)
def mix(c0, c1, t):
    return tuple(int(c0[i] + (c1[i] - c0[i]) * t) for i in range(3))
png(os.path.join(d, 'banner.png'), 320, 64,
    [[mix((20, 60, 140), (90, 170, 230), x / 319) if 4 <= y <= 59 else (250, 200, 60) for x in range(320)]
     for y in range(64)])
star = []
for y in range(48):
    row = []
    for x in range(48):
        ang = math.atan2(y - 23.5, x - 23.5)
        r = math.hypot(x - 23.5, y - 23.5)
        edge = 12 + 10 * (0.5 + 0.5 * math.cos(5 * ang))
        row.append((255, 200, 40, 255) if r <= edge else (0, 0, 0, 0))
    star.append(row)
png(os.path.join(d, 'star.png'), 48, 48, star, alpha=True)
land = []
for y in range(120):
    row = []
    for x in range(200):
        hill = 70 + 18 * math.sin(x / 23.0) + 8 * math.sin(x / 7.0)
        if y < hill:
            row.append(mix((120, 180, 255), (200, 230, 255), y / 120))
        else:
            row.append((40, 140 - (y - 70), 50) if (x // 10 + y // 10) % 2 else (60, 160 - (y - 70), 60))
    land.append(row)
bmp24(os.path.join(d, 'landscap.bmp'), 200, 120, land)

# Broken images for the loader's checks: 7 bytes; the larger edition's magic; a header size one
# byte short of the file.
def put(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, 'wb').write(data)
put(os.path.join(here, 'tiny', 'zefo5.bin'), b'\xeb\xfe\x01\x00\x07\x00\x00')
put(os.path.join(here, 'xt', 'zefo5.bin'), b'\xec\xfe\x01\x00\x14\x00\x00\x00' + bytes(12))
put(os.path.join(here, 'short', 'zefo5.bin'), b'\xeb\xfe\x01\x00\x13\x00\x00\x00' + bytes(12))
w, h = 32, 16
os.makedirs(os.path.join(here, 'splash'), exist_ok=True)
bmp24(os.path.join(here, 'splash', 'splash.bmp'), w, h, [[(255, 128, 0)] * w for y in range(h)])
