#!/usr/bin/env python3
"""Prints how long the real Zendrill.exe under Wine takes, against the
simulator at line-rate pacing (1200 baud), from a button press to the final
text, next to the bound the line allows: for each exchange the bytes both
ways x 10 bits / 1200 baud, rounded up to the next 100 ms poll, plus the one
100 ms pause after the line feed (plus fixed pauses the action makes). Also
the tool's CPU time and peak memory over each run. Not a test.

Usage: bench/bench-e2e.py [--win-build DIR] [--sim PATH]
"""
import argparse
import math
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import e2elib  # noqa: E402
from e2elib import Session, cp  # noqa: E402

INI = "Comport = Com1:\r\nWinXPos = 100\r\nWinYPos = 80\r\n"
DEVICE = ["--date", "150407", "--time", "183045", "--settings", "1200", "--ir", "0"]
TIMERS = ["--timer", "1=W01010100050010063000071500", "--timer", "2=D2403060121000200000213000",
          "--timer", "3=W01010101050011063000071500", "--timer", "5=W11111114000000120000123000"]
ALL_DEVICES = []
for _a in range(1, 10):
    ALL_DEVICES += ["--device", "%d=0%d" % (_a, _a % 9)]


def exchange_bound_ms(nbytes):
    wire = nbytes * 10 / 1200 * 1000
    return math.ceil(wire / 100) * 100 + 100


def bound_from_log(s, since, reads_reply=lambda rx: True):
    """Sums the bound over the exchanges logged after `since` seconds."""
    total = 0
    log = [e for e in s.log() if e[0] >= since and e[1] in ("RX", "TX")]
    i = 0
    while i < len(log):
        t, kind, data = log[i]
        if kind != "RX":
            i += 1
            continue
        n = len(data)
        if i + 1 < len(log) and log[i + 1][1] == "TX" and reads_reply(data):
            n += len(log[i + 1][2])
            i += 1
            total += exchange_bound_ms(n)
        # A command written without a read costs no poll.
        i += 1
    return total


def tool_usage():
    """(cpu seconds, peak RSS in MiB) of the running Zendrill.exe process."""
    tick = os.sysconf("SC_CLK_TCK")
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmd = f.read()
            if b"Zendrill.exe" not in cmd or b"zdrive" in cmd:
                continue
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            cpu = (int(fields[11]) + int(fields[12])) / tick
            peak = 0
            with open("/proc/%s/status" % pid) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        peak = int(line.split()[1]) / 1024
            return cpu, peak
        except (OSError, IndexError, ValueError):
            continue
    return float("nan"), float("nan")


def log_clock(s):
    """The simulator log's clock now (seconds since it started)."""
    entries = s.log()
    return entries[-1][0] if entries else 0.0


ROWS = []


def row(name, wall, bound, s, note=""):
    cpu, peak = tool_usage()
    ROWS.append((name, wall, bound, cpu, peak, note))
    print("%-34s %8d ms %8d ms %8.2f s %8.1f MiB  %s" % (name, wall, bound, cpu, peak, note), flush=True)


def ready(s, extra=()):
    s.d.wait_window()
    s.d.wait_text(1, "IR-Empfänger : ", 20000, mode="waitcontains")
    time.sleep(0.3)


def bench_click(env, session, sim_args, button, pane_text, timeout_ms, name, failed_note, settle=0.0):
    """Times one button of the main window until its pane holds `pane_text`."""
    with Session(env, session, ini=INI, sim_args=sim_args) as s:
        ready(s)
        since = log_clock(s) + 0.001
        s.d.run("click %d" % button)
        if settle:
            time.sleep(settle)
        ok, _, ms = s.d.wait_text(1, pane_text, timeout_ms, mode="waitcontains")
        row(name, ms, bound_from_log(s, since), s, "" if ok else failed_note)


def bench_status(env):
    bench_click(env, "bench_status", DEVICE, 8, "IR-Empfänger : ", 10000, "status report", "(no report)",
                settle=0.05)


def bench_console(env):
    with Session(env, "bench_console", ini=INI, sim_args=DEVICE) as s:
        ready(s)
        s.d.run("click 10")
        s.d.box(10000)
        s.d.run('type "0X"')
        since = log_clock(s) + 0.001
        s.d.run("press ok")
        ok, _, ms = s.d.wait_text(1, cp("\rRückmeldung:0X:"), 10000, mode="waitcontains")
        row("console 0X", ms, bound_from_log(s, since), s, "" if ok else "(no answer)")


def bench_overview(env):
    bench_click(env, "bench_overview", DEVICE + TIMERS, 7, "\rNR.5", 30000, "timer overview", "(unfinished)")


def bench_write(env):
    with Session(env, "bench_write", ini=INI, sim_args=DEVICE + TIMERS) as s:
        ready(s)
        s.d.run("click 6")
        s.d.wait_window(10000, "B203 Timer bearbeiten")
        time.sleep(1.5)
        s.d.wait_text(1, "", 10000)
        s.d.run("check 13 1")
        time.sleep(0.2)
        since = log_clock(s) + 0.001
        s.d.run("click 53")
        s.d.wait_text(1, "", 10000, mode="waitnot")
        ok, _, ms = s.d.wait_text(1, "", 15000)
        # Status line empty again once the timer has been read back.
        row("timer write + read-back", ms, bound_from_log(s, since), s, "" if ok else "(unfinished)")


def bench_hour_shift(env):
    with Session(env, "bench_hour", ini=INI, sim_args=DEVICE) as s:
        ready(s)
        s.d.run("click 11")
        s.d.wait_window(10000, "B203 Einstellungen ")
        time.sleep(1.0)
        since = log_clock(s) + 0.001
        s.d.run("click 18")
        ok, _, ms = s.d.wait_text(25, "Zeit gesendet (0T", 10000, mode="waitcontains")
        bound = bound_from_log(s, since, reads_reply=lambda rx: rx.startswith(b"0X")) + 150
        row("hour shift", ms, bound, s, "(bound includes the 150 ms pause)" if ok else "(unfinished)")


def bench_scan(env):
    bench_click(env, "bench_scan", DEVICE + ALL_DEVICES, 9, "Port 9:9", 90000, "port scan, 10 devices answering",
                "(unfinished)")


def main():
    ap = argparse.ArgumentParser()
    e2elib.add_env_options(ap, {"--win-build": os.path.join(ROOT, "build", "win"),
                                "--sim": os.path.join(ROOT, "build", "native", "sim", "b203sim"),
                                "--prefix": os.path.join(ROOT, "build", "e2e-wineprefix")})
    a = ap.parse_args()
    env = e2elib.Env(a.win_build, a.sim, os.path.join(ROOT, "build", "bench-e2e"), a.prefix)
    missing = env.ready()
    if missing:
        print("missing: " + ", ".join(missing))
        return 1
    print("Zendrill.exe under Wine, simulator at 1200 baud (turnaround 20 ms per reply)")
    print("%-34s %11s %11s %10s %12s" % ("action", "wall", "line bound", "tool CPU", "tool peak"))
    for b in (bench_status, bench_console, bench_overview, bench_write, bench_hour_shift, bench_scan):
        try:
            b(env)
        except Exception as e:  # a figure missing is reported, the others still run
            print("%-34s failed: %s" % (b.__name__, e))
    return 0


if __name__ == "__main__":
    sys.exit(main())
