#!/usr/bin/env python3
"""End-to-end tests: the real Zendrill.exe under Wine and Xvfb, driven by
zdrive.exe, against b203sim. Screenshots and logs land per test in the
artefact folder. Exit status 0 when every test passed, 77 when the Windows
build is missing."""
import argparse
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Session, cp  # noqa: E402

LANG = ["Englisch", "Deutsch", "Französisch"]
EASY = ["Easy Remote", "Easy Remote + Local", "aus"]
ONOFF = ["ein", "aus"]
POWER = ["Lautsprecher A", "Lautsprecher B", "Lautsprecher A+B", "zuletzt aktivierte Lautsprecher",
         "Lautsprecher aus"]

INI = "Comport = Com1:\r\nWinXPos = 100\r\nWinYPos = 80\r\n"
PANE = 1
STATUS_BUTTON, OVERVIEW_BUTTON, EDITOR_BUTTON, SCAN_BUTTON = 8, 7, 6, 9
CONSOLE_BUTTON, SETTINGS_BUTTON, QUICK_BUTTON, END_BUTTON, PARVOLET_BUTTON = 10, 11, 12, 13, 14
FAST = ["--no-pacing"]
DEVICE = ["--date", "150407", "--time", "183045", "--settings", "1200", "--ir", "0"]


class Failure(Exception):
    pass


class Checker:
    def __init__(self):
        self.problems = []

    def eq(self, what, got, want):
        if got != want:
            self.problems.append("%s:\n    got  %r\n    want %r" % (what, got, want))

    def true(self, what, cond, detail=""):
        if not cond:
            self.problems.append("%s %s" % (what, detail))

    def done(self):
        if self.problems:
            raise Failure("\n  ".join(self.problems))


def code(text, n):
    v = int(text) if text.isdigit() else 0
    return v


def report(record):
    """The status report the tool shows for a 20-character status record."""
    r = record.decode("latin-1") if isinstance(record, bytes) else record

    def pick(names, c):
        v = int(c) if c.isdigit() else 0
        return names[v] if v < len(names) else ""

    text = "\rB203 Gerätestatus:\r\r\r"
    text += "Datum        : %s.%s.20%s\r\r" % (r[3:5], r[5:7], r[7:9])
    text += "Zeit         : %s:%s:%s Uhr\r\r" % (r[9:11], r[11:13], r[13:15])
    text += "Dialogsprache: " + pick(LANG, r[15])
    text += "\r\rEasy-Funktion: " + pick(EASY, r[16])
    text += "\r\rTimer        : " + ("ein" if r[17] == "0" else "aus")
    text += "\r\rEinschaltbed.: " + pick(POWER, r[18])
    text += "\r\rIR-Empfänger : " + ("ein" if r[19] == "0" else "aus")
    return cp(text)


def status_records(s):
    """The status records the simulator sent, in order."""
    return [t[:-2] for t in s.tx() if len(t) == 22 and t.startswith(b"0X")]


def wait_status(s, c, what="status report"):
    """Waits for the pane to show a finished report; checks it against the simulator's last record."""
    ok, got, _ = s.d.wait_text(PANE, "IR-Empfänger : ", 15000, mode="waitcontains")
    c.true(what + " shown", ok, repr(got))
    recs = status_records(s)
    c.true(what + ": a record was sent", bool(recs))
    if recs:
        c.eq(what, got, report(recs[-1]))
    return got


def ini_lines(data):
    c = Checker()
    c.true("Zendrill.ini ends with CRLF", data.endswith(b"\r\n"))
    return data[:-2].split(b"\r\n") if data.endswith(b"\r\n") else data.split(b"\r\n")


def expected_ini(x, y, modus="1200", names=None, presets=None, stations=None, port="Com1:"):
    names = names or {}
    presets = presets or {}
    stations = stations or {}
    lines = ["Comport = " + port, "WinXPos = %d" % x, "WinYPos = %d" % y, "B203Modus = " + modus]
    for n in range(10):
        lines.append("Presetname%d = %s" % (n, names.get(n, str(n))))
        lines.append("Preset%d = %s" % (n, presets.get(n, "")))
    for n in range(30):
        lines.append("Station%d = %s" % (n, stations.get(n, "")))
    return [cp(l) for l in lines]


