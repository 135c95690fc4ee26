#!/usr/bin/env python3
"""gen_pack.py DIR FILES TOTAL_MB: a script's folder as authors lay it out,
three top-level folders holding forty sub-folders between them (some two
deep), with the zip benchmark's mix of text and binary files; the same for
the same arguments."""
import os, random, sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'zip'))
from gen_tree import make_words, write_files

root, files, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024 * 1024
rng = random.Random(7)
words = make_words(rng)
tops = ['scripts', 'images', 'lib']
subs = []
for i in range(40):
    # every fourth sub-folder sits inside one made earlier in the same top-level folder
    parent = subs[-3] if i % 4 == 3 else tops[i % 3]
    subs.append(os.path.join(parent, 'sub%02d' % i))
folders = tops + subs
write_files(root, lambda i: folders[i % len(folders)], files, total, rng, words)
