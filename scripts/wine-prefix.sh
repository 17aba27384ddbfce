#!/usr/bin/env bash
# Usage: scripts/wine-prefix.sh PREFIX [COM1-TARGET]
# Creates a private Wine prefix once and points its COM1 at COM1-TARGET.
set -euo pipefail
prefix=$1
com1=${2:-}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
# Wine draws the window frames itself: without a window manager (Xvfb) the
# captions are otherwise missing from screenshots.
if ! grep -q '"Decorated"="N"' "$prefix/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w || true
fi
if [ -n "$com1" ]; then
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$com1" /f >/dev/null 2>&1
  rm -f "$prefix/dosdevices/com1"
  wineserver -w || true
fi