# --- tests ---------------------------------------------------------------

def test_no_ini(env):
    c = Checker()
    with Session(env, "no_ini", ini=None, sim_args=FAST) as s:
        box = s.d.box(20000)
        s.shot("note")
        c.eq("note title", box["title"], b"Hinweis:")
        c.eq("note text", box["text"], cp("Zendrill.ini nicht gefunden"))
        c.eq("note buttons", box["buttons"], [b"OK"])
        ok, _ = s.d.run("nowindow 200", check=False)
        c.true("no main window with the note", ok)
        s.d.run("press ok")
        c.true("tool ended", s.tool_exited(10))
        ok, _ = s.d.run("nowindow 500", check=False)
        c.true("no main window after the note", ok)
        c.true("no Zendrill.ini created", not os.path.exists(s.path("Zendrill.ini")))
        c.eq("nothing sent", s.rx(), [])
    c.done()


def test_bad_port(env):
    c = Checker()
    with Session(env, "bad_port", ini="Comport = Com9:\r\n", sim_args=FAST) as s:
        box = s.d.box(20000)
        s.shot("note")
        c.eq("note title", box["title"], b"Hinweis:")
        c.eq("note text", box["text"], cp("Konnte Com9:\rnicht öffnen !"))
        c.eq("note buttons", box["buttons"], [b"OK"])
        s.d.run("press ok")
        c.true("tool ended", s.tool_exited(10))
        ok, _ = s.d.run("nowindow 500", check=False)
        c.true("no main window", ok)
        c.eq("Zendrill.ini unchanged", s.read("Zendrill.ini"), b"Comport = Com9:\r\n")
    c.done()


MAIN_TABLE = [
    # id, class, x, y, w, h, caption
    (1, "Static", 30, 20, 486, 340, None),
    (5, "Button", 230, 410, 60, 20, "über..."),
    (6, "Button", 10, 380, 210, 20, "Timer bearbeiten..."),
    (7, "Button", 10, 410, 210, 20, "Übersicht Timer 1 - 5"),
    (8, "Button", 10, 440, 210, 20, "B203 Gerätestatus"),
    (9, "Button", 300, 380, 220, 20, "alle Ports abfragen"),
    (10, "Button", 300, 410, 220, 20, "String an B203 senden"),
    (11, "Button", 300, 440, 180, 20, "B203 Einstellungen..."),
    (12, "Button", 480, 440, 40, 20, "**"),
    (13, "Button", 230, 440, 60, 20, "Ende"),
    (20, "Button", 10, 9, 510, 358, ""),
]


def check_table(c, gadgets, table, what):
    for gid, cls, x, y, w, h, caption in table:
        g = gadgets.get(gid)
        if g is None:
            c.true("%s gadget %d exists" % (what, gid), False)
            continue
        c.eq("%s gadget %d class" % (what, gid), g["class"].lower(), cls.lower())
        c.eq("%s gadget %d rect" % (what, gid), g["rect"], "%d,%d,%d,%d" % (x, y, w, h))
        if caption is not None:
            c.eq("%s gadget %d caption" % (what, gid), g["text"], cp(caption))


def test_startup_status(env):
    c = Checker()
    with Session(env, "startup_status", ini=INI, sim_args=DEVICE + FAST) as s:
        s.d.wait_window()
        wait_status(s, c, "start-up report")
        info = s.d.window()
        c.eq("title", info["title"], b"Zendrill")
        c.eq("outer position", info["outer"][:2], [100, 80])
        c.eq("client size", info["client"][2:], [530, 475])
        gadgets = s.d.gadgets()
        check_table(c, gadgets, MAIN_TABLE, "main")
        c.eq("gadget ids in creation order", list(gadgets), [1, 5, 6, 7, 8, 9, 10, 11, 12, 13, 20])
        c.true("no Parvolet button without Parvolet.exe", PARVOLET_BUTTON not in gadgets)
        s.shot("main-status")
        c.eq("only one status query at start-up", s.rx(), [b"0X\r"])
        rec = status_records(s)
        if rec:
            r = rec[0].decode()
            c.eq("record fields", (r[3:9], r[15:20]), ("150407", "12000"))
            c.true("record time", r[9:15] in ("183045", "183046", "183047"), r)
    c.done()


