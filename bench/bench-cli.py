#!/usr/bin/env python3
"""Prints how long zendrill-cli takes natively against the simulator at line
rate, next to the bound that line allows. The simulator paces its replies
at 1200 baud (10 bits a byte) while commands reach it at once over the pty,
so the bound of an exchange is the reply's bytes rounded up to the next
100 ms poll plus the one 100 ms pause after the line feed; a command whose
answer is not read costs nothing; plus the fixed pauses the command makes.
Also CPU time and peak memory of each run. Not a test.

Usage: bench/bench-cli.py [--build DIR] [--runs N]
"""
import argparse
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

TIMERS = ["--timer", "1=W01010100050010063000071500", "--timer", "2=D2403260121000200000213000",
          "--timer", "3=W01010101050011063000071500", "--timer", "5=W11111114000000120000123000"]
IMPORT = "".join("Timer%d = W01010100%02d0010063000071500\r\n" % (n, n) for n in range(1, 6))


TURNAROUND_MS = 20  # the simulator's pause before a reply


def wire_ms(nbytes):
    return nbytes * 10 / 1200 * 1000


def exchange_bound_ms(reply):
    """Polls every 100 ms from the write: the one after the reply's last
    byte, and one pause more."""
    return math.ceil((TURNAROUND_MS + wire_ms(reply)) / 100) * 100 + 100


def log_entries(path, since):
    """(kind, bytes) of the simulator's JSON log lines from `since` seconds on."""
    with open(path, encoding="ascii") as f:
        entries = [json.loads(line) for line in f.read().split("\n")[:-1]]
    return [(e["kind"], e["bytes"].encode("latin-1")) for e in entries if e["ms"] >= since * 1000]


def reads_no_reply(command):
    return command.startswith((b"0T", b"0D", b"0S", b"0R")) or re.match(rb"0E0\dE\r$", command)


def bound_ms(entries, fixed_ms):
    """The exchanges after `since`; set commands and the erase read nothing."""
    total = fixed_ms
    rx_tx = [e for e in entries if e[0] in ("RX", "TX")]
    for i, (kind, data) in enumerate(rx_tx):
        if kind != "RX":
            continue
        if not reads_no_reply(data):
            reply = rx_tx[i + 1][1] if i + 1 < len(rx_tx) and rx_tx[i + 1][0] == "TX" else b""
            total += exchange_bound_ms(len(reply))
    return total


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "native"))
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    cli = os.path.join(args.build, "cli", "zendrill-cli")
    sim = os.path.join(args.build, "sim", "b203sim")
    work = tempfile.mkdtemp(prefix="zd-bench-cli-")
    link, log = os.path.join(work, "com"), os.path.join(work, "sim.log")
    with open(os.path.join(work, "import.ini"), "w", newline="") as f:
        f.write(IMPORT)
    proc = subprocess.Popen([sim, "--link", link, "--log", log, "--log-format", "json"] + TIMERS, stdout=subprocess.DEVNULL)
    start = time.monotonic()
    while not os.path.exists(link):
        time.sleep(0.05)
    cases = [
        ("status", ["status"], 0),
        ("timers export", ["timers", "export", os.path.join(work, "b.ini")], 0),
        ("timers import (5 timers)", ["timers", "import", os.path.join(work, "import.ini")], 0),
        # 150 ms between time and date. Not in the bound: the wait for the start
        # of a second (0-1 s) and for the line to fall quiet (200 ms).
        ("clock sync", ["clock", "sync"], 150),
    ]
    print("%-26s %9s %9s %7s %8s %8s" % ("command", "wall ms", "bound ms", "ratio", "cpu ms", "peak MiB"))
    try:
        for name, argv, fixed in cases:
            walls, bounds, cpus, peaks = [], [], [], []
            for _ in range(args.runs):
                time.sleep(0.3)  # acknowledgements of the previous run settle
                t0 = time.monotonic()
                since = t0 - start - 0.05
                child = subprocess.Popen([cli, "--port", link] + argv, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.PIPE)
                _, status, usage = os.wait4(child.pid, 0)
                walls.append((time.monotonic() - t0) * 1000)
                if os.waitstatus_to_exitcode(status) != 0:
                    print("%s failed: %s" % (name, child.stderr.read().decode()), file=sys.stderr)
                time.sleep(0.1)
                bounds.append(bound_ms(log_entries(log, since), fixed))
                cpus.append((usage.ru_utime + usage.ru_stime) * 1000)
                peaks.append(usage.ru_maxrss / 1024)
            wall, bound = min(walls), min(bounds)
            print("%-26s %9.0f %9.0f %7.2f %8.1f %8.1f" % (name, wall, bound, wall / bound, min(cpus), max(peaks)))
    finally:
        proc.terminate()
        proc.wait()
    print("(best of %d runs; the bound counts the replies' bytes at 1200 baud, the 100 ms polls and the"
          " command's fixed pauses)" % args.runs)


if __name__ == "__main__":
    main()
