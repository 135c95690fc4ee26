#!/usr/bin/env python3
"""race.py BUNDLESMITH TREE-DIR OUT-DIR ROUNDS [OTHER-BUNDLESMITH]: the pack build as Next runs it
(the headless 'pack' command: the same contents walk and build) against the zip
tools found on this machine (and another build of the program, to
compare two versions under the same load), whole processes, in rotated rounds. Prints
min/median/max of wall and CPU time per tool, the ratios to zip -r -q, peak
memory, archive sizes and the load before and after."""
import os, resource, shutil, statistics, subprocess, sys, time


def load():
    avg = open('/proc/loadavg').read().split()[:3]
    some = '?'
    try:
        for line in open('/proc/pressure/cpu'):
            if line.startswith('some'):
                some = line.split()[1].split('=')[1]
    except OSError:
        pass
    return 'loadavg %s, cpu pressure some avg10 %s%%' % (' '.join(avg), some)


def run(argv, cwd):
    t0 = time.perf_counter()
    p = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, ru = os.wait4(p.pid, 0)
    wall = time.perf_counter() - t0
    err = p.stderr.read().decode(errors='replace')
    p.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit('%s failed: %s' % (argv[0], err.strip()))
    return wall, ru.ru_utime + ru.ru_stime, ru.ru_maxrss / 1024


def main():
    ours, tree, out, rounds = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3], int(sys.argv[4])
    entries = sorted(os.listdir(tree))
    tools = [('bundlesmith', lambda o: [ours, 'pack', '--name', 'Race', '--force', '-o', o] + entries, '.plsc'),
             ('zip -r -q', lambda o: ['zip', '-r', '-q', o] + entries, '.zip')]
    if len(sys.argv) > 5:
        other = sys.argv[5]
        tools.append(('bundlesmith(2)', lambda o: [other, 'pack', '--name', 'Race', '--force', '-o', o] + entries,
                      '.plsc'))
    if shutil.which('7z'):
        tools.append(('7z -mx=5', lambda o: ['7z', 'a', '-tzip', '-mx=5', '-bd', o] + entries, '.zip'))
    if shutil.which('bsdtar'):
        tools.append(('bsdtar', lambda o: ['bsdtar', '--format', 'zip', '-cf', o] + entries, '.zip'))
    tools.append(('python zipfile', lambda o: [sys.executable, '-m', 'zipfile', '-c', o] + entries, '.zip'))

    print('before: ' + load())
    times = {name: [] for name, _, _ in tools}
    sizes = {}
    for r in range(rounds):
        # rotated, so no tool always runs first (cold caches) or last
        for k in range(len(tools)):
            name, argv, ext = tools[(r + k) % len(tools)]
            o = os.path.join(out, 'race' + str((r + k) % len(tools)) + ext)
            if os.path.exists(o):
                os.remove(o)
            times[name].append(run(argv(o), tree))
            sizes[name] = os.path.getsize(o)
    print('after:  ' + load())

    def mmm(xs):
        return '%7.3f %7.3f %7.3f' % (min(xs), statistics.median(xs), max(xs))

    print('%-15s %-23s %-23s %9s %11s' % ('tool', 'wall s min/med/max', 'cpu s min/med/max', 'rss MB', 'bytes'))
    for name, _, _ in tools:
        w = [t[0] for t in times[name]]
        c = [t[1] for t in times[name]]
        print('%-15s %-23s %-23s %9.0f %11d' % (name, mmm(w), mmm(c), max(t[2] for t in times[name]), sizes[name]))
    zw = [t[0] for t in times['zip -r -q']]
    zc = [t[1] for t in times['zip -r -q']]
    for name, _, _ in tools:
        if name == 'zip -r -q':
            continue
        # ratio per round, so each pairs runs made under the same load
        rw = [a[0] / b for a, b in zip(times[name], zw)]
        rc = [a[1] / b for a, b in zip(times[name], zc)]
        print('%-15s / zip  wall %s   cpu %s' % (name, mmm(rw), mmm(rc)))


main()
