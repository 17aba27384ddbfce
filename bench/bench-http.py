#!/usr/bin/env python3
"""Prints how long the owner's web page takes to load while 200 half-open
connections from two other addresses (127.0.0.2 and 127.0.0.3, 100 each)
hold the daemon's HTTP server: each sends a request line and then a header
line every half second, never ending its head, and reconnects once closed.

The load is what a browser fetches on a first visit with an empty cache:
the page, its scripts and style (gzip accepted), then GET /api/status with
the password (HTTP Basic), each on a connection of its own from 127.0.0.1.
zendrilld runs against the simulator, without MQTT.

Not a test. Standard library only.

Usage: bench/bench-http.py [--build DIR] [--runs N] [--connections N]
"""
import argparse
import base64
import os
import re
import socket
import statistics
import subprocess
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def fetch(port, path, headers=""):
    """One request on a connection of its own: (status, body)."""
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n%s\r\n"
                   % (path, port, headers)).encode())
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    return int(head.split(b" ")[1]) if head else 0, body


class HalfOpen:
    """`n` connections that never finish their request head."""

    def __init__(self, port, n):
        self.port, self.n, self.stop = port, n, False
        self.opened = 0
        self.placed = threading.Event()  # every connection tried once
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def connect(self, i):
        s = socket.socket()
        s.bind(("127.0.0.%d" % (2 + i % 2), 0))
        s.settimeout(2)
        try:
            s.connect(("127.0.0.1", self.port))
            s.sendall(("GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % self.port).encode())
            s.setblocking(False)
            self.opened += 1
            return s
        except OSError:
            s.close()
            return None

    def run(self):
        conns = [self.connect(i) for i in range(self.n)]
        self.placed.set()
        while not self.stop:
            for i, s in enumerate(conns):
                try:
                    if s is None:
                        raise OSError
                    s.send(b"X-Slow: a\r\n")
                except OSError:
                    if s is not None:
                        s.close()
                    conns[i] = self.connect(i)
            # The trickle's pace: a slow client's next header line, not a wait for anything.
            time.sleep(0.5)
        for s in conns:
            if s is not None:
                s.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "native"))
    ap.add_argument("--runs", type=int, default=20)
    ap.add_argument("--connections", type=int, default=200)
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="zd-bench-http-")
    link = os.path.join(work, "com")
    http_port = free_port()
    with open(os.path.join(work, "http-password"), "w") as f:
        f.write("geheim\n")
    os.chmod(os.path.join(work, "http-password"), 0o600)
    with open(os.path.join(work, "zendrilld.ini"), "w") as f:
        f.write("port = %s\ncontrol_socket = %s\nhttp_listen = 127.0.0.1:%d\nhttp_password_file = %s\n"
                "http_session_file =\njournal_file = %s\n"
                % (link, os.path.join(work, "zendrilld.sock"), http_port, os.path.join(work, "http-password"),
                   os.path.join(work, "journal.db")))
    sim = subprocess.Popen([os.path.join(args.build, "sim", "b203sim"), "--link", link,
                            "--log", os.path.join(work, "sim.log")], stdout=subprocess.PIPE)
    sim.stdout.readline()  # the pty's path, once the link is in place
    daemon = subprocess.Popen([os.path.join(args.build, "zendrilld", "zendrilld"),
                               "--config", os.path.join(work, "zendrilld.ini")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              env={k: v for k, v in os.environ.items() if k != "ZENDRILL_PORT"})
    basic = "Authorization: Basic %s\r\n" % base64.b64encode(b":geheim").decode()
    try:
        deadline = time.monotonic() + 20
        while True:
            try:
                if fetch(http_port, "/api/status", basic)[0] == 200:
                    break
            except OSError:
                pass
            if time.monotonic() > deadline:
                raise RuntimeError("zendrilld does not answer on %d" % http_port)
            time.sleep(0.05)
        status, index = fetch(http_port, "/")
        files = sorted(set(re.findall(rb'(?:src|href)="/?([\w.-]+\.(?:js|css|svg|webmanifest|png))"', index)))

        def load():
            start = time.monotonic()
            codes = [fetch(http_port, "/", "Accept-Encoding: gzip\r\n")[0]]
            codes += [fetch(http_port, "/" + f.decode(), "Accept-Encoding: gzip\r\n")[0] for f in files]
            codes.append(fetch(http_port, "/api/status", basic)[0])
            return (time.monotonic() - start) * 1000, all(c == 200 for c in codes)

        quiet = [load()[0] for _ in range(args.runs)]
        crowd = HalfOpen(http_port, args.connections)
        if not crowd.placed.wait(120):
            raise RuntimeError("the half-open connections were not placed")
        loads = [load() for _ in range(args.runs)]
        crowd.stop = True
        crowd.thread.join()
        times = [t for t, _ in loads]
        failed = sum(1 for _, ok in loads if not ok)
        print("(h) the owner's page (%d requests: the page, its %d files, the status), %d runs each, ms min/median/max:"
              % (len(files) + 2, len(files), args.runs))
        print("    quiet                                   %6.1f / %6.1f / %6.1f"
              % (min(quiet), statistics.median(quiet), max(quiet)))
        print("    %d half-open connections from 2 addresses %6.1f / %6.1f / %6.1f   (goal <= 1000 ms); "
              "%d loads failed; %d connects by the crowd"
              % (args.connections, min(times), statistics.median(times), max(times), failed, crowd.opened))
    finally:
        daemon.terminate()
        print("zendrilld ended with %d" % daemon.wait(15))
        sim.terminate()
        sim.wait(5)


if __name__ == "__main__":
    main()
