#!/usr/bin/env python3
"""Rewrites an uncompressed 24-bit BMP of at most 256 x 256 pixels as a one-image .ico of 16
colours (4 bits per pixel, the form every Windows version shows): pure magenta (#ff00ff) pixels
become transparent, the others take the nearest of the picture's 15 most frequent colours.
    tools/bmp-ico4.py INPUT.bmp OUTPUT.ico"""
import collections
import sys


def main(src, dst):
    d = open(src, 'rb').read()
    off = int.from_bytes(d[10:14], 'little')
    w = int.from_bytes(d[18:22], 'little')
    h = int.from_bytes(d[22:26], 'little', signed=True)
    if d[28] != 24 or int.from_bytes(d[30:34], 'little') != 0 or not (0 < w <= 256 and 0 < h <= 256):
        sys.exit(f'{src}: only bottom-up uncompressed 24-bit pictures up to 256 x 256 are read')
    stride = (w * 3 + 3) // 4 * 4
    rows = [[tuple(d[off + y * stride + x * 3: off + y * stride + x * 3 + 3]) for x in range(w)] for y in range(h)]
    clear = (255, 0, 255)  # blue, green, red
    freq = collections.Counter(p for r in rows for p in r if p != clear)
    palette = [(0, 0, 0)] + [c for c, _ in freq.most_common(15)]
    dist = lambda a, b: sum((x - y) ** 2 for x, y in zip(a, b))
    index = {c: min(range(len(palette)), key=lambda i: dist(c, palette[i])) for c in freq}
    palette += [(0, 0, 0)] * (16 - len(palette))
    xor_stride, and_stride = (w * 4 + 31) // 32 * 4, (w + 31) // 32 * 4
    xor, mask = bytearray(), bytearray()
    for r in rows:
        line = [0 if p == clear else index[p] for p in r] + [0]
        xor += bytes(line[x] << 4 | line[x + 1] for x in range(0, w, 2)).ljust(xor_stride, b'\0')
        bits = bytearray(and_stride)
        for x, p in enumerate(r):
            if p == clear:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = (40).to_bytes(4, 'little') + w.to_bytes(4, 'little') + (2 * h).to_bytes(4, 'little') + \
        (1).to_bytes(2, 'little') + (4).to_bytes(2, 'little') + bytes(4) + (len(xor) + len(mask)).to_bytes(4, 'little') + \
        bytes(8) + (16).to_bytes(4, 'little') + bytes(4)
    image = header + b''.join(bytes([b, g, r, 0]) for b, g, r in palette) + xor + mask
    entry = bytes([w % 256, h % 256, 16, 0]) + (1).to_bytes(2, 'little') + (4).to_bytes(2, 'little') + \
        len(image).to_bytes(4, 'little') + (22).to_bytes(4, 'little')
    open(dst, 'wb').write(bytes([0, 0, 1, 0, 1, 0]) + entry + image)
    print(f'{dst}: {len(freq)} colours brought to {min(len(freq), 15)}, {22 + len(image)} bytes')


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
