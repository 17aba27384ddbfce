#!/usr/bin/env bash
# Runs Zendrill.exe under Wine against the B203 simulator with a demo state.
# With $DISPLAY the window shows on that display and the demo ends when you
# close the tool; without it everything runs under Xvfb, a screenshot of the
# status report is saved and its path printed. Everything started is stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$root/build/demo-wineprefix
demo=$root/build/demo
mkdir -p "$demo"

echo "Building the simulator and Zendrill.exe ..."
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j2 --target b203sim >/dev/null
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j2 --target Zendrill zdrive >/dev/null
exe=$root/build/win/gui/Zendrill.exe
drive=$root/build/win/tests/e2e/zdrive.exe

pids=()
xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  # Xvfb picks a free display and names it on fd 3 once it takes connections.
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/zd-displayfd.XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  n=
  read -r -t 20 n <"$fifo" || true
  rm -f "$fifo"
  [ -n "$n" ] || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$n
fi

# The demo device: clock from the host, three timers, a B225 at address 3.
rm -f "$demo/com1"
build/native/sim/b203sim --link "$demo/com1" --log "$demo/sim.log" \
  --settings 1200 --ir 0 \
  --timer 1=W01111100050010063000071500 \
  --timer 2=D2412260071100190000230000 \
  --timer 3=W10000011050011100000120000 \
  --device 3=05 >"$demo/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do [ -e "$demo/com1" ] && break; sleep 0.1; done
[ -e "$demo/com1" ] || { echo "the simulator did not start:" >&2; cat "$demo/sim.out" >&2; exit 1; }

# A private prefix whose COM1 is the simulator's pty.
scripts/wine-prefix.sh "$WINEPREFIX" "$demo/com1"
if [ $headless = 1 ]; then
  # One virtual desktop, so the screenshot shows the window's caption.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
else
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 || true
fi
wineserver -w || true

if [ ! -f "$demo/Zendrill.ini" ]; then
  printf 'Comport = Com1:\r\nWinXPos = 100\r\nWinYPos = 80\r\nB203Modus = 1200\r\nStation5 = Klassik Radio\r\nStation7 = Jazz\r\n' \
    >"$demo/Zendrill.ini"
fi

echo "Starting Zendrill.exe in $demo ..."
(cd "$demo" && exec wine "$exe") >"$demo/tool.out" 2>&1 &
tool_pid=$!
pids+=($tool_pid)

shot=$demo/screenshot-main.png
if wine "$drive" "wait 30000" 'waitcontains 1 20000 "IR-Empf\xE4nger"' >"$demo/drive.out" 2>&1; then
  import -window root "$shot"
  echo "Status report shown; screenshot: $shot"
else
  echo "The main window did not show the status report in time (see $demo/drive.out)." >&2
  [ $headless = 1 ] && exit 1
fi

if [ $headless = 0 ]; then
  echo "Zendrill runs on $DISPLAY; close it (\"Ende\" or the close box) to end the demo."
  wait "$tool_pid" || true
fi
echo "Traffic log: $demo/sim.log"
