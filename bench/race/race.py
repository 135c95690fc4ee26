#!/usr/bin/env python3
"""race.py BUNDLESMITH LIMIT TREE-DIR OUT-DIR ROUNDS [--other BIN] [--busy N]: the pack
build as Next runs it (the headless 'pack' command: the same contents walk and
build) against the zip tools found on this machine, the machine's 2-core limit
(LIMIT, bench_limit: read, CRC-32 and deflate on two threads, nothing written)
and, with --other, another build of the program, to compare two versions under
the same load. Whole processes, in rotated rounds, with N CPU hogs running
through them when --busy is given. Prints min/median/max of wall and CPU time
per contestant, the build's ratios to zip -r -q and to the limit, peak memory,
archive sizes and the load."""
import argparse, os, shutil, sys

from racelib import Busy, Load, mmm, ratios, rotated, run


def main():
    ap = argparse.ArgumentParser()
    for name in ('ours', 'limit', 'tree', 'out'):
        ap.add_argument(name)
    ap.add_argument('rounds', type=int)
    ap.add_argument('--other')
    ap.add_argument('--busy', type=int, default=0)
    a = ap.parse_args()
    tree = os.path.abspath(a.tree)
    entries = sorted(os.listdir(tree))

    def pack(binary):
        return lambda o: [binary, 'pack', '--name', 'Race', '--force', '-o', o] + entries

    # (name, argv for an output path, the output's extension or None when it writes nothing)
    tools = [('bundlesmith', pack(a.ours), '.plsc'),
             ('zip -r -q', lambda o: ['zip', '-r', '-q', o] + entries, '.zip'),
             ('limit-2core', lambda o: [a.limit, tree], None)]
    if a.other:
        tools.append(('bundlesmith(2)', pack(a.other), '.plsc'))
    if shutil.which('7z'):
        tools.append(('7z -mx=5', lambda o: ['7z', 'a', '-tzip', '-mx=5', '-bd', o] + entries, '.zip'))
    if shutil.which('bsdtar'):
        tools.append(('bsdtar', lambda o: ['bsdtar', '--format', 'zip', '-cf', o] + entries, '.zip'))
    tools.append(('python zipfile', lambda o: [sys.executable, '-m', 'zipfile', '-c', o] + entries, '.zip'))

    times = {name: [] for name, _, _ in tools}
    sizes = {}
    with Load(), Busy(a.busy):
        for _, i in rotated(a.rounds, len(tools)):
            name, argv, ext = tools[i]
            o = os.path.join(a.out, 'race%d%s' % (i, ext or ''))
            if ext and os.path.exists(o):
                os.remove(o)
            times[name].append(run(argv(o), tree))
            sizes[name] = os.path.getsize(o) if ext else None

    print('%-15s %-23s %-23s %7s %11s' % ('contestant', 'wall s min/med/max', 'cpu s min/med/max', 'rss MB',
                                         'bytes'))
    for name, _, _ in tools:
        w = [t[0] for t in times[name]]
        c = [t[1] for t in times[name]]
        size = '%11d' % sizes[name] if sizes[name] is not None else '%11s' % '-'
        print('%-15s %-23s %-23s %7.0f %s' % (name, mmm(w), mmm(c), max(t[2] for t in times[name]), size))
    for ours in ('bundlesmith', 'bundlesmith(2)'):
        if ours in times:
            ratios(times, ours, 'zip -r -q', 'wall <= 0.6')
            ratios(times, ours, 'limit-2core', 'wall <= 1.3 (trees a, c)')
            print('%-27s %.4f' % (ours + ' bytes / zip', sizes[ours] / sizes['zip -r -q']))
    for name, _, _ in tools:
        if name not in ('bundlesmith', 'bundlesmith(2)', 'zip -r -q'):
            ratios(times, name, 'zip -r -q')


main()
