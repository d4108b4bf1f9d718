#!/usr/bin/env python3
# Writes the scripts the native tests build with Script({...}) as files (code page 1251, CRLF),
# for the script target's seed corpus:  extract-test-scripts.py OUT_DIR TEST_SOURCES...
import re, sys, os, codecs

def literal(body):
    # A C string literal's contents; \xNN stays a byte, the rest is UTF-8 text.
    out = bytearray()
    i = 0
    while i < len(body):
        c = body[i]
        if c == '\\' and i + 1 < len(body):
            n = body[i + 1]
            if n == 'x':
                m = re.match(r'[0-9A-Fa-f]{1,2}', body[i + 2:])
                out.append(int(m.group(0), 16)); i += 2 + len(m.group(0)); continue
            out += {'r': b'\r', 'n': b'\n', 't': b'\t', '0': b'\0', '\\': b'\\', '"': b'"'}.get(n, n.encode())
            i += 2; continue
        out += c.encode('utf-8'); i += 1
    return bytes(out)

def to_cp1251(b):
    try:
        return b.decode('utf-8').encode('cp1251')
    except (UnicodeDecodeError, UnicodeEncodeError):
        return b

out_dir = sys.argv[1]
count = 0
for path in sys.argv[2:]:
    text = open(path, encoding='utf-8', errors='replace').read()
    for m in re.finditer(r'Script\(\{(.*?)\}\)', text, re.S):
        lines = [literal(s) for s in re.findall(r'"((?:[^"\\]|\\.)*)"', m.group(1))]
        if not lines:
            continue
        data = b''.join(to_cp1251(l) + b'\r\n' for l in lines)
        count += 1
        with open(os.path.join(out_dir, '%s-%03d.txt' % (os.path.basename(path).split('.')[0], count)), 'wb') as f:
            f.write(data)
print(count, 'scripts')
