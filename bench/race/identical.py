#!/usr/bin/env python3
"""identical.py BIN-A BIN-B [--quick] [--trees abcd]: whether two builds of the
program make the same packs, for a change meant to leave every byte as it
was. Packs the race's trees (gen_trees.py) and the authors' script folders
(bench/authors) with both, fresh and then once more over the pack each left
(the re-pack that copies unchanged entries), and compares each pair with
zipcmp.py. Prints one line per pack and exits 1 when any pair differs."""
import argparse, os, subprocess, sys, tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, '..', 'authors'))
import authors  # noqa: E402


def pack(binary, cwd, out, args, cache):
    env = dict(os.environ, XDG_CACHE_HOME=cache)
    r = subprocess.run([binary, 'pack', '--force', '-o', out] + args, cwd=cwd, env=env, capture_output=True,
                       text=True)
    if r.returncode != 0:
        sys.exit('%s failed on %s: %s' % (binary, out, r.stderr.strip()))


def same(a, b):
    r = subprocess.run([sys.executable, os.path.join(here, 'zipcmp.py'), a, b], capture_output=True, text=True)
    return r.returncode == 0, r.stdout.strip()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('a')
    ap.add_argument('b')
    ap.add_argument('--quick', action='store_true')
    ap.add_argument('--trees', default='abcd')
    o = ap.parse_args()
    work = tempfile.mkdtemp(prefix='identical-')
    cases = []
    for t in o.trees:
        tree = os.path.join(work, 'tree-' + t)
        subprocess.run([sys.executable, os.path.join(here, 'gen_trees.py'), tree, t] + (['--quick'] if o.quick else []),
                       check=True, stdout=subprocess.DEVNULL)
        cases.append(('tree ' + t, tree, ['--name', 'Race'] + sorted(os.listdir(tree))))
    for spec in authors.SCRIPTS:
        folder = authors.make_script(work, spec)
        cases.append(('script ' + spec[0], work, ['--from', folder]))
    differing = 0
    for label, cwd, args in cases:
        outs = {}
        for side, binary in (('a', o.a), ('b', o.b)):
            out = os.path.join(work, '%s-%s.plsc' % (label.replace(' ', '-'), side))
            cache = os.path.join(work, 'cache-' + side)
            pack(binary, cwd, out, args, cache)
            fresh = out + '.fresh.plsc'
            os.link(out, fresh)
            pack(binary, cwd, out, args, cache)  # again, over the pack just made
            outs[side] = (fresh, out)
        for i, kind in enumerate(('fresh', 're-pack')):
            ok, text = same(outs['a'][i], outs['b'][i])
            differing += not ok
            print('%-20s %-8s %s' % (label, kind, text))
    print('%d of %d pairs identical; packs left in %s' % (2 * len(cases) - differing, 2 * len(cases), work))
    return 1 if differing else 0


if __name__ == '__main__':
    sys.exit(main())
