#!/usr/bin/env python3
"""Rewrites an uncompressed 8- or 24-bit BMP as an RLE8-compressed BMP (the form Windows loads
from a program's resources), with a palette of at most N colours (default 256) and no more
entries than it uses. A picture of at most N colours keeps every pixel; one with more keeps its
most frequent colours (four fifths of N) exactly and adds the rare ones (anti-aliased edges)
where they would be worst matched, then maps each pixel to its nearest palette colour. Prints
how many pixels changed and by how much.
    tools/bmp-rle8.py [--colours N] INPUT.bmp OUTPUT.bmp"""
import collections
import sys


def read_bmp(path):
    d = open(path, 'rb').read()
    off = int.from_bytes(d[10:14], 'little')
    hsize = int.from_bytes(d[14:18], 'little')
    w = int.from_bytes(d[18:22], 'little')
    h = int.from_bytes(d[22:26], 'little', signed=True)
    bpp = int.from_bytes(d[28:30], 'little')
    comp = int.from_bytes(d[30:34], 'little')
    if h <= 0 or comp != 0 or bpp not in (8, 24):
        sys.exit(f'{path}: only bottom-up uncompressed 8- or 24-bit pictures are read')
    palette = []
    if bpp == 8:
        used = int.from_bytes(d[46:50], 'little') or 256
        p = 14 + hsize
        palette = [(d[p + 4 * i], d[p + 4 * i + 1], d[p + 4 * i + 2]) for i in range(used)]
    stride = (w * bpp // 8 + 3) // 4 * 4
    rows = []  # bottom-up, as stored; pixels as (blue, green, red)
    for y in range(h):
        r = d[off + y * stride: off + y * stride + w * bpp // 8]
        rows.append([palette[b] for b in r] if bpp == 8 else [tuple(r[x * 3:x * 3 + 3]) for x in range(w)])
    return w, h, d[38:46], rows


def choose_palette(freq, limit):
    colours = list(freq)
    if len(colours) <= limit:
        return colours
    dist = lambda a, b: sum((x - y) ** 2 for x, y in zip(a, b))
    palette = [c for c, _ in freq.most_common(limit * 4 // 5)]
    best = {c: min(dist(c, p) for p in palette) for c in colours}
    while len(palette) < limit:
        c = max(colours, key=lambda c: best[c] * freq[c])
        if best[c] == 0:
            break
        palette.append(c)
        for k in colours:
            best[k] = min(best[k], dist(k, c))
    return palette


def rle8_row(ix):
    out, x, w = bytearray(), 0, len(ix)
    while x < w:
        n = 1
        while x + n < w and n < 255 and ix[x + n] == ix[x]:
            n += 1
        if n >= 2 or w - x < 3:
            out += bytes([n, ix[x]])
            x += n
            continue
        e = x  # a stretch without repeats, written as one absolute run
        while e < w and e - x < 255 and not (e + 1 < w and ix[e + 1] == ix[e]):
            e += 1
        if e - x < 3:
            for i in range(x, e):
                out += bytes([1, ix[i]])
        else:
            out += bytes([0, e - x]) + bytes(ix[x:e]) + (b'\0' if (e - x) % 2 else b'')
        x = e
    return out


def main(src, dst, limit=256):
    w, h, resolution, rows = read_bmp(src)
    freq = collections.Counter(p for r in rows for p in r)
    palette = choose_palette(freq, limit)
    dist = lambda a, b: sum((x - y) ** 2 for x, y in zip(a, b))
    index = {c: min(range(len(palette)), key=lambda i: dist(c, palette[i])) for c in freq}
    # Only the colours some pixel takes stay in the palette.
    kept = sorted(set(index.values()))
    palette = [palette[i] for i in kept]
    index = {c: kept.index(i) for c, i in index.items()}
    changed = sum(n for c, n in freq.items() if palette[index[c]] != c)
    worst = max(max(abs(a - b) for a, b in zip(c, palette[index[c]])) for c in freq)
    bits = bytearray()
    for r in rows:
        bits += rle8_row([index[p] for p in r]) + b'\0\0'  # end of line
    bits[-2:] = b'\0\1'  # the last end of line is the end of the picture
    pal = b''.join(bytes([b, g, r, 0]) for b, g, r in palette)
    info = (40).to_bytes(4, 'little') + w.to_bytes(4, 'little') + h.to_bytes(4, 'little') + \
        (1).to_bytes(2, 'little') + (8).to_bytes(2, 'little') + (1).to_bytes(4, 'little') + \
        len(bits).to_bytes(4, 'little') + resolution + len(palette).to_bytes(4, 'little') * 2
    start = 14 + len(info) + len(pal)
    head = b'BM' + (start + len(bits)).to_bytes(4, 'little') + b'\0\0\0\0' + start.to_bytes(4, 'little')
    open(dst, 'wb').write(head + info + pal + bits)
    print(f'{dst}: {len(freq)} colours, {changed} of {w * h} pixels changed (largest channel difference '
          f'{worst}), {start + len(bits)} bytes')


if __name__ == '__main__':
    args = sys.argv[1:]
    limit = 256
    if len(args) == 4 and args[0] == '--colours' and args[1].isdigit() and 2 <= int(args[1]) <= 256:
        limit, args = int(args[1]), args[2:]
    if len(args) != 2:
        sys.exit(__doc__)
    main(args[0], args[1], limit)
