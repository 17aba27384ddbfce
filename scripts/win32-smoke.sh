#!/usr/bin/env bash
# Usage: scripts/win32-smoke.sh [ZENDRILL_EXE] [OUT_DIR]
# Runs the real Zendrill.exe under Wine (on a private Xvfb when DISPLAY is
# unset) against scripts/tiny-b203.py on COM1 and checks: the main window at
# the configured place with the status report, green and red captions
# (screenshot in OUT_DIR), "Ende" writing Zendrill.ini with 54 lines; the
# note for a missing Zendrill.ini and for a port that does not exist.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "${1:-$root/build/win/platform/win32/Zendrill.exe}")
out=$(mkdir -p "${2:-$root/build/win32-smoke}" && realpath "${2:-$root/build/win32-smoke}")
prefix=${ZD_WINEPREFIX:-$root/build/wineprefix-smoke}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ]; then
  # Xvfb picks a free display and names it on fd 3 once it takes connections.
  mkfifo "$work/displayfd"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/displayfd" >/dev/null 2>&1 &
  pids+=($!)
  read -r -t 20 n <"$work/displayfd" || fail "Xvfb did not start"
  export DISPLAY=:$n
fi

python3 "$root/scripts/tiny-b203.py" "$work/com1" >"$work/device.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -L "$work/com1" ] && break; sleep 0.1; done
"$root/scripts/wine-prefix.sh" "$prefix" "$work/com1"
export WINEPREFIX=$prefix

# Window id of the first mapped X window titled exactly $1, waiting up to 15 s.
find_window() {
  for _ in $(seq 150); do
    local w
    w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
# Waits up to 10 s for process $1 to end.
wait_gone() {
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  return 1
}
# True when the area $2 of image $1 holds a pixel of colour $3 ("r,g,b"), or
# with antialiased thin strokes a pixel clearly tinted towards it.
has_colour() {
  convert "$1" -crop "$2" +repage -format %c histogram:info:- |
    sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p' |
    awk -v want="$3" 'BEGIN { split(want, w, ",") }
      { d = 0; for (i = 1; i <= 3; i++) d += ($i - w[i]) ^ 2
        if (d == 0) found = 1
        # tint: the strongest channel of the wanted colour leads clearly
        if (w[2] > w[1] && w[2] > w[3] && $2 - $1 > 40 && $2 - $3 > 40) found = 1
        if (w[1] > w[2] && w[1] > w[3] && $1 - $2 > 40 && $1 - $3 > 40) found = 1 }
      END { exit !found }'
}
# Screenshots into $1 until its area $2 holds colour $3, for up to 15 s.
wait_colour() {
  for _ in $(seq 150); do
    import -window root "$1"
    has_colour "$1" "$2" "$3" && return 0
    sleep 0.1
  done
  return 1
}

run_dir=$work/run
mkdir -p "$run_dir"
cp "$exe" "$run_dir/Zendrill.exe"
cd "$run_dir"

echo "--- main window, status report, Ende"
printf 'Comport = Com1:\r\nWinXPos = 40\r\nWinYPos = 30\r\n' >Zendrill.ini
wine Zendrill.exe >/dev/null 2>&1 &
app=$!
pids+=($app)
win=$(find_window Zendrill) || fail "no main window"
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$X,$Y" = "40,30" ] || fail "window at $X,$Y instead of 40,30"
border=$(((WIDTH - 530) / 2))
cx=$((X + border))
cy=$((Y + HEIGHT - 475 - border))
# The status report in the pane shows that the start-up query is done.
wait_colour "$out/main-window.png" "486x340+$((cx + 30))+$((cy + 20))" "16,144,16" || fail "pane text not green"
has_colour "$out/main-window.png" "60x20+$((cx + 230))+$((cy + 440))" "255,16,16" || fail "Ende caption not red"
has_colour "$out/main-window.png" "40x20+$((cx + 480))+$((cy + 440))" "16,144,16" || fail "** caption not green"
grep -q "got b'0X'" "$work/device.log" || fail "no status query on COM1"
xdotool mousemove $((cx + 260)) $((cy + 450)) click 1
wait_gone "$app" || fail "Ende did not end the program"
[ "$(grep -c '' Zendrill.ini)" = 54 ] || fail "Zendrill.ini has $(grep -c '' Zendrill.ini) lines"
grep -q '^WinXPos = 40' Zendrill.ini || fail "window position not saved"

# A start that ends after a note: the note is shown, its OK ends the program.
expect_note() {
  wine Zendrill.exe >/dev/null 2>&1 &
  app=$!
  pids+=($app)
  local box
  box=$(find_window 'Hinweis:') || fail "no note for $1"
  import -window root "$out/$1.png"
  eval "$(xdotool getwindowgeometry --shell "$box")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 22)) click 1
  wait_gone "$app" || fail "program did not end after the note for $1"
}
echo "--- without Zendrill.ini"
rm -f Zendrill.ini
expect_note missing-ini
echo "--- port that does not exist"
printf 'Comport = Com9:\r\n' >Zendrill.ini
expect_note no-port
[ "$(grep -c '' Zendrill.ini)" = 1 ] || fail "Zendrill.ini rewritten after a failed start"
echo "win32 smoke test passed; screenshots in $out"