def test_startup_silent(env):
    c = Checker()
    with Session(env, "startup_silent", ini=INI, sim_args=DEVICE + ["--silent"] + FAST) as s:
        s.d.wait_window()
        ok, got, _ = s.d.wait_text(PANE, "\rAbfrage Gerätestatus fehlgeschlagen (0)", 20000)
        c.true("failure text", ok, repr(got))
        time.sleep(4.5)  # a third query would have been sent by now
        c.eq("pane after the second query", s.d.text(PANE), cp("\rAbfrage Gerätestatus fehlgeschlagen (0)"))
        c.eq("status query sent exactly twice", s.rx(), [b"0X\r", b"0X\r"])
        s.shot("silent")
    c.done()


def test_status_button(env):
    c = Checker()
    with Session(env, "status_button", ini=INI, sim_args=["--date", "311299", "--time", "235958",
                                                          "--settings", "2214", "--ir", "1"] + FAST) as s:
        s.d.wait_window()
        wait_status(s, c, "start-up report")
        s.d.run("click %d" % STATUS_BUTTON)
        time.sleep(0.3)
        ok, got, _ = s.d.wait_text(PANE, "IR-Empfänger : ", 10000, mode="waitcontains")
        c.eq("queries", s.rx(), [b"0X\r", b"0X\r"])
        recs = status_records(s)
        c.eq("report of the second record", got, report(recs[-1]))
        c.true("report shows the new century date", b"Datum        : " in got, repr(got))
        s.shot("status")
    c.done()


def console(s, text, accept=True):
    """Presses "String an B203 senden", checks the box and enters `text` (None: Escape)."""
    s.d.run("click %d" % CONSOLE_BUTTON)
    box = s.d.box(10000)
    if text is None:
        s.d.run("key escape")
    else:
        s.d.run("type " + e2elib.quote(cp(text)))
        s.d.run("press ok" if accept else "boxclose")
    s.d.run("boxgone 5000")
    return box


def test_console(env):
    c = Checker()
    with Session(env, "console", ini=INI, sim_args=DEVICE + FAST) as s:
        s.d.wait_window()
        before = wait_status(s, c)
        box = console(s, "0", accept=True)
        c.eq("input box title", box["title"], b"Zendrill")
        c.eq("input box prompt", box["text"], cp("Bitte den String eingeben:"))
        c.eq("input box default", box["edit"], b"")
        c.eq("input box class", box["class"], "ZendrillInputBox")
        for refused in ["A1", " 0X", ""]:
            console(s, refused)
        console(s, "0X", accept=False)  # closed: empty text
        console(s, None)                # Escape
        time.sleep(0.5)
        c.eq("refused texts send nothing", s.rx(), [b"0X\r"])
        c.eq("pane unchanged after refused texts", s.d.text(PANE), before)

        console(s, "0X")
        ok, got, _ = s.d.wait_text(PANE, "\rRückmeldung:0X:", 8000, mode="waitcontains")
        recs = status_records(s)
        c.eq("console shows the raw record", got, cp("\rRückmeldung:") + recs[-1])
        c.eq("console sent 0X", s.rx()[-1], b"0X\r")
        s.shot("console-record")

        console(s, "5X")  # nobody at address 5
        ok, got, _ = s.d.wait_text(PANE, cp("\rWarte auf evtl. Rückmeldung..."), 3000)
        c.true("waiting text while the console waits", ok, repr(got))
        ok, got, el = s.d.wait_text(PANE, "\rRückmeldung: keine oder Timeout", 8000)
        c.true("silence reported", ok, repr(got))
        c.eq("console sent 5X", s.rx()[-1], b"5X\r")
        s.shot("console-timeout")
    c.done()


