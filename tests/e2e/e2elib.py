"""Runs the real Zendrill.exe under Wine and Xvfb against the B203 simulator.

One `Session` per test: a scratch folder with Zendrill.ini, its own X display,
a simulator on a pty, the tool in the shared Wine prefix and the zdrive.exe
driver talking a line protocol over pipes. Everything it starts is stopped
when the session ends.
"""
import json
import os
import re
import select
import shutil
import signal
import subprocess
import time

WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}
DESKTOP = "1024x768"


def cp(text):
    """A text as the tool's Windows-1252 bytes."""
    return text.encode("cp1252")


def unquote(quoted):
    """Bytes of a text the driver printed in double quotes with escapes."""
    s = quoted[1:-1] if quoted.startswith('"') and quoted.endswith('"') else quoted
    out = bytearray()
    i = 0
    while i < len(s):
        c = s[i]
        if c != "\\" or i + 1 >= len(s):
            out += c.encode("latin-1")
            i += 1
            continue
        n = s[i + 1]
        if n == "r":
            out += b"\r"
        elif n == "n":
            out += b"\n"
        elif n == "t":
            out += b"\t"
        elif n == "x":
            out.append(int(s[i + 2:i + 4], 16))
            i += 2
        else:
            out += n.encode("latin-1")
        i += 2
    return bytes(out)


def quote(data):
    """The driver's quoting of bytes, for text arguments."""
    out = '"'
    for b in data:
        ch = chr(b)
        if ch == "\r":
            out += "\\r"
        elif ch == "\n":
            out += "\\n"
        elif ch == "\t":
            out += "\\t"
        elif ch in '\\"':
            out += "\\" + ch
        elif b < 0x20 or b > 0x7E:
            out += "\\x%02X" % b
        else:
            out += ch
    return out + '"'


_FIELD = re.compile(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)')


def parse_fields(line):
    """key=value pairs of one driver line; quoted values become bytes."""
    fields = {}
    for key, value in _FIELD.findall(line):
        fields[key] = unquote(value) if value.startswith('"') else value
    return fields


class DriverError(Exception):
    pass


def tail(path, lines=15):
    """The last lines of a file another process wrote, for an error message."""
    try:
        with open(path, "rb") as f:
            data = f.read().decode("latin-1").rstrip("\n").split("\n")
    except FileNotFoundError:
        return "(no %s)" % os.path.basename(path)
    text = "\n      ".join(data[-lines:])
    return text if text else "(empty)"


def exit_text(proc):
    """Whether a process runs, or how it ended."""
    code = proc.poll()
    if code is None:
        return "running"
    return "killed by signal %d" % -code if code < 0 else "exited with status %d" % code


