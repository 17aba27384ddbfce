#!/usr/bin/env python3
"""End-to-end tests: the real Zendrill.exe under Wine and Xvfb, driven by
zdrive.exe, against b203sim. Screenshots and logs land per test in the
artefact folder. Exit status 0 when every test passed, 77 when the Windows
build is missing."""
import argparse
import contextlib
import os
import re
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


def wait_until(pred, seconds=10):
    """Polls for a condition another process brings about; False on time-out."""
    end = time.monotonic() + seconds
    while not pred():
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


def wait_new_status(s, c, count, what):
    """Waits until the simulator has sent its `count`th status record and the
    pane shows the report of it: the old report in the pane proves nothing."""
    c.true(what + ": status record %d sent" % count, wait_until(lambda: len(status_records(s)) >= count))
    recs = status_records(s)
    want = report(recs[-1]) if recs else b""
    ok, got, _ = s.d.wait_text(PANE, want, 10000)
    c.true(what + " shown", ok, repr(got))
    return got


def wait_gadgets(s, pred, seconds=8):
    """The gadgets once `pred` holds for them (or the last seen, on time-out)."""
    end = time.monotonic() + seconds
    while True:
        g = s.d.gadgets()
        if pred(g) or time.monotonic() > end:
            return g
        time.sleep(0.05)


def main_buttons_enabled(s, enabled=True, seconds=10):
    """Waits until the main window's buttons are enabled again, which the tool
    does once it has finished a scan or an overview."""
    want = "1" if enabled else "0"
    g = wait_gadgets(s, lambda g: all(g[i]["enabled"] == want for i in range(5, 14) if i in g), seconds)
    return all(g[i]["enabled"] == want for i in range(5, 14) if i in g)


def wait_file_changed(path, old, seconds=10):
    """The tool replaces a file whole (written aside, renamed): a changed file is a finished one."""
    def changed():
        try:
            with open(path, "rb") as f:
                return f.read() != old
        except FileNotFoundError:
            return False
    wait_until(changed, seconds)
    with open(path, "rb") as f:
        return f.read()


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
    """A height of None (drop-down lists) is not compared."""
    for gid, cls, x, y, w, h, caption in table:
        g = gadgets.get(gid)
        if g is None:
            c.true("%s gadget %d exists" % (what, gid), False)
            continue
        c.eq("%s gadget %d class" % (what, gid), g["class"].lower(), cls.lower())
        height = g["rect"].split(",")[3] if h is None else str(h)
        c.eq("%s gadget %d rect" % (what, gid), g["rect"], "%d,%d,%d," % (x, y, w) + height)
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
        gadgets = built_gadgets(s, 20)
        check_table(c, gadgets, MAIN_TABLE, "main")
        c.eq("gadget ids in creation order", list(gadgets), [1, 5, 6, 7, 8, 9, 10, 11, 12, 13, 20])
        c.true("no Parvolet button without Parvolet.exe", PARVOLET_BUTTON not in gadgets)
        s.shot("main-status")
        c.eq("only one status query at start-up", s.rx(), [b"0X\r"])
        rec = [(t, data[:-2].decode()) for t, kind, data in s.log() if kind == "TX" and data.startswith(b"0X:")]
        if rec:
            t, r = rec[0]
            c.eq("record fields", (r[3:9], r[15:20]), ("150407", "12000"))
            # The device clock runs from 18:30:45 at the simulator's start, which its log times count from.
            want = ["1830%02d" % (45 + int(t) + d) for d in (-1, 0, 1)]
            c.true("record time", r[9:15] in want, "%s at %.3f s" % (r, t))
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
        got = wait_new_status(s, c, 2, "report of the second record")
        c.eq("queries", s.rx(), [b"0X\r", b"0X\r"])
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
        c.eq("pane unchanged after refused texts", s.d.text(PANE), before)

        console(s, "0X")
        ok, got, _ = s.d.wait_text(PANE, "\rRückmeldung:0X:", 8000, mode="waitcontains")
        # The tool handles the inputs in order: had a refused text been sent,
        # it would show up before this one.
        c.eq("refused texts send nothing", s.rx(), [b"0X\r", b"0X\r"])
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
    with started(env, c, "quick_mode", ini=ini, sim_args=DEVICE + FAST + ["--no-ack"]) as s:
        s.d.run("click %d" % QUICK_BUTTON)
        got = wait_new_status(s, c, 2, "report after the quick mode")
        c.eq("commands", s.rx(), [b"0X\r", b"0S2111\r", b"0X\r"])
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
    with started(env, c, "end_button", ini=INI + "Station7 = Klassik \r\n", sim_args=DEVICE + FAST) as s:
        s.d.run("move 140 60")
        end_and_check_ini(s, c, "button", 140, 60, stations={7: "Klassik "})
    c.done()


def test_close_box(env):
    c = Checker()
    with started(env, c, "close_box", ini="WinXPos = -20\r\nWinYPos = 12abc\r\n", sim_args=DEVICE + FAST) as s:
        info = s.d.window()
        c.eq("window at the stored position", info["outer"][:2], [-20, 12])
        end_and_check_ini(s, c, "close", -20, 12)
    c.done()


# --- screens ---------------------------------------------------------------

