#!/usr/bin/env bash
# Usage: run_win_serial.sh WIN_SERIAL_TESTS_EXE B203SIM [gtest arguments]
# Starts three simulators (COM1: the normal device, COM2: one that refuses
# timer writes, COM3: one that sends XOFF before every reply), points the Wine prefix's ports at their ptys, runs the test
# program under Wine and stops everything it started.
set -euo pipefail
exe=$1
sim=$2
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)

if [ ! -x "$sim" ]; then
  echo "win_serial_link: simulator not found at $sim" >&2
  echo "win_serial_link: build the native tree first (cmake --build build/native)," >&2
  echo "win_serial_link: or configure this build with -DZD_NATIVE_BUILD_DIR=<native build dir>" >&2
  exit 1
fi
if [ ! -f "$exe" ]; then
  echo "win_serial_link: test program not found at $exe" >&2
  exit 1
fi

export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
# shellcheck source=sim_lib.sh
source "$root/tests/integration_win/sim_lib.sh"

# The values the test program expects.
start_sim 1 --date 150407 --time 183045 --settings 1000 --ir 0 \
  --timer 3=W01010101050011063000071500
start_sim 2 --date 150407 --time 183045 --refuse-writes
start_sim 3 --date 150407 --time 183045 --stray '\x13'

point_ports_at_sims

# In the background, so a stop signal reaches the trap at once.
wine "$exe" "$@" &
wait $!
