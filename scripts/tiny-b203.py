#!/usr/bin/env python3
"""A minimal stand-in for the B203 on a pseudo-terminal, for trying the
Windows build by hand: answers the status query "0X\\r" with one status
record and ignores everything else. Usage: tiny-b203.py LINK [RECORD]"""
import os
import sys
import tty

link = sys.argv[1]
record = (sys.argv[2] if len(sys.argv) > 2 else "0X:15040718304512000").encode("cp1252")
master, slave = os.openpty()
tty.setraw(slave)  # kept open so the line survives the program closing it
path = os.ttyname(slave)
if os.path.lexists(link):
    os.remove(link)
os.symlink(path, link)
print(f"{link} -> {path}", flush=True)
line = b""
while True:
    try:
        data = os.read(master, 256)
    except OSError:
        break
    for b in data:
        if b == 0x0D:
            sys.stderr.write(f"got {line!r}\n")
            if line == b"0X":
                os.write(master, record + b"\r\n")
            line = b""
        else:
            line += bytes([b])