EDITOR_TITLE = "B203 Timer bearbeiten"
SETTINGS_TITLE = "B203 Einstellungen "
R1 = "W01010100050010063000071500"   # Mo Mi Fr, Tuner 05, LS-A, 06:30-07:15
R2 = "D2403060121000200000213000"    # 24.03.06, Tuner 12, Tape1, 20:00-21:30
R3 = "W01010101050011063000071500"   # Mo Mi Fr, CD 05, LS-A LS-B, 06:30-07:15
R5 = "W11111114000000120000123000"   # every day, Phono, no target, 12:00-12:30
TIMERS = ["--timer", "1=" + R1, "--timer", "2=" + R2, "--timer", "3=" + R3, "--timer", "5=" + R5]


def overview_entry(n, record):
    if record is None:
        return "\rTimer %d ist leer!\r\r\r\r" % n
    if record[0] == "D":
        date, rest = record[1:7], record[7:]
        first = "  Datum: %s.%s.20%s " % (date[0:2], date[2:4], date[4:6])
    else:
        flags, rest = record[1:8], record[8:]
        first = "  Tage: " + "".join(a for a, f in zip(["So ", "Mo ", "Di ", "Mi ", "Do ", "Fr ", "Sa "], flags)
                                     if f == "1")
    source, station, targets, start, end = rest[0], rest[1:3], rest[3:7], rest[7:11], rest[13:17]
    src = {"0": "Tuner " + station, "1": "CD " + station, "2": "Tape1", "3": "Tape2", "4": "Phono"}.get(source, "")
    goal = "".join(t for t, f in zip(["Tape1 ", "Tape2 ", "LS-A ", "LS-B "], targets) if f == "1")
    return ("\rNR.%d%s  Zeit: %s:%s - %s:%s Uhr\r\r      Quelle: %s   Ziel: %s\r\r"
            % (n, first, start[:2], start[2:], end[:2], end[2:], src, goal))


def show_overview(s, c):
    s.d.run("click %d" % OVERVIEW_BUTTON)
    ok, got, _ = s.d.wait_text(PANE, "\rNR.5", 15000, mode="waitcontains")
    c.true("overview finished", ok, repr(got))
    c.true("buttons enabled again", main_buttons_enabled(s))
    return got


