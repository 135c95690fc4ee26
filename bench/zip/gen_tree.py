#!/usr/bin/env python3
"""gen_tree.py DIR FILES TOTAL_MB: a tree of mixed text and binary files,
spread over nested folders, the same for the same arguments."""
import os, random, sys


def make_words(rng):
    return [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 10))) for _ in range(3000)]


def write_files(root, folders, files, total, rng, words):
    """Writes FILES files of TOTAL bytes in all, file i into folders(i)."""
    per = total // files
    for i in range(files):
        d = os.path.join(root, folders(i))
        os.makedirs(d, exist_ok=True)
        size = max(1, int(per * rng.uniform(0.2, 1.8)))
        if i % 2:
            # binary: half random, half structured, so it compresses a little
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


if __name__ == '__main__':
    root, files, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024 * 1024
    rng = random.Random(42)
    words = make_words(rng)
    write_files(root, lambda i: os.path.join('d%02d' % (i % 20), 's%d' % (i % 7)), files, total, rng, words)
