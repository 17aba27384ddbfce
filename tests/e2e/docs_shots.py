#!/usr/bin/env python3
"""Takes the README's screenshots of the real tool under Wine: the main
window with a status report, the timer overview, the timer editor, the
settings window and a port scan, each cropped to the window, into docs/."""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Session, cp  # noqa: E402

DEMO = ["--date", "240326", "--time", "183045", "--settings", "1200", "--ir", "0", "--no-pacing",
        "--timer", "1=W01111100050010063000071500", "--timer", "2=D2412260071100190000230000",
        "--timer", "3=W10000011050011100000120000", "--device", "3=05"]
INI = "Comport = Com1:\r\nWinXPos = 100\r\nWinYPos = 80\r\nStation5 = Klassik Radio\r\n"


def crop(s, out):
    full = s.shot("doc")
    w = s.d.window()["outer"]
    subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (w[2], w[3], w[0], w[1]), "+repage", out],
                   check=True)
    print(out)


def main_window_ready(s):
    s.d.wait_window(10000, "Zendrill")
    s.d.wait_text(1, "IR-Empfänger", 15000, mode="waitcontains")


def main():
    ap = argparse.ArgumentParser()
    e2elib.add_env_options(ap)
    ap.add_argument("--out", required=True)
    a = ap.parse_args()
    env = e2elib.Env(a.win_build, a.sim, os.path.join(os.path.dirname(os.path.abspath(a.out)), "build", "doc-shots"),
                     a.prefix)
    os.makedirs(env.artifacts, exist_ok=True)
    env.prepare_prefix()
    out = os.path.abspath(a.out)
    with Session(env, "docs", ini=INI, sim_args=DEMO) as s:
        s.d.wait_window()
        s.d.wait_text(1, "IR-Empfänger", 15000, mode="waitcontains")
        crop(s, os.path.join(out, "screenshot-main.png"))
        s.d.run("click 7")
        s.d.wait_text(1, "\rTimer 5", 15000, mode="waitcontains")
        time.sleep(0.3)
        crop(s, os.path.join(out, "screenshot-overview.png"))
        s.press(200, 40)
        s.d.wait_window(10000, "B203 Timer bearbeiten")
        time.sleep(1.0)
        s.d.wait_text(1, "", 8000)
        crop(s, os.path.join(out, "screenshot-editor.png"))
        s.d.run("click 54")
        main_window_ready(s)
        s.d.run("click 11")
        s.d.wait_window(10000, "B203 Einstellungen ")
        time.sleep(1.0)
        s.d.run("click 16")
        s.d.wait_text(25, "IR aus gesendet (0R1)", 5000)
        crop(s, os.path.join(out, "screenshot-settings.png"))
        s.d.run("click 11")
        main_window_ready(s)
        s.d.run("click 9")
        s.d.wait_text(1, cp("Port 9:"), 60000, mode="waitcontains")
        time.sleep(0.5)
        crop(s, os.path.join(out, "screenshot-scan.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