def wait_rx(s, data, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if data in s.rx():
            return True
        time.sleep(0.05)
    return False


def title_now(s):
    return s.d.window()["title"]


def back_to_main(s, c):
    s.d.run("click 54")
    s.d.wait_window(10000, "Zendrill")
    wait_status(s, c, "report after the editor")


def test_overview_and_zones(env):
    c = Checker()
    with started(env, c, "overview", ini=INI, sim_args=DEVICE + FAST + TIMERS) as s:
        got = show_overview(s, c)
        want = "".join(overview_entry(n, r) for n, r in enumerate([R1, R2, R3, None, R5], 1))
        c.eq("overview text", got, cp(want))
        c.eq("overview reads", s.rx()[1:], [b"0C01\r", b"0C02\r", b"0C03\r", b"0C04\r", b"0C05\r"])
        c.true("every gadget enabled again", all(g["enabled"] == "1" for g in s.d.gadgets().values()))
        s.shot("overview")
        for y in (30, 75, 335):
            s.press(200, y)
            time.sleep(0.8)  # time for a wrong editor to open
            c.eq("press at y=%d opens nothing" % y, title_now(s), b"Zendrill")
        console(s, "A1")  # refused: the overview stays active
        for y, timer in ((31, 1), (74, 1), (204, 3), (334, 5)):
            before = reads(s, timer)
            s.press(200, y)
            ok, _ = s.d.run("wait 6000 " + e2elib.quote(cp(EDITOR_TITLE)), check=False)
            c.true("press at y=%d opens the editor" % y, ok)
            if not ok:
                break
            wait_loaded(s, timer, before)
            g = s.d.gadgets()
            c.eq("press at y=%d opens timer %d" % (y, timer), [g[i]["checked"] for i in range(2, 7)],
                 ["1" if i == timer + 1 else "0" for i in range(2, 7)])
            if y == 204:
                s.shot("editor-timer3")
            back_to_main(s, c)
            if y != 334:
                show_overview(s, c)
        s.press(200, 100)
        time.sleep(0.8)  # time for a wrong editor to open
        c.eq("no zones after the editor handed back", title_now(s), b"Zendrill")
    c.done()


EDITOR_TABLE = [
    (1, "Static", 10, 3, 490, 15, ""), (2, "Button", 110, 30, 30, 20, "1"), (3, "Button", 170, 30, 30, 20, "2"),
    (4, "Button", 230, 30, 30, 20, "3"), (5, "Button", 290, 30, 30, 20, "4"), (6, "Button", 350, 30, 30, 20, "5"),
    (46, "Static", 10, 33, 95, 20, "Timer:"), (7, "Button", 110, 70, 40, 20, "Mo"),
    (8, "Button", 170, 70, 40, 20, "Di"), (9, "Button", 230, 70, 40, 20, "Mi"), (10, "Button", 290, 70, 40, 20, "Do"),
    (11, "Button", 350, 70, 40, 20, "Fr"), (12, "Button", 410, 70, 40, 20, "Sa"),
    (13, "Button", 470, 70, 40, 20, "So"), (15, "SysDateTimePick32", 110, 100, 100, 20, None),
    (16, "Button", 110, 140, 60, 20, "Tuner"), (17, "Button", 190, 140, 60, 20, "CD"),
    (18, "Button", 270, 140, 60, 20, "Tape1"), (19, "Button", 350, 140, 60, 20, "Tape2"),
    (20, "Button", 430, 140, 60, 20, "Phono"), (39, "Static", 400, 30, 100, 30, None),
    (21, "Static", 10, 173, 90, 20, None), (22, "ComboBox", 110, 170, 170, None, None),
    (48, "Static", 10, 143, 90, 20, "Quelle:"), (31, "Button", 110, 210, 60, 20, "Tape1"),
    (32, "Button", 190, 210, 60, 20, "Tape2"), (33, "Button", 270, 210, 60, 20, "LS-A"),
    (34, "Button", 350, 210, 60, 20, "LS-B"), (40, "msctls_trackbar32", 170, 250, 168, 30, None),
    (41, "msctls_trackbar32", 100, 290, 400, 30, None), (42, "msctls_trackbar32", 170, 330, 168, 30, None),
    (43, "msctls_trackbar32", 100, 370, 400, 30, None), (44, "Static", 110, 260, 60, 20, None),
    (45, "Static", 110, 340, 60, 20, None), (14, "Button", 10, 70, 90, 20, "Tag(e):"),
    (47, "Button", 10, 100, 90, 20, "Datum:"), (49, "Static", 10, 213, 90, 20, "Ziel(e):"),
    (50, "Static", 10, 260, 90, 20, "Start:"), (51, "Static", 10, 340, 90, 20, "Ende:"),
    (52, "Button", 5, 420, 85, 20, "Löschen!!"), (53, "Button", 5, 450, 135, 20, "an B203 senden"),
    (54, "Button", 145, 450, 60, 20, "Zurück"), (55, "ComboBox", 210, 420, 315, None, None),
    (56, "Button", 370, 450, 155, 20, "als Preset merken"), (57, "Button", 210, 450, 155, 20, "Presetname ändern"),
    (58, "Button", 5, 15, 520, 395, ""), (59, "Button", 95, 420, 110, 20, "Timer testen"),
]


def reads(s, n):
    return s.rx().count(b"0C0%d\r" % n)


def wait_loaded(s, n, before):
    """Waits until timer n has been read once more than `before` times and the editor shows it."""
    end = time.monotonic() + 10
    while reads(s, n) <= before and time.monotonic() < end:
        time.sleep(0.05)
    # The status line says "Abfrage Timer n..." before the read is sent and is
    # cleared once the editor shows the timer.
    s.d.wait_text(1, "", 8000)


def open_editor(s, c):
    before = reads(s, 1)
    s.d.run("click %d" % EDITOR_BUTTON)
    s.d.wait_window(10000, EDITOR_TITLE)
    wait_loaded(s, 1, before)


@contextlib.contextmanager
def started(env, c, name, **session_args):
    """A session whose main window has shown the start-up status report."""
    with Session(env, name, **session_args) as s:
        s.d.wait_window()
        wait_status(s, c)
        yield s


def start_in_editor(s, c):
    """From start-up: the main window's status report, then the editor on timer 1."""
    s.d.wait_window()
    wait_status(s, c)
    open_editor(s, c)


def choose_timer(s, n):
    before = reads(s, n)
    s.d.run("click %d" % (n + 1))
    wait_loaded(s, n, before)


@contextlib.contextmanager
def editor_session(env, c, name, n, record):
    """A session started in the editor and switched to timer n, which holds `record`."""
    with Session(env, name, ini=INI, sim_args=DEVICE + FAST + ["--timer", "%d=%s" % (n, record)]) as s:
        start_in_editor(s, c)
        choose_timer(s, n)
        yield s


def test_editor_table_and_write(env):
    c = Checker()
    with Session(env, "editor_write", ini=INI + "Station5 = Klassik Radio\r\n",
                 sim_args=DEVICE + FAST + ["--timer", "1=" + R3]) as s:
        start_in_editor(s, c)
        info = s.d.window()
        c.eq("editor title", info["title"], cp(EDITOR_TITLE))
        c.eq("editor at the main window's place", info["outer"][:2], [100, 80])
        c.eq("editor client size", info["client"][2:], [530, 475])
        g = built_gadgets(s, 59)
        check_table(c, g, EDITOR_TABLE, "editor")
        c.eq("editor gadget order", list(g), [t[0] for t in EDITOR_TABLE])
        c.eq("timer 1 shown: days", [g[i]["checked"] for i in range(7, 14)], ["1", "0", "1", "0", "1", "0", "0"])
        c.eq("timer 1 shown: CD", g[17]["checked"], "1")
        c.eq("timer 1 shown: track label", g[21]["text"], b"CD-Track:")
        c.eq("timer 1 shown: track", (g[22]["sel"], g[22].get("item5")), ("5", b"Track 5"))
        c.eq("timer 1 shown: targets", [g[i]["checked"] for i in range(31, 35)], ["0", "0", "1", "1"])
        c.eq("timer 1 shown: bars", [g[i]["pos"] for i in range(40, 44)], ["6", "30", "7", "15"])
        c.eq("timer 1 shown: bar ranges", [(g[i]["min"], g[i]["max"]) for i in range(40, 44)],
             [("0", "23"), ("0", "59"), ("0", "23"), ("0", "59")])
        c.eq("timer 1 shown: times", (g[44]["text"], g[45]["text"]), (b"06:30", b"07:15"))
        c.eq("timer 1 shown: preset names", [g[55].get("item%d" % i) for i in range(10)],
             [str(i).encode() for i in range(10)])
        c.eq("erase and test visible", (g[52]["visible"], g[59]["visible"]), ("1", "1"))
        s.shot("editor-timer1")

        choose_timer(s, 2)
        g = s.d.gadgets()
        c.eq("timer 2 empty", g[39]["text"], cp("Timer ist leer !"))
        c.eq("erase and test hidden", (g[52]["visible"], g[59]["visible"]), ("0", "0"))
        s.shot("editor-empty")
        for box in (8, 10, 12, 13):  # what timer 1 left checked goes
            s.d.run("check %d 0" % box)
        for box in (7, 9, 11):
            s.d.run("check %d 1" % box)
        s.d.run("click 16")  # Tuner
        s.d.run("select 22 5")
        for box, on in ((31, 0), (32, 0), (33, 1), (34, 0)):
            s.d.run("check %d %d" % (box, on))
        for bar, pos in ((40, 6), (41, 30), (42, 7), (43, 15)):
            s.d.run("track %d %d" % (bar, pos))
        # The tool acts on the changes from its event queue, after the driver's calls return.
        g = wait_gadgets(s, lambda g: (g[21]["text"], g[44]["text"], g[45]["text"]) == (b"Station:", b"06:30",
                                                                                         b"07:15"))
        c.eq("station list for the tuner", (g[21]["text"], g[22].get("item5")), (b"Station:", b"5 Klassik Radio"))
        c.eq("time texts follow the bars", (g[44]["text"], g[45]["text"]), (b"06:30", b"07:15"))
        s.shot("editor-edited")
        s.d.run("click 53")
        c.true("write sent", wait_rx(s, b"0E02W01010100050010063000071500\r"))
        wait_loaded(s, 2, 1)
        rx = s.rx()
        i = rx.index(b"0E02W01010100050010063000071500\r")
        c.eq("write then read back", rx[i:i + 2], [b"0E02W01010100050010063000071500\r", b"0C02\r"])
        c.eq("device holds the record", s.dump().get("timer2"), "W01010100050010063000071500")
        g = s.d.gadgets()
        c.eq("read back shown, not empty", (g[39]["text"], g[52]["visible"]), (b"", "1"))
        s.shot("editor-written")
    c.done()


def test_editor_refused_erase_test(env):
    c = Checker()
    with editor_session(env, c, "editor_refused", 3, R3) as s:
        # Testing: No sends nothing, Yes sends the test command.
        s.d.run("click 59")
        box = s.d.box(5000)
        c.eq("test question", (box["title"], box["text"]), (b"Zendrill", cp("Timer 3 wirklich testen?")))
        c.eq("test question buttons", box["buttons"], sorted([b"&Yes", b"&No"]) if b"&Yes" in box["buttons"]
             else box["buttons"])
        s.shot("test-question")
        s.d.run("press no")
        s.d.run("boxgone 3000")
        s.d.run("click 59")
        s.d.box(5000)
        s.d.run("press yes")
        c.true("Yes sends the test", wait_rx_prefix(s, b"0V03"))
        wait_answered(s, c, b"0V03")
        # In order: a test sent after No would come before this one.
        c.eq("No sends nothing: one test sent", len([r for r in s.rx() if r.startswith(b"0V")]), 1)
        # Erasing, then a refused write.
        s.d.run("click 52")
        c.true("erase sent", wait_rx(s, b"0E03E\r"))
        ok, got, _ = s.d.wait_text(39, "Timer ist leer !", 6000)
        c.true("erased timer shows empty", ok, repr(got))
        c.eq("device timer 3 empty", s.dump().get("timer3"), "E")
        g = s.d.gadgets()
        c.eq("erase and test hidden", (g[52]["visible"], g[59]["visible"]), ("0", "0"))
    with Session(env, "editor_refused2", ini=INI, sim_args=DEVICE + FAST + ["--refuse-writes", "--timer", "1=" + R1]) as s:
        start_in_editor(s, c)
        s.d.run("check 7 1")
        s.d.run("click 53")
        box = s.d.box(8000)
        c.eq("refusal note", (box["title"], box["text"]),
             (b"Hinweis:", cp("Die Daten wurden vom Controller\rmit einer Fehlermeldung quittiert !")))
        s.shot("refused")
        s.d.run("press ok")
        s.d.run("boxgone 3000")
        c.eq("status line empty", s.d.text(1), b"")
        c.eq("edit kept", s.d.gadgets()[7]["checked"], "1")
        c.eq("no read back after a refusal", s.rx()[-1][:4], b"0E01")
        # The test's answer stays queued and is read as the next write's
        # answer: the refusal of that write goes unnoticed.
        s.d.run("click 59")
        s.d.box(5000)
        s.d.run("press yes")
        s.d.run("boxgone 3000")
        c.true("test sent", wait_rx_prefix(s, b"0V01"))
        wait_answered(s, c, b"0V01")
        before = reads(s, 1)
        s.d.run("click 53")
        wait_loaded(s, 1, before)
        ok, _ = s.d.run("nobox 1000", check=False)
        c.true("no refusal note when the queued test answer is read", ok)
        rx = s.rx()
        c.eq("write then read back", [r[:4] for r in rx[-3:]], [b"0V01", b"0E01", b"0C01"])
        c.eq("device still holds its timer", s.dump().get("timer1"), R1)
        g = s.d.gadgets()
        c.eq("the device's timer shown again", g[7]["checked"], "1")
    c.done()


def test_overview_silent(env):
    c = Checker()
    with Session(env, "overview_silent", ini=INI, sim_args=DEVICE + FAST + ["--silent"]) as s:
        s.d.wait_window()
        # Start-up asks twice; the overview starts after the second answer is missed.
        c.true("second status query", wait_until(lambda: s.rx().count(b"0X\r") == 2, 20))
        s.d.wait_text(PANE, "\rAbfrage Gerätestatus fehlgeschlagen (0)", 20000)
        s.d.run("click %d" % OVERVIEW_BUTTON)
        s.d.wait_text(PANE, "\rAbfrage Timer 1...", 3000)
        ok, got, ms = s.d.wait_text(PANE, "Speicher 5", 30000, mode="waitcontains")
        want = "".join("\rAbfrage Speicher %d fehlgeschlagen!\r\r\r\r" % n for n in range(1, 6))
        c.eq("five failed entries", got, cp(want))
        c.true("about 4 s per timer", 19000 <= ms <= 26000, "%d ms" % ms)
        s.shot("overview-silent")
        c.true("buttons enabled after the overview", main_buttons_enabled(s))
        s.press(200, 100)  # the overview mode is on all the same
        ok, _ = s.d.run("wait 6000 " + e2elib.quote(cp(EDITOR_TITLE)), check=False)
        c.true("a press opens the editor after a failed overview", ok)
    c.done()


def test_editor_date(env):
    c = Checker()
    with editor_session(env, c, "editor_date", 2, R2) as s:
        g = s.d.gadgets()
        c.eq("date record: date mode", (g[47]["checked"], g[14]["checked"]), ("1", "0"))
        c.eq("date record: weekday boxes disabled", [g[i]["enabled"] for i in range(7, 14)], ["0"] * 7)
        c.eq("date record: picker enabled and showing the date", (g[15]["enabled"], g[15]["shown"]),
             ("1", b"24.03.06"))
        s.pick_date(15, 2026, 3, 31)
        g = wait_gadgets(s, lambda g: g[15]["shown"] == b"31.03.26")
        c.eq("picked date shown", g[15]["shown"], b"31.03.26")
        s.shot("date-picked")
        s.d.run("click 53")
        c.true("date record written", wait_rx(s, b"0E02D3103260121000200000213000\r"))
        wait_loaded(s, 2, 1)
        c.eq("device timer 2", s.dump().get("timer2"), "D3103260121000200000213000")
        s.d.run("click 14")  # weekday mode: picker disabled, its text stays
        g = wait_gadgets(s, lambda g: g[15]["enabled"] == "0")
        c.eq("weekday mode", (g[14]["checked"], g[15]["enabled"], g[15]["shown"]), ("1", "0", b"31.03.26"))
    c.done()


def answered(s, prefix):
    """Whether the simulator's next line after the last one it received that
    starts with `prefix` is an answer (it answers in order)."""
    traffic = [(kind, data) for _, kind, data in s.log() if kind in ("RX", "TX")]
    last = max((i for i, (kind, data) in enumerate(traffic) if kind == "RX" and data.startswith(prefix)), default=-1)
    return 0 <= last < len(traffic) - 1 and traffic[last + 1][0] == "TX"


def wait_answered(s, c, prefix):
    """Waits for the answer to a command whose answer the tool does not read:
    left in the line, it would pass for the answer to the tool's next query."""
    c.true("%s answered" % prefix.decode("latin-1"), wait_until(lambda: answered(s, prefix)))


def wait_rx_prefix(s, prefix, seconds=5):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if any(r.startswith(prefix) for r in s.rx()):
            return True
        time.sleep(0.05)
    return False


def test_presets(env):
    c = Checker()
    with Session(env, "presets", ini=INI, sim_args=DEVICE + FAST + ["--timer", "1=" + R1, "--timer", "3=" + R3]) as s:
        start_in_editor(s, c)
        s.d.run("select 55 2")  # an empty slot cannot be applied
        box = s.d.box(5000)
        c.eq("empty preset note", (box["title"], box["text"]), (b"Hinweis:", cp("Ungültige Länge im Preset")))
        s.d.run("press ok")
        s.d.run("boxgone 3000")
        s.d.run("click 56")  # store timer 1 in slot 2
        s.d.run("click 57")
        box = s.d.box(5000)
        c.eq("rename prompt", box["text"], cp("Bitte die neue Bezeichnung für Preset 2 eingeben:"))
        c.eq("rename default", box["edit"], b"2")
        s.d.run("type " + e2elib.quote(cp("Morgens Ö1")))
        s.d.run("press ok")
        s.d.run("boxgone 3000")
        g = wait_gadgets(s, lambda g: g[55].get("item2") == cp("Morgens Ö1"))
        c.eq("renamed item", (g[55].get("item2"), g[55]["sel"]), (cp("Morgens Ö1"), "2"))
        choose_timer(s, 3)
        s.d.run("select 55 2")  # apply: timer 3 gets timer 1's settings
        g = wait_gadgets(s, lambda g: g[16]["checked"] == "1")
        c.eq("applied preset: Tuner", g[16]["checked"], "1")
        c.eq("applied preset: targets", [g[i]["checked"] for i in range(31, 35)], ["0", "0", "1", "0"])
        s.d.run("click 53")
        c.true("written", wait_rx(s, b"0E03" + cp(R1) + b"\r"))
        wait_loaded(s, 3, 1)
        c.eq("device timer 3", s.dump().get("timer3"), R1)
        back_to_main(s, c)
        end_and_check_ini(s, c, "button", 100, 80, names={2: "Morgens Ö1"}, presets={2: R1})
    c.done()


SETTINGS_TABLE = [
    (25, "Static", 10, 10, 300, 20, ""), (1, "Static", 20, 65, 150, 20, "Sprache:"),
    (2, "Static", 20, 115, 150, 20, "Easy Funktion:"), (3, "Static", 20, 165, 150, 20, "Timer:"),
    (4, "Static", 20, 215, 150, 20, "Einschaltbedingung:"), (6, "ComboBox", 180, 60, 300, None, None),
    (7, "ComboBox", 180, 110, 300, None, None), (8, "ComboBox", 180, 160, 300, None, None),
    (9, "ComboBox", 180, 210, 300, None, None), (10, "Button", 30, 280, 200, 20, "an B203 senden"),
    (11, "Button", 350, 440, 150, 20, "zum Hauptmenü"), (12, "Button", 280, 280, 220, 20, "als Quickmodus merken (**)"),
    (13, "Button", 10, 360, 150, 20, "Zeit ändern..."), (14, "Button", 180, 360, 150, 20, "Datum ändern..."),
    (15, "Button", 350, 360, 150, 20, "IR einschalten"), (16, "Button", 350, 390, 150, 20, "IR ausschalten"),
    (18, "Button", 10, 390, 150, 20, "Zeit +1 Std"), (19, "Button", 10, 420, 150, 20, "Zeit -1 Std"),
    (20, "Button", 180, 390, 150, 20, "Datum PC > B203"), (21, "Button", 180, 420, 150, 20, "Zeit PC > B203"),
    (17, "Button", 10, 29, 510, 300, ""),
]


def built_gadgets(s, last_id, seconds=8):
    """The gadgets once the window has created its last one."""
    end = time.monotonic() + seconds
    while True:
        g = s.d.gadgets()
        if last_id in g or time.monotonic() > end:
            return g
        time.sleep(0.1)


def settings_status(s, c, want, what):
    """Waits for the status line, then for the device's answer to the command it names."""
    ok, got, _ = s.d.wait_text(25, want, 8000)
    c.true(what, ok, repr(got))
    wait_answered(s, c, re.search(r"\((0\w+)\)", want).group(1).encode())


def test_settings(env):
    c = Checker()
    parvolet_ini = "[Setup]\r\nB203Modus = 1200\r\nComport = Com2:\r\n"
    with Session(env, "settings", ini=INI, files={"Parvolet.ini": parvolet_ini},
                 sim_args=["--date", "150407", "--time", "235930", "--settings", "1200", "--ir", "0"] + FAST) as s:
        s.d.wait_window()
        wait_status(s, c)
        s.d.run("click %d" % SETTINGS_BUTTON)
        s.d.wait_window(10000, SETTINGS_TITLE)
        info = s.d.window()
        c.eq("settings window place and size", (info["outer"][:2], info["client"][2:]), ([100, 80], [530, 475]))
        g = built_gadgets(s, 17)
        check_table(c, g, SETTINGS_TABLE, "settings")
        c.eq("settings gadget order", list(g), [t[0] for t in SETTINGS_TABLE])
        c.eq("box items", [[g[i].get("item%d" % k) for k in range(int(g[i]["items"]))] for i in (6, 7, 8, 9)],
             [[cp(t) for t in LANG], [cp(t) for t in EASY], [cp(t) for t in ONOFF], [cp(t) for t in POWER]])
        c.eq("boxes preset from 1200", [g[i]["sel"] for i in (6, 7, 8, 9)], ["1", "2", "0", "0"])
        s.shot("settings")
        s.d.run("select 7 0")
        s.d.run("select 9 3")
        s.d.run("click 10")
        settings_status(s, c, "Einstellung gesendet (0S1003)", "settings sent")
        c.true("0S sent", wait_rx(s, b"0S1003\r"))
        c.eq("device settings", s.dump().get("settings"), "1003")
        s.d.run("click 16")
        settings_status(s, c, "IR aus gesendet (0R1)", "IR off")
        c.true("0R1", wait_rx(s, b"0R1\r"))
        c.eq("device IR", s.dump().get("ir"), "1")
        s.d.run("click 18")  # 23:59:3x + 1 hour: 00:59:3x, date unchanged
        ok, got, _ = s.d.wait_text(25, "Zeit gesendet (0T0059", 8000, mode="waitcontains")
        c.true("hour shift across midnight", ok, repr(got))
        wait_answered(s, c, b"0T0059")
        d = s.dump()
        c.true("device hour after the shift", d.get("time", "").startswith("0059"), repr(d))
        # The shift is meant to leave the date alone; this build also moves
        # the date on by one day when the hour passes midnight (reported).
        c.true("device date after the shift", d.get("date") in ("150407", "160407"), repr(d))
        s.d.run("click 13")
        box = s.d.box(5000)
        c.eq("time prompt", (box["title"], box["text"]),
             (b"Zendrill", cp("Bitte die neue Zeit im Format HHMMSS eingeben:")))
        s.d.run("type 12345")  # five characters: nothing sent
        s.d.run("press ok")
        s.d.run("boxgone 3000")
        s.d.run("click 13")
        s.d.box(5000)
        s.d.run("type 123456")
        s.d.run("press ok")
        settings_status(s, c, "Zeit gesendet (0T123456)", "time sent")
        # In order: the five characters, had they been sent, would come before.
        c.eq("five characters send nothing", [r for r in s.rx() if r.startswith(b"0T")][1:], [b"0T123456\r"])
        c.true("device time", s.dump().get("time", "").startswith("1234"))
        s.d.run("click 14")
        box = s.d.box(5000)
        c.eq("date prompt", box["text"], cp("Bitte das neue Datum im Format TTMMYY eingeben:"))
        s.d.run("type 010203")
        s.d.run("press ok")
        settings_status(s, c, "Datum gesendet (0D010203)", "date sent")
        c.eq("device date", s.dump().get("date"), "010203")
        s.d.run("click 20")
        today = time.strftime("%d%m%y")
        settings_status(s, c, "Datum gesendet (0D%s)" % today, "PC date sent")
        c.eq("device date from the PC", s.dump().get("date"), today)
        s.d.run("click 15")
        settings_status(s, c, "IR ein gesendet (0R0)", "IR on")
        s.d.run("click 12")  # quick mode: into Parvolet.ini at once
        c.eq("Parvolet.ini B203Modus", wait_file_changed(s.path("Parvolet.ini"), cp(parvolet_ini)),
             cp("[Setup]\r\nB203Modus = 1003\r\nComport = Com2:\r\n"))
        c.eq("status line unchanged by the quick mode", s.d.text(25), cp("IR ein gesendet (0R0)"))
        s.shot("settings-done")
        s.d.run("click 11")
        s.d.wait_window(10000, "Zendrill")
        got = wait_status(s, c, "report after the settings")
        c.true("report shows the new settings", cp("Einschaltbed.: zuletzt aktivierte Lautsprecher") in got,
               repr(got))
        end_and_check_ini(s, c, "button", 100, 80, modus="1003")
    c.done()


PARVOLET_INI = ("Sprache = 1\r\nIdentPort1 = xx\r\nIdentPort2 = xx\r\nIdentPort3 = xx\r\nIdentPort4 = xx\r\n"
                "IdentPort5 = xx\r\nIdentPort6 = xx\r\nIdentPort7 = xx\r\nIdentPort8 = xx\r\nComport = Com4:\r\n"
                "Portmodus = 000000000\r\nB203Modus = 1200\r\n")


def test_scan(env):
    c = Checker()
    devices = {1: "01", 2: "02", 3: "05", 4: "08", 5: "07", 6: "00", 7: "Zz", 8: "03"}
    args = DEVICE + FAST
    for a, code_ in devices.items():
        args += ["--device", "%d=%s" % (a, code_)]
    with started(env, c, "scan", ini=INI, files={"Parvolet.ini": PARVOLET_INI}, sim_args=args) as s:
        s.d.run("click %d" % SCAN_BUTTON)
        box = s.d.box(30000)
        c.eq("export question", (box["title"], box["text"]),
             (b"Anfrage:", cp("Gerätekonfiguration in Parvolet.ini eintragen ?")))
        s.shot("scan-question")
        text = s.d.text(PANE)
        rec = status_records(s)[-1]
        names = {"00": "kein Identifier", "01": "PR99 MK2", "02": "A725", "03": "B285", "04": "B215", "05": "B225",
                 "06": "B226", "07": "A725-2", "08": "B291"}
        want = cp("\rAlle Ports abfragen:\r\r\r") + b"Port 0:" + rec + b" -> B203\r\r"
        for a in range(1, 10):
            reply = "%d%s" % (a, devices[a]) if a in devices else ""
            want += cp("Port %d:%s -> %s\r\r" % (a, reply, names.get(devices.get(a, ""), "Fehler")))
        c.eq("scan text", text, want)
        c.eq("scan commands", s.rx()[1:], [b"%dX\r" % a for a in range(10)])
        c.true("buttons disabled during the question",
               all(g["enabled"] == "0" for i, g in s.d.gadgets().items() if 5 <= i <= 13))
        s.d.run("press yes")
        s.d.run("boxgone 3000")
        # The tool rewrites Parvolet.ini line by line, then enables its buttons.
        c.true("buttons enabled after the export", main_buttons_enabled(s))
        want_ini = PARVOLET_INI
        for a in range(1, 9):
            want_ini = want_ini.replace("IdentPort%d = xx" % a, "IdentPort%d = %s" % (a, devices[a]))
        want_ini = want_ini.replace("Comport = Com4:", "Comport = Com1:").replace("Portmodus = 000000000",
                                                                                   "Portmodus = 101101001")
        c.eq("Parvolet.ini after the export", s.read("Parvolet.ini"), cp(want_ini))
        s.shot("scan-done")
    c.done()


def test_events_dropped(env):
    c = Checker()
    devices = []
    for a in range(1, 10):
        devices += ["--device", "%d=0%d" % (a, a % 9)]
    # Line-rate pacing, so that the overview and the scan take a while.
    with started(env, c, "events_dropped", ini=INI, sim_args=DEVICE + TIMERS + devices) as s:
        s.d.run("click %d" % OVERVIEW_BUTTON)
        s.d.wait_text(PANE, "Abfrage Timer 2...", 5000, mode="waitcontains")
        g = s.d.gadgets()
        c.eq("buttons disabled while the overview runs", [g[i]["enabled"] for i in range(5, 14)], ["0"] * 9)
        s.press(200, 40)  # lands while the overview runs
        ok, _, _ = s.d.wait_text(PANE, "\rNR.5", 15000, mode="waitcontains")
        c.true("buttons enabled after the overview", main_buttons_enabled(s))
        time.sleep(1.0)  # time for a wrong editor to open
        c.eq("a press during the overview opens nothing", title_now(s), b"Zendrill")
        s.d.run("click %d" % SCAN_BUTTON)
        s.d.wait_text(PANE, "Abfrage Port 2...", 8000, mode="waitcontains")
        s.d.run("close")  # a close request during the scan is dropped
        s.press(200, 40)
        ok, got, _ = s.d.wait_text(PANE, "Port 9:9", 15000, mode="waitcontains")
        c.true("scan finished", ok, repr(got))
        c.true("buttons enabled after the scan", main_buttons_enabled(s))
        # Time for a wrong exit or editor to happen.
        c.true("tool still running after a close request during the scan", not s.tool_exited(1.0))
        c.eq("no editor after a press during the scan", title_now(s), b"Zendrill")
    c.done()


def test_parvolet_appears(env):
    c = Checker()
    with started(env, c, "parvolet_appears", ini=INI, sim_args=DEVICE + FAST) as s:
        c.true("no Parvolet button at first", PARVOLET_BUTTON not in built_gadgets(s, 20))
        import shutil
        shutil.copy(env.parvolet, s.path("Parvolet.exe"))
        s.d.run("click %d" % SETTINGS_BUTTON)
        s.d.wait_window(10000, SETTINGS_TITLE)
        built_gadgets(s, 17)
        s.d.run("move 150 90")
        s.d.run("click 11")
        s.d.wait_window(10000, "Zendrill")
        wait_status(s, c, "report after the settings")
        g = built_gadgets(s, 20)
        c.true("Parvolet button after the main window was rebuilt", PARVOLET_BUTTON in g)
        c.eq("main window where the settings window was left", s.d.window()["outer"][:2], [150, 90])
        end_and_check_ini(s, c, "close", 150, 90)
    c.done()


def test_screen_close_boxes(env):
    c = Checker()
    with started(env, c, "screen_close_boxes", ini=INI, sim_args=DEVICE + FAST) as s:
        for button, title in ((EDITOR_BUTTON, EDITOR_TITLE), (SETTINGS_BUTTON, SETTINGS_TITLE)):
            before = reads(s, 1)
            s.d.run("click %d" % button)
            s.d.wait_window(10000, title)
            # Closed once the screen is ready: the editor has read timer 1,
            # the settings window has built its last gadget.
            if button == EDITOR_BUTTON:
                wait_loaded(s, 1, before)
            else:
                built_gadgets(s, 17)
            s.d.run("close")
            s.d.wait_window(10000, "Zendrill")
            wait_status(s, c, "report after closing %r" % title)
            c.true("tool still running after closing %r" % title, not s.tool_exited(0.3))
        c.eq("status queries: start, after the editor, after the settings",
             [r for r in s.rx() if r == b"0X\r"], [b"0X\r"] * 3)
    c.done()


def test_parvolet(env):
    c = Checker()
    with started(env, c, "parvolet", ini=INI, sim_args=DEVICE + FAST, parvolet=True) as s:
        g = built_gadgets(s, 20)
        c.true("Parvolet button", PARVOLET_BUTTON in g)
        if PARVOLET_BUTTON in g:
            c.eq("Parvolet button place", (g[14]["rect"], g[14]["text"]), ("230,380,60,20", b"Parvolet"))
        s.shot("with-parvolet")
        s.d.run("click %d" % PARVOLET_BUTTON)
        c.true("tool ended", s.tool_exited(15))
        marker = s.path("parvolet-started.txt")
        end = time.monotonic() + 15
        while not os.path.exists(marker) and time.monotonic() < end:
            time.sleep(0.1)
        c.true("Parvolet started", os.path.exists(marker))
        if os.path.exists(marker):
            m = s.read("parvolet-started.txt").decode("latin-1")
            c.true("Parvolet found the port closed", "com1=free" in m, m)
        c.eq("Zendrill.ini saved", len(ini_lines(s.read("Zendrill.ini"))), 54)
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
    test_overview_and_zones,
    test_editor_table_and_write,
    test_editor_refused_erase_test,
    test_editor_date,
    test_overview_silent,
    test_presets,
    test_settings,
    test_scan,
    test_parvolet,
    test_screen_close_boxes,
    test_parvolet_appears,
    test_events_dropped,
]


def main():
    ap = argparse.ArgumentParser()
    e2elib.add_env_options(ap)
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("-k", "--only", action="append", default=[], help="run the tests whose name holds this")
    args = ap.parse_args()
    env = e2elib.Env(args.win_build, args.sim, args.artifacts, args.prefix)
    missing = env.ready()
    if missing:
        print("e2e: skipped, missing: " + ", ".join(missing))
        return 77
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