def test_console_joined(env):
    c = Checker()
    # Every answer comes with a queued acknowledgement line in front of it, in one burst.
    with Session(env, "console_joined", ini=INI, sim_args=DEVICE + FAST + ["--stray", "OK\\r\\n"]) as s:
        s.d.wait_window()
        s.d.wait_text(PANE, "\rAbfrage Gerätestatus fehlgeschlagen (22)", 15000)
        console(s, "0X")
        ok, got, _ = s.d.wait_text(PANE, "\rRückmeldung:OK0X:", 8000, mode="waitcontains")
        c.true("acknowledgement joined to the answer", ok and len(got) == len(cp("\rRückmeldung:")) + 22, repr(got))
    c.done()


def test_quick_mode(env):
    c = Checker()
    ini = INI + "B203Modus = 2111\r\n"
    with Session(env, "quick_mode", ini=ini, sim_args=DEVICE + FAST + ["--no-ack"]) as s:
        s.d.wait_window()
        wait_status(s, c)
        s.d.run("click %d" % QUICK_BUTTON)
        time.sleep(0.3)
        ok, got, _ = s.d.wait_text(PANE, "IR-Empfänger : ", 10000, mode="waitcontains")
        c.eq("commands", s.rx(), [b"0X\r", b"0S2111\r", b"0X\r"])
        recs = status_records(s)
        c.eq("report after the quick mode", got, report(recs[-1]))
        c.eq("device settings", s.dump().get("settings"), "2111")
        c.true("report shows the new settings", cp("Dialogsprache: Französisch") in got, repr(got))
    c.done()


def end_and_check_ini(s, c, how, x, y, **kw):
    if how == "button":
        s.d.run("click %d" % END_BUTTON)
    else:
        s.d.run("close")
    c.true("tool ended (%s)" % how, s.tool_exited(15))
    lines = ini_lines(s.read("Zendrill.ini"))
    c.eq("Zendrill.ini line count", len(lines), 54)
    want = expected_ini(x, y, **kw)
    for i, (g, w) in enumerate(zip(lines, want)):
        c.eq("Zendrill.ini line %d" % (i + 1), g, w)


def test_end_button(env):
    c = Checker()
    with Session(env, "end_button", ini=INI + "Station7 = Klassik \r\n", sim_args=DEVICE + FAST) as s:
        s.d.wait_window()
        wait_status(s, c)
        s.d.run("move 140 60")
        end_and_check_ini(s, c, "button", 140, 60, stations={7: "Klassik "})
    c.done()


def test_close_box(env):
    c = Checker()
    with Session(env, "close_box", ini="WinXPos = -20\r\nWinYPos = 12abc\r\n", sim_args=DEVICE + FAST) as s:
        s.d.wait_window()
        wait_status(s, c)
        info = s.d.window()
        c.eq("window at the stored position", info["outer"][:2], [-20, 12])
        end_and_check_ini(s, c, "close", -20, 12)
    c.done()


TESTS = [
    test_no_ini,
    test_bad_port,
    test_startup_status,
    test_startup_silent,
    test_status_button,
    test_console,
    test_console_joined,
    test_quick_mode,
    test_end_button,
    test_close_box,
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--win-build", required=True)
    ap.add_argument("--sim", required=True)
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("-k", "--only", action="append", default=[], help="run the tests whose name holds this")
    args = ap.parse_args()
    env = e2elib.Env(args.win_build, args.sim, args.artifacts, args.prefix)
    missing = env.missing()
    if missing:
        print("e2e: skipped, missing: " + ", ".join(missing))
        return 77
    os.makedirs(env.artifacts, exist_ok=True)
    env.prepare_prefix()
    tests = [t for t in TESTS if not args.only or any(k in t.__name__ for k in args.only)]
    failed = []
    start = time.monotonic()
    for t in tests:
        t0 = time.monotonic()
        try:
            t(env)
            result = "ok"
        except Failure as f:
            result = "FAILED\n  " + str(f)
            failed.append(t.__name__)
        except Exception:
            result = "ERROR\n" + traceback.format_exc()
            failed.append(t.__name__)
        print("%-28s %5.1fs %s" % (t.__name__, time.monotonic() - t0, result), flush=True)
    print("e2e: %d tests, %d failed, %.0fs; artefacts in %s" % (len(tests), len(failed),
                                                                 time.monotonic() - start, env.artifacts))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
