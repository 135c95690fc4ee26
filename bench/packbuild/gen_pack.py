#!/usr/bin/env python3
"""gen_pack.py DIR FILES TOTAL_MB: a script's folder as authors lay it out,
three top-level folders holding forty sub-folders between them (some two
deep), mixed text and binary files; the same for the same arguments."""
import os, random, sys

root, files, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024 * 1024
rng = random.Random(7)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 10))) for _ in range(3000)]
tops = ['scripts', 'images', 'lib']
subs = []
for i in range(40):
    top = tops[i % 3]
    # every fourth sub-folder sits inside the one made just before it in the same top
    parent = subs[-3] if i % 4 == 3 and len(subs) >= 3 else top
    subs.append(os.path.join(parent, 'sub%02d' % i))
folders = tops + subs
per = total // files
for i in range(files):
    d = os.path.join(root, folders[i % len(folders)])
    os.makedirs(d, exist_ok=True)
    size = max(1, int(per * rng.uniform(0.2, 1.8)))
    if i % 2:
        data = rng.randbytes(size // 2) + bytes((j * 31 + (j >> 7)) & 0xFF for j in range(size - size // 2))
        name = 'file%05d.bin' % i
    else:
        parts, n = [], 0
        while n < size:
            w = rng.choice(words)
            parts.append(w)
            n += len(w) + 1
        data = ' '.join(parts).encode()[:size]
        name = 'file%05d.js' % i
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)
