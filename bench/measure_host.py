#!/usr/bin/env python3
"""Measures the programs as a user meets them: the panel's system calls per
cycle (under strace) and peak resident memory, and, with --period, the wall
time of a whole 60-second preset run; the trace program's speed as CSV.
Usage: measure_host.py PANEL TRACE [--period]"""
import collections
import os
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


def syscalls_per_cycle(seconds=2.0):
    with tempfile.NamedTemporaryFile() as trace, keys_file(b"axe") as keys:
        proc = subprocess.Popen(["strace", "-qq", "-o", trace.name, binary], stdin=keys,
                                stdout=subprocess.DEVNULL)
        time.sleep(seconds)
        with open(f"/proc/{proc.pid}/task/{proc.pid}/children") as children:
            os.kill(int(children.read().split()[0]), 9)
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


def preset_run_seconds():
    # From the flush that opens the start cycle to the one that carries the
    # first bell: 599 whole cycle periods of the 600-cycle run.
    with keys_file(b"dxe") as keys:
        proc = subprocess.Popen([binary], stdin=keys, stdout=subprocess.PIPE, bufsize=0)
        seen, start = b"", None
        while True:
            chunk = proc.stdout.read(4096)
            now = time.monotonic()
            seen += chunk
            if start is None and seen.count(b"\x1b[10;30f") >= 3:
                start = now
            if b"\x07" in chunk:
                proc.kill()
                period = (now - start) / 599
                return period * 600, period


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
    total, period = preset_run_seconds()
    print("60 s preset: %.3f s of wall time (%.3f ms per cycle)" % (total, period * 1000))
