#!/usr/bin/env python3
"""Measures the programs as a user meets them: the panel's system calls per
cycle (under strace) and peak resident memory, and, with --period, its clock:
the period over 600 cycles idle and beside two CPU-bound processes, and the
cycles drawn right after a 2 s stop; the trace program's speed as CSV.
Usage: measure_host.py PANEL TRACE [--period]"""
import collections
import os
import signal
import subprocess
import sys
import tempfile
import time

binary = sys.argv[1]
trace = sys.argv[2]


def keys_file(keys):
    f = tempfile.TemporaryFile()
    f.write(keys)
    f.seek(0)
    return f


def traced_child(proc):
    """The id of the panel that strace (proc) started; ends the run cleanly
    where the kernel cannot tell, rather than signal a wrong id."""
    try:
        with open(f"/proc/{proc.pid}/task/{proc.pid}/children") as children:
            ids = [int(word) for word in children.read().split()]
    except (OSError, ValueError):
        ids = []
    if not ids or ids[0] <= 1:
        proc.kill()
        proc.wait()
        sys.exit(f"{sys.argv[0]}: cannot find the traced panel: this kernel has no "
                 "/proc/PID/task/PID/children")
    return ids[0]


def syscalls_per_cycle(seconds=2.0):
    with tempfile.NamedTemporaryFile() as trace, keys_file(b"axe") as keys:
        proc = subprocess.Popen(["strace", "-qq", "-o", trace.name, binary], stdin=keys,
                                stdout=subprocess.DEVNULL)
        time.sleep(seconds)
        os.kill(traced_child(proc), 9)
        proc.wait()
        calls, counting = collections.Counter(), False
        for line in open(trace.name):
            name = line.split("(")[0]
            counting = counting or name == "clock_nanosleep"
            if counting and not line.startswith(("+++", "---")):
                calls[name] += 1
    # Whole cycles only: the trace was cut inside the sleep of the last one.
    calls["clock_nanosleep"] -= 1
    cycles = calls["clock_nanosleep"]
    return {name: round(count / cycles, 2) for name, count in calls.items()}


def peak_rss_kib(seconds=2.0):
    with keys_file(b"dxe") as keys:
        proc = subprocess.Popen([binary], stdin=keys, stdout=subprocess.DEVNULL)
        time.sleep(seconds)
        with open(f"/proc/{proc.pid}/status") as status:
            peak = next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
        proc.terminate()
        proc.wait()
    return peak


def cycle_starts(proc, count):
    """Times at which each of count cycles started drawing, read from the pipe."""
    mark, seen, times = b"\x1b[10;30f", b"", []
    while len(times) < count:
        chunk = os.read(proc.stdout.fileno(), 4096)
        now = time.monotonic()
        seen = seen[-7:] + chunk  # a mark cut between two reads counts once
        times += [now] * seen.count(mark)
    return times[:count]


def periods(load=0, cycles=601):
    """Mean and 99th-percentile period over 600 cycles, with load CPU hogs."""
    hogs = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(load)]
    try:
        with open(os.devnull, "rb") as keys:
            proc = subprocess.Popen([binary], stdin=keys, stdout=subprocess.PIPE)
            # The first reads can catch several cycles at once while the
            # reader starts up: leave the first ten out.
            starts = cycle_starts(proc, cycles + 10)[10:]
            proc.kill()
            proc.wait()
    finally:
        for hog in hogs:
            hog.kill()
    gaps = sorted(b - a for a, b in zip(starts, starts[1:]))
    mean = (starts[-1] - starts[0]) / (len(starts) - 1)
    return mean, gaps[int(0.99 * len(gaps))]


def cycles_after_stop():
    """Cycles drawn in the 500 ms after 2 s stopped and a SIGCONT."""
    with open(os.devnull, "rb") as keys:
        proc = subprocess.Popen([binary], stdin=keys, stdout=subprocess.PIPE)
        cycle_starts(proc, 10)
        os.kill(proc.pid, signal.SIGSTOP)
        time.sleep(2)
        os.set_blocking(proc.stdout.fileno(), False)
        while True:  # what was drawn before the stop
            try:
                if not os.read(proc.stdout.fileno(), 65536):
                    break
            except BlockingIOError:
                break
        os.kill(proc.pid, signal.SIGCONT)
        resumed, seen = time.monotonic(), b""
        while time.monotonic() < resumed + 0.5:
            try:
                seen += os.read(proc.stdout.fileno(), 65536)
            except BlockingIOError:
                time.sleep(0.001)
        proc.kill()
        proc.wait()
    return seen.count(b"\x1b[10;30f")


def trace_speed():
    # Wall time of a 3000-cycle script as CSV (best of 20 processes), and
    # cycles a second over ten million cycles written to /dev/null.
    with tempfile.NamedTemporaryFile("w", suffix=".keys") as short, \
            tempfile.NamedTemporaryFile("w", suffix=".keys") as long:
        short.write("d{4} x e .{2994}\n")
        long.write(".{10000000}\n")
        short.flush(), long.flush()
        best = float("inf")
        for _ in range(20):
            start = time.monotonic()
            subprocess.run([trace, "--format=csv", short.name], stdout=subprocess.DEVNULL, check=True)
            best = min(best, time.monotonic() - start)
        start = time.monotonic()
        subprocess.run([trace, "--format=csv", long.name], stdout=subprocess.DEVNULL, check=True)
        rate = 10_000_000 / (time.monotonic() - start)
    return best, rate


short_run, rate = trace_speed()
print("trace: 3000 cycles as CSV in %.1f ms of wall time; %.2f M cycles/s as CSV to /dev/null"
      % (short_run * 1000, rate / 1e6))
print("system calls per cycle:", syscalls_per_cycle())
print("peak resident memory: %d KiB" % peak_rss_kib())
if "--period" in sys.argv:
    for load in (0, 2):
        mean, p99 = periods(load)
        print("period over 600 cycles with %d CPU hogs: mean %.4f ms (%+.4f %%), p99 %.3f ms"
              % (load, mean * 1000, (mean / 0.1 - 1) * 100, p99 * 1000))
    print("cycles drawn in the 500 ms after 2 s stopped:", cycles_after_stop())
