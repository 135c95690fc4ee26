#!/usr/bin/env python3
"""repack.py BUNDLESMITH TREE-DIR OUT-DIR ROUNDS [--other BIN] [--busy N] [--floor BIN]: re-packing after
one edited file, as a user does it. Packs the tree (and zips it with zip -r
-q), edits one file (new content of the same length, a new time), then races
in rotated rounds:
  rebuild     the pack built again over the old pack (put back before each
              round), which the build may reuse
  fresh       the same edited tree built into a new path
  from        the edited tree built into a new path with --from the old
              pack (a new release written to a new file), which lends its
              entries as the old pack in place does
  zip -r -u   zip updating a copy of its own old archive
and prints rebuild/fresh (goal <= 0.25) and rebuild/zip -r -u. Last, the
rebuilt pack must be the fresh one byte for byte apart from the manifest's
time stamp (zipcmp.py): prints "identical" or the first difference. With
--other, another build of the program races as rebuild(2) and fresh(2), over
an old pack of its own. With --floor (bench_floor), two more race to show
what no rebuild can leave out:
  start       the program packing a one-file tree: its start and exit
  floor       bench_floor: the walk, a stat of every file on two threads,
              and the old pack's bytes copied by the kernel into a new file
              put in its place (a copy of it, put there untimed)
and (start + floor) / fresh is printed: the least rebuild / fresh can be."""
import argparse, os, shutil, subprocess, time

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
    ap.add_argument('--other')
    ap.add_argument('--busy', type=int, default=0)
    ap.add_argument('--floor')
    a = ap.parse_args()
    tree = os.path.abspath(a.tree)
    out = os.path.abspath(a.out)
    entries = sorted(os.listdir(tree))
    # each build of the program races with its own old pack; '' and '(2)' name them
    builds = [('', a.ours)] + ([('(2)', a.other)] if a.other else [])

    def pack(binary, o, *more):
        return [binary, 'pack', '--name', 'Race', '--force', *more, '-o', o] + entries

    def path(name):
        return os.path.join(out, name)

    # An author's tree has rested since it was last edited: files changed
    # within seconds of a build are read again by the next (racily clean).
    time.sleep(4.5)
    for tag, binary in builds:
        run(pack(binary, path('old%s.plsc' % tag)), tree)
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

    # (name, made ready untimed before each run, argv, exit codes that mean done, output)
    contestants = []
    for tag, binary in builds:
        rebuilt, fresh = 'rebuilt%s.plsc' % tag, 'fresh%s.plsc' % tag
        contestants += [('rebuild' + tag, put_back('old%s.plsc' % tag, rebuilt), pack(binary, path(rebuilt)), (0,),
                         rebuilt),
                        ('fresh' + tag, remove(fresh), pack(binary, path(fresh)), (0,), fresh),
                        ('from' + tag, remove('from%s.plsc' % tag),
                         pack(binary, path('from%s.plsc' % tag), '--from', path('old%s.plsc' % tag)), (0,),
                         'from%s.plsc' % tag)]
    # not 12 (nothing to update): that would be a fault of the edit
    contestants.append(('zip -r -u', put_back('old.zip', 'updated.zip'),
                        ['zip', '-r', '-u', '-q', path('updated.zip')] + entries, (0,), 'updated.zip'))
    if a.floor:
        one = path('one.txt')
        with open(one, 'w') as f:
            f.write('x')
        floor = [os.path.abspath(a.floor), tree, '--replace', path('replaced.plsc')]
        contestants += [('start', remove('one.plsc'), [a.ours, 'pack', '--name', 'Race', '--force', '-o',
                                                       path('one.plsc'), one], (0,), 'one.plsc'),
                        ('floor', put_back('old.plsc', 'replaced.plsc'), floor, (0,), None)]
    times = {c[0]: [] for c in contestants}
    with Load(), Busy(a.busy):
        for _, i in rotated(a.rounds, len(contestants)):
            name, ready, argv, ok, _ = contestants[i]
            ready()
            times[name].append(run(argv, tree, ok))

    print('%-15s %-23s %-23s %7s %11s' % ('contestant', 'wall s min/med/max', 'cpu s min/med/max', 'rss MB',
                                         'bytes'))
    for name, _, _, _, output in contestants:
        w = [t[0] for t in times[name]]
        c = [t[1] for t in times[name]]
        print('%-15s %-23s %-23s %7.0f %11s' % (name, mmm(w), mmm(c), max(t[2] for t in times[name]),
                                                os.path.getsize(path(output)) if output else '-'))
    for tag, _ in builds:
        ratios(times, 'rebuild' + tag, 'fresh' + tag, 'wall <= 0.25')
        ratios(times, 'rebuild' + tag, 'zip -r -u')
        ratios(times, 'from' + tag, 'zip -r -u')
    if a.floor:
        least = [(s[0] + f[0]) / r[0] for s, f, r in zip(times['start'], times['floor'], times['fresh'])]
        print('%-27s wall %s' % ('(start + floor) / fresh', mmm(least)))
        over = [r[0] / (s[0] + f[0]) for s, f, r in zip(times['start'], times['floor'], times['rebuild'])]
        print('%-27s wall %s' % ('rebuild / (start + floor)', mmm(over)))
        put_back('old.plsc', 'replaced.plsc')()
        print('floor: ' + subprocess.run(floor, capture_output=True, text=True).stdout.strip())
    for tag, _ in builds:
        for made in ('rebuilt', 'from'):
            try:
                zipcmp.compare(zipcmp.parse(path('%s%s.plsc' % (made, tag))), zipcmp.parse(path('fresh%s.plsc' % tag)))
                print('%s%s vs fresh%s: identical' % (made, tag, tag))
            except zipcmp.Different as d:
                print('%s%s vs fresh%s: differ: %s' % (made, tag, tag, d))


main()
