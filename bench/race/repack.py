#!/usr/bin/env python3
"""repack.py BUNDLESMITH TREE-DIR OUT-DIR ROUNDS [--busy N]: re-packing after
one edited file, as a user does it. Packs the tree (and zips it with zip -r
-q), edits one file (new content of the same length, a new time), then races
in rotated rounds:
  rebuild     the pack built again over the old pack (put back before each
              round), which the build may reuse
  fresh       the same edited tree built into a new path
  zip -r -u   zip updating a copy of its own old archive
and prints rebuild/fresh (goal <= 0.25) and rebuild/zip -r -u. Last, the
rebuilt pack must be the fresh one byte for byte apart from the manifest's
time stamp (zipcmp.py): prints "identical" or the first difference."""
import argparse, os, shutil

from racelib import Busy, Load, mmm, ratios, rotated, run
import zipcmp


def edit_one(tree):
    """Edits the middle file (in path order): the same length, the middle
    bytes changed, its time a minute on. Returns its path in the tree and its length."""
    files = sorted(os.path.relpath(os.path.join(d, f), tree) for d, _, fs in os.walk(tree) for f in fs)
    rel = files[len(files) // 2]
    path = os.path.join(tree, rel)
    data = bytearray(open(path, 'rb').read())
    mid = len(data) // 2
    for i in range(mid, min(mid + 16, len(data))):
        data[i] ^= 0x20
    if not data:
        data = bytearray(b'x')
    st = os.stat(path)
    with open(path, 'wb') as f:
        f.write(data)
    os.utime(path, ns=(st.st_atime_ns, st.st_mtime_ns + 60 * 10**9))
    return rel, len(data)


def main():
    ap = argparse.ArgumentParser()
    for name in ('ours', 'tree', 'out'):
        ap.add_argument(name)
    ap.add_argument('rounds', type=int)
    ap.add_argument('--busy', type=int, default=0)
    a = ap.parse_args()
    tree = os.path.abspath(a.tree)
    out = os.path.abspath(a.out)
    entries = sorted(os.listdir(tree))

    def pack(o):
        return [a.ours, 'pack', '--name', 'Race', '--force', '-o', o] + entries

    def path(name):
        return os.path.join(out, name)

    run(pack(path('old.plsc')), tree)
    run(['zip', '-r', '-q', path('old.zip')] + entries, tree)
    rel, size = edit_one(tree)
    print('edited: %s (%d bytes)' % (rel, size))

    def put_back(old, target):
        return lambda: shutil.copyfile(path(old), path(target))

    def remove(target):
        def ready():
            if os.path.exists(path(target)):
                os.remove(path(target))
        return ready

    # (name, made ready untimed before each run, argv, exit codes that mean done)
    contestants = [('rebuild', put_back('old.plsc', 'rebuilt.plsc'), pack(path('rebuilt.plsc')), (0,)),
                   ('fresh', remove('fresh.plsc'), pack(path('fresh.plsc')), (0,)),
                   # 12: zip found nothing to update, which would be a fault of the edit here
                   ('zip -r -u', put_back('old.zip', 'updated.zip'),
                    ['zip', '-r', '-u', '-q', path('updated.zip')] + entries, (0,))]
    times = {name: [] for name, _, _, _ in contestants}
    with Load(), Busy(a.busy):
        for _, i in rotated(a.rounds, len(contestants)):
            name, ready, argv, ok = contestants[i]
            ready()
            times[name].append(run(argv, tree, ok))

    print('%-15s %-23s %-23s %7s %11s' % ('contestant', 'wall s min/med/max', 'cpu s min/med/max', 'rss MB',
                                         'bytes'))
    outputs = {'rebuild': 'rebuilt.plsc', 'fresh': 'fresh.plsc', 'zip -r -u': 'updated.zip'}
    for name, _, _, _ in contestants:
        w = [t[0] for t in times[name]]
        c = [t[1] for t in times[name]]
        print('%-15s %-23s %-23s %7.0f %11d' % (name, mmm(w), mmm(c), max(t[2] for t in times[name]),
                                                os.path.getsize(path(outputs[name]))))
    ratios(times, 'rebuild', 'fresh', 'wall <= 0.25')
    ratios(times, 'rebuild', 'zip -r -u')
    try:
        zipcmp.compare(zipcmp.parse(path('rebuilt.plsc')), zipcmp.parse(path('fresh.plsc')))
        print('rebuilt vs fresh: identical')
    except zipcmp.Different as d:
        print('rebuilt vs fresh: differ: %s' % d)


main()