class Driver:
    """zdrive.exe over pipes: one command, its data lines, then OK or ERR.
    `describe` tells the state of the other processes when the driver fails."""

    def __init__(self, exe, env, cwd, describe=lambda: ""):
        self.err_path = os.path.join(cwd, "driver.err")
        with open(self.err_path, "wb") as err:
            self.proc = subprocess.Popen(["wine", exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=err, env=env, cwd=cwd)
        self.describe = describe
        self.buf = b""
        self.transcript = []

    def _failed(self, what):
        if what == "ended":
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        return DriverError("driver %s; zdrive.exe %s, its stderr: %s%s"
                           % (what, exit_text(self.proc), tail(self.err_path), self.describe()))

    def _line(self, deadline):
        while b"\n" not in self.buf:
            left = deadline - time.monotonic()
            if left <= 0:
                raise self._failed("did not answer in time")
            r, _, _ = select.select([self.proc.stdout], [], [], left)
            if r:
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                if not chunk:
                    raise self._failed("ended")
                self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return line.rstrip(b"\r").decode("latin-1")

    def run(self, command, timeout=120, check=True):
        """Returns (ok, data lines)."""
        self.transcript.append("%.3f > %s" % (time.monotonic(), command))
        try:
            self.proc.stdin.write((command + "\n").encode("latin-1"))
            self.proc.stdin.flush()
        except BrokenPipeError:
            raise self._failed("ended") from None
        deadline = time.monotonic() + timeout
        lines = []
        while True:
            line = self._line(deadline)
            self.transcript.append("%.3f < %s" % (time.monotonic(), line))
            if line == "OK":
                return True, lines
            if line.startswith("ERR"):
                if check:
                    raise DriverError("%s: %s\n%s" % (command, line, "\n".join(lines)))
                return False, lines
            lines.append(line)

    def close(self):
        try:
            self.proc.stdin.write(b"quit\n")
            self.proc.stdin.flush()
            self.proc.wait(timeout=5)
        except Exception:
            self.proc.kill()

    # --- conveniences ---

    def wait_window(self, ms=20000, title=None):
        cmd = "wait %d" % ms + (" " + quote(cp(title)) if title else "")
        self.run(cmd, timeout=ms / 1000 + 30)

    def window(self):
        _, lines = self.run("window")
        info = {}
        for line in lines:
            key, _, rest = line.partition(" ")
            info[key] = unquote(rest) if key == "title" else [int(v) for v in rest.split()]
        return info

    def gadgets(self):
        _, lines = self.run("gadgets")
        out = {}
        for line in lines:
            if line.startswith("gadget "):
                f = parse_fields(line)
                out[int(f["id"])] = f
        return out

    def text(self, gid):
        _, lines = self.run("text %d" % gid)
        return unquote(lines[0][5:])

    def wait_text(self, gid, text, ms=10000, mode="waittext"):
        """Waits until gadget `gid` shows `text` (bytes or str); returns (ok, text, elapsed ms)."""
        data = text if isinstance(text, bytes) else cp(text)
        ok, lines = self.run("%s %d %d %s" % (mode, gid, ms, quote(data)), timeout=ms / 1000 + 30, check=False)
        got = unquote(lines[0][5:]) if lines else b""
        elapsed = int(lines[1].split()[1]) if len(lines) > 1 else -1
        return ok, got, elapsed

    def box(self, ms=10000, check=True):
        ok, lines = self.run("box %d" % ms, timeout=ms / 1000 + 30, check=check)
        if not ok:
            return None
        info = {"items": []}
        for line in lines:
            if line.startswith("box "):
                f = parse_fields(line)
                info["class"] = f["class"]
                info["title"] = f["title"]
            elif line.startswith("item "):
                info["items"].append(parse_fields(line))
            elif line.startswith("elapsed"):
                info["elapsed"] = int(line.split()[1])
        statics = [i["text"] for i in info["items"] if i["class"].lower() == "static"]
        info["text"] = statics[0] if statics else b""
        edits = [i["text"] for i in info["items"] if i["class"].lower() == "edit"]
        info["edit"] = edits[0] if edits else None
        info["buttons"] = sorted(i["text"] for i in info["items"] if i["class"].lower() == "button")
        return info


def add_env_options(ap, defaults=None):
    """--win-build, --sim and --prefix for an Env, each required unless `defaults` names it."""
    for option in ("--win-build", "--sim", "--prefix"):
        default = (defaults or {}).get(option)
        ap.add_argument(option, default=default, required=default is None)


class Env:
    """What one run shares: programs, the Wine prefix, the artefact folder."""

    def __init__(self, win_build, sim, artifacts, prefix):
        win_build = os.path.abspath(win_build)
        sim = os.path.abspath(sim)
        self.tool = os.path.join(win_build, "gui", "Zendrill.exe")
        self.driver = os.path.join(win_build, "tests", "e2e", "zdrive.exe")
        self.parvolet = os.path.join(win_build, "tests", "e2e", "ParvoletStub.exe")
        self.sim = sim
        self.artifacts = os.path.abspath(artifacts)
        self.prefix = os.path.abspath(prefix)
        # COM1 of the prefix points here for good; each test relinks it to its simulator.
        self.com1 = os.path.join(self.prefix, "zd-com1")
        self.env = dict(os.environ)
        self.env.update(WINE_ENV)
        self.env["WINEPREFIX"] = self.prefix

    def missing(self):
        return [p for p in (self.tool, self.driver, self.parvolet, self.sim) if not os.path.exists(p)]

    def ready(self):
        """Prepares the artefact folder and the prefix; what is missing instead, if anything."""
        missing = self.missing()
        if not missing:
            os.makedirs(self.artifacts, exist_ok=True)
            self.prepare_prefix()
        return missing

    def prepare_prefix(self):
        env = dict(self.env)
        env.pop("DISPLAY", None)
        marker = os.path.join(self.prefix, "zd-e2e-ready")
        # A server left by an interrupted run would hold the prefix.
        self.stop_wine()
        if os.path.exists(marker):
            return
        os.makedirs(self.prefix, exist_ok=True)
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for args in (["HKLM\\Software\\Wine\\Ports", "/v", "COM1", "/t", "REG_SZ", "/d", self.com1],
                     # One virtual desktop: captions drawn, exact window positions.
                     ["HKCU\\Software\\Wine\\Explorer", "/v", "Desktop", "/t", "REG_SZ", "/d", "Default"],
                     ["HKCU\\Software\\Wine\\Explorer\\Desktops", "/v", "Default", "/t", "REG_SZ", "/d", DESKTOP]):
            subprocess.run(["wine", "reg", "add"] + args + ["/f"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=True)
        link = os.path.join(self.prefix, "dosdevices", "com1")
        if os.path.lexists(link):
            os.remove(link)
        subprocess.run(["wineserver", "-w"], env=env)
        open(marker, "w").close()

    def stop_wine(self):
        """Ends every Wine process of the prefix and waits until its server is gone."""
        for arg in ("-k", "-w"):
            subprocess.run(["wineserver", arg], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Session:
    """One test's world. Use as a context manager."""

    def __init__(self, env, name, ini=None, sim_args=(), files=None, start_tool=True, parvolet=False):
        self.e = env
        self.name = name
        self.dir = os.path.join(env.artifacts, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.ini = ini
        self.sim_args = list(sim_args)
        self.files = files or {}
        self.start_tool = start_tool
        self.parvolet = parvolet
        self.procs = []
        self.tool = None
        self.d = None
        self.shots = 0

    def path(self, name):
        return os.path.join(self.dir, name)

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def _start(self):
        if self.ini is not None:
            with open(self.path("Zendrill.ini"), "wb") as f:
                f.write(self.ini if isinstance(self.ini, bytes) else cp(self.ini))
        for name, data in self.files.items():
            with open(self.path(name), "wb") as f:
                f.write(data if isinstance(data, bytes) else cp(data))
        if self.parvolet:
            shutil.copy(self.e.parvolet, self.path("Parvolet.exe"))
        self.env = dict(self.e.env)
        self.display = self._start_xvfb()
        self.env["DISPLAY"] = ":%d" % self.display
        self.sim = self._spawn([self.e.sim, "--link", self.path("com1"), "--log", self.path("sim.log"),
                                "--log-format", "json", "--dump", self.path("dump.txt")] + self.sim_args,
                               stdout=open(self.path("sim.out"), "wb"))
        self._wait_for(lambda: os.path.lexists(self.path("com1")), 10, "simulator link", self.sim, "sim.out")
        if os.path.lexists(self.e.com1):
            os.remove(self.e.com1)
        os.symlink(self.path("com1"), self.e.com1)
        self._start_wineserver()
        # The driver first: its answer proves that Wine's desktop runs on this
        # display before the tool starts, so the two never race to create it.
        self.d = Driver(self.e.driver, self.env, self.dir, self.describe)
        _, lines = self.d.run("desktop", timeout=60)
        if lines != ["desktop 0 0 %s" % DESKTOP.replace("x", " ")]:
            raise RuntimeError("Wine's desktop is not %s: %r%s" % (DESKTOP, lines, self.describe()))
        if self.start_tool:
            self.launch()

    def _start_xvfb(self):
        """Starts Xvfb on a free display; it names the display once it takes connections."""
        r, w = os.pipe()
        try:
            self.xvfb = self._spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", DESKTOP + "x24", "-nolisten",
                                     "tcp"], stdout=open(self.path("xvfb.out"), "wb"), pass_fds=(w,))
            os.close(w)
            w = None
            out = b""
            end = time.monotonic() + 20
            while not out.endswith(b"\n"):
                left = end - time.monotonic()
                if left <= 0 or not select.select([r], [], [], left)[0]:
                    raise RuntimeError("Xvfb did not start in time" + self.describe())
                chunk = os.read(r, 64)
                if not chunk:
                    self.xvfb.wait()
                    raise RuntimeError("Xvfb ended before it took connections" + self.describe())
                out += chunk
            return int(out)
        finally:
            os.close(r)
            if w is not None:
                os.close(w)

    def _start_wineserver(self):
        """A persistent server, started alone: it is ready when the command
        returns, and no Wine process of the test starts or stops it."""
        with open(self.path("wineserver.err"), "wb") as err:
            done = subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL, stderr=err)
        if done.returncode != 0:
            raise RuntimeError("wineserver -p exited with status %d: %s" % (done.returncode,
                                                                            tail(self.path("wineserver.err"))))

    def describe(self):
        """The state of what the session started, for error messages."""
        out = ""
        for name, proc, log in (("Xvfb", getattr(self, "xvfb", None), "xvfb.out"),
                                ("simulator", getattr(self, "sim", None), "sim.out"),
                                ("Zendrill.exe", self.tool, "tool.out")):
            if proc is not None:
                out += "\n  %s %s, its output: %s" % (name, exit_text(proc), tail(self.path(log)))
        return out

    def launch(self):
        self.tool = self._spawn(["wine", self.e.tool], cwd=self.dir, stdout=open(self.path("tool.out"), "wb"))

    def _spawn(self, args, cwd=None, stdout=subprocess.DEVNULL, pass_fds=()):
        p = subprocess.Popen(args, cwd=cwd or self.dir, env=self.env, stdout=stdout, stderr=subprocess.STDOUT,
                             start_new_session=True, pass_fds=pass_fds)
        self.procs.append(p)
        return p

    def _wait_for(self, pred, seconds, what, proc=None, log=None):
        """Polls for a condition; fails at once when `proc` ends first."""
        end = time.monotonic() + seconds
        while not pred():
            if proc is not None and proc.poll() is not None and not pred():
                raise RuntimeError("%s: the process %s: %s" % (what, exit_text(proc), tail(self.path(log))))
            if time.monotonic() > end:
                raise RuntimeError(what + " did not happen in time" + self.describe())
            time.sleep(0.05)

    def shot(self, label):
        """Saves a screenshot of the whole virtual desktop as an artefact."""
        self.shots += 1
        name = "%02d-%s.png" % (self.shots, label)
        subprocess.run(["import", "-window", "root", self.path(name)], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self.path(name)

    def press(self, x, y):
        """A real left mouse press at client coordinates of the tool window,
        through the X server, so the tool sees the pointer where it pressed."""
        origin = self.d.window()["client"]
        self.click_screen(origin[0] + x, origin[1] + y)

    def click_screen(self, x, y):
        # --sync: the click follows once the X server has the pointer there.
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], env=self.env, check=True)
        subprocess.run(["xdotool", "click", "1"], env=self.env, check=True)

    def pick_date(self, gid, year, month, day):
        """Picks a date in a date picker as a user does: its drop-down
        calendar, then a click on the day (Wine passes no WM_NOTIFY between
        processes, so the driver cannot notify the tool itself)."""
        self.d.run("setdate %d %d %d %d" % (gid, year, month, day))
        g = self.d.gadgets()[gid]
        x, y, w, h = (int(v) for v in g["rect"].split(","))
        origin = self.d.window()["client"]
        self.click_screen(origin[0] + x + w - 8, origin[1] + y + h // 2)
        _, lines = self.d.run("dayat %d %d %d %d" % (gid, year, month, day))
        px, py = (int(v) for v in lines[0].split()[1:3])
        self.click_screen(px, py)

    def tool_exited(self, seconds=10):
        if self.tool is None:
            return True
        try:
            self.tool.wait(timeout=seconds)
            return True
        except subprocess.TimeoutExpired:
            return False

    # --- the simulator's records ---

    def log(self):
        """(seconds, kind, bytes) of every simulator log line."""
        out = []
        try:
            with open(self.path("sim.log"), "rb") as f:
                data = f.read()
        except FileNotFoundError:
            return out
        # The simulator may be writing the last line right now: only whole
        # lines count. Each character of "bytes" is one byte's code point.
        for line in data.decode("ascii").split("\n")[:-1]:
            e = json.loads(line)
            out.append((e["ms"] / 1000, e["kind"], e["bytes"].encode("latin-1")))
        return out

    def rx(self):
        return [data for _, kind, data in self.log() if kind == "RX"]

    def tx(self):
        return [data for _, kind, data in self.log() if kind == "TX"]

    def dump(self):
        """The simulator's state now, as a dict."""
        path = self.path("dump.txt")
        before = self._dumps()
        self.sim.send_signal(signal.SIGUSR1)
        # The simulator logs the dump once it has renamed the finished file into place.
        self._wait_for(lambda: len(self._dumps()) > len(before), 10, "simulator dump", self.sim, "sim.out")
        if not self._dumps()[-1].startswith(b"dump "):
            raise RuntimeError("simulator: %r" % self._dumps()[-1])
        state = {}
        with open(path, "r", encoding="latin-1") as f:
            for line in f:
                line = line.strip()
                if line and not line.startswith("#") and "=" in line:
                    k, _, v = line.partition("=")
                    state[k] = v
        return state

    def _dumps(self):
        return [data for _, kind, data in self.log() if kind == "EV" and data.startswith(b"dump")]

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def stop(self):
        if self.d:
            try:
                with open(self.path("driver.txt"), "w", encoding="latin-1") as f:
                    f.write("\n".join(self.d.transcript) + "\n")
            except Exception:
                pass
            self.d.close()
            self.d = None
        # The server first: the Wine processes end with it, before their display does.
        subprocess.run(["wineserver", "-k"], env=self.e.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        self.procs = []
        subprocess.run(["wineserver", "-w"], env=self.e.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
