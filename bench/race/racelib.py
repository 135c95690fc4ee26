"""What race.py and repack.py share: timing a whole process, the machine's load,
the CPU hogs of --busy, and min/median/max."""
import os, statistics, subprocess, sys, time


def pressure_total():
    """Microseconds some task has waited for a CPU since boot (None when the
    kernel keeps no pressure figures)."""
    try:
        for line in open('/proc/pressure/cpu'):
            if line.startswith('some'):
                return int(line.split()[4].split('=')[1])
    except (OSError, IndexError, ValueError):
        pass
    return None


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


class Load:
    """Prints the load before the rounds and after them, and the share of the
    rounds' wall time in which some task waited for a CPU."""

    def __enter__(self):
        print('before: ' + load())
        self.t0, self.p0 = time.monotonic(), pressure_total()
        return self

    def __exit__(self, *exc):
        p1, elapsed = pressure_total(), time.monotonic() - self.t0
        print('after:  ' + load())
        if self.p0 is not None and p1 is not None and elapsed > 0:
            print('during: cpu pressure some %.1f%% of %.1f s' % ((p1 - self.p0) / 1e4 / elapsed, elapsed))


class Busy:
    """N processes that spin on a CPU for as long as the rounds run, so the
    figures are taken with the other core(s) taken too."""

    def __init__(self, n):
        self.n, self.hogs = n, []

    def __enter__(self):
        for _ in range(self.n):
            self.hogs.append(subprocess.Popen([sys.executable, '-c', 'while True: pass']))
        if self.n:
            print('busy:   %d CPU hog(s) spinning through every round' % self.n)
        return self

    def __exit__(self, *exc):
        for h in self.hogs:
            h.kill()
            h.wait()


def run(argv, cwd, ok=(0,)):
    """Runs argv to its end: (wall s, CPU s of it and its children, peak RSS MB)."""
    t0 = time.perf_counter()
    p = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, ru = os.wait4(p.pid, 0)
    wall = time.perf_counter() - t0
    err = p.stderr.read().decode(errors='replace')
    p.stderr.close()
    if os.waitstatus_to_exitcode(status) not in ok:
        sys.exit('%s failed: %s' % (argv[0], err.strip()))
    return wall, ru.ru_utime + ru.ru_stime, ru.ru_maxrss / 1024


def mmm(xs):
    return '%7.3f %7.3f %7.3f' % (min(xs), statistics.median(xs), max(xs))


def rotated(rounds, n):
    """(round, index) in the order to run n contestants over the rounds: each
    round starts one further on, so no one always runs first (cold caches) or
    last."""
    for r in range(rounds):
        for k in range(n):
            yield r, (r + k) % n


def ratios(times, a, b, goal=''):
    """a's time over b's, per round, so each ratio pairs runs made under the
    same load: one line with wall and CPU min/median/max."""
    rw = [x[0] / y[0] for x, y in zip(times[a], times[b])]
    rc = [x[1] / y[1] for x, y in zip(times[a], times[b])]
    print('%-27s wall %s   cpu %s%s' % (a + ' / ' + b, mmm(rw), mmm(rc), '   goal ' + goal if goal else ''))
