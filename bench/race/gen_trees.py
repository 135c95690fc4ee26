#!/usr/bin/env python3
"""gen_trees.py DIR TREE [--quick]: one of the race's four script trees in DIR,
the same for the same arguments.
  a  2,000 files, 50 MB of mixed text and binary (the packbuild benchmark's tree)
  b  20,000 script files of about 2 KB
  c  three 200 MB text files and one 200 MB random file (--quick: 20 MB each)
  d  100,000 tiny files (--quick: 10,000)"""
import os, random, sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, '..', 'zip'))
from gen_tree import make_words, write_files


def text(rng, words, size):
    parts, n = [], 0
    while n < size:
        w = rng.choice(words)
        parts.append(w)
        n += len(w) + 1
    return ' '.join(parts).encode()[:size]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def tree_a(root, rng, words, quick):
    tops = ['scripts', 'images', 'lib']
    subs = []
    for i in range(40):
        parent = subs[-3] if i % 4 == 3 else tops[i % 3]
        subs.append(os.path.join(parent, 'sub%02d' % i))
    folders = tops + subs
    write_files(root, lambda i: folders[i % len(folders)], 2000, 50 * 1024 * 1024, rng, words)


def tree_b(root, rng, words, quick):
    # A pool of lines reused across files keeps generation quick while the
    # files stay distinct, as a big script's modules are.
    lines = [text(rng, words, rng.randint(20, 90)) + b'\r\n' for _ in range(4000)]
    for i in range(20000):
        body = bytearray()
        target = int(2048 * rng.uniform(0.5, 1.5))
        while len(body) < target:
            body += rng.choice(lines)
        top = ('scripts', 'lib', 'lang')[i % 3]
        write(os.path.join(root, top, 'm%02d' % (i % 50), 'f%05d.js' % i), bytes(body[:target]))


def tree_c(root, rng, words, quick):
    size = (20 if quick else 200) * 1024 * 1024
    chunk = text(rng, words, 1024 * 1024)
    for k in range(3):
        with open(os.path.join(root, 'big%d.txt' % k), 'wb') as f:
            for j in range(size // len(chunk)):
                # each MiB shifted so deflate cannot lean on long repeats
                f.write(chunk[j * 7919 % len(chunk):] + chunk[:j * 7919 % len(chunk)])
    os.makedirs(os.path.join(root, 'data'), exist_ok=True)
    with open(os.path.join(root, 'data', 'random.bin'), 'wb') as f:
        for _ in range(size // (1024 * 1024)):
            f.write(rng.randbytes(1024 * 1024))


def tree_d(root, rng, words, quick):
    n = 10000 if quick else 100000
    for i in range(n):
        top = ('scripts', 'res', 'lang', 'lib')[i % 4]
        write(os.path.join(root, top, 'd%03d' % (i % 300), 't%06d.txt' % i),
              text(rng, words, rng.randint(1, 120)))


if __name__ == '__main__':
    root, tree = sys.argv[1], sys.argv[2]
    quick = '--quick' in sys.argv[3:]
    rng = random.Random(17)
    os.makedirs(root, exist_ok=True)
    {'a': tree_a, 'b': tree_b, 'c': tree_c, 'd': tree_d}[tree](root, rng, make_words(rng), quick)
