#!/usr/bin/env bash
# Usage: run_win_cli.sh ZENDRILL_CLI_EXE B203SIM
# zendrill-cli.exe under Wine against the simulator on COM1 (and a silent
# one on COM2): status, timers export to a file and to stdout, the failure
# paths, targets and files that are no regular file, stdin. Checks exit
# status, bytes and texts.
set -euo pipefail
exe=$1
sim=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
for f in "$exe" "$sim"; do
  [ -e "$f" ] || { echo "win_cli: $f not found (build the native tree first)" >&2; exit 1; }
done
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
# shellcheck source=sim_lib.sh
source "$root/tests/integration_win/sim_lib.sh"

start_sim 1 --date 150407 --time 183045 --settings 1200 --ir 1 \
  --timer 2=W01010100050010063000071500 --timer 4=D2403260121000200000213000
start_sim 2 --silent
point_ports_at_sims

failures=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    echo "ok   $1"
  else
    echo "FAIL $1"
    diff <(printf '%s' "$2" | od -c) <(printf '%s' "$3" | od -c) | head -20 || true
    failures=$((failures + 1))
  fi
}
# Runs the exe in $work; sets rc, out (stdout bytes in $work/out) and err.
cli() {
  rc=0
  (cd "$work" && wine "$exe" "$@" >"$work/out" 2>"$work/err") || rc=$?
  err=$(cat "$work/err")
}
crlf() { printf '%s' "$1" | sed 's/$/\r/'; }

cli --port COM1 status
check "status: exit 0" 0 "$rc"
expected=$(printf '%s\n' "B203 Gerätestatus:" "" "" "Datum        : 15.04.2007" "" "ZEIT" "" \
  "Dialogsprache: Deutsch" "" "Easy-Funktion: aus" "" "Timer        : ein" "" \
  "Einschaltbed.: Lautsprecher A" "" "IR-Empfänger : aus")
actual=$(sed 's/^Zeit         : 18:3.:.. Uhr\r$/ZEIT\r/' "$work/out")
check "status: the report in UTF-8, CR LF" "$(crlf "$expected")" "$actual"
check "status: nothing on stderr" "" "$err"

cli --port COM1 timers export b203.ini
check "export: exit 0" 0 "$rc"
backup=$(tail -n +2 "$work/b203.ini")
check "export: the file" "$(crlf "$(printf '%s\n' "B203Modus = 1200" "Timer1 = " \
  "Timer2 = W01010100050010063000071500" "Timer3 = " "Timer4 = D2403260121000200000213000" "Timer5 = ")")" \
  "$backup"
check "export: first line" "; B203 Sicherung vom " "$(head -c 21 "$work/b203.ini")"

cli --port Com1: timers export
check "export to stdout: exit 0" 0 "$rc"
check "export to stdout: same bytes as the file" "$(tail -n +2 "$work/b203.ini" | od -c)" \
  "$(tail -n +2 "$work/out" | od -c)"

cp "$work/b203.ini" "$work/keep.ini"
cli --port COM2 timers export b203.ini
check "silent device: exit 1" 1 "$rc"
check "silent device: message" "$(crlf "Abfrage Gerätestatus fehlgeschlagen (0)
Keine Sicherung geschrieben")" "$err"
check "silent device: backup untouched" "$(od -c "$work/keep.ini")" "$(od -c "$work/b203.ini")"

cli --port COM1 ir on
check "ir: confirmed by the read-back, exit 0" 0 "$rc"
check "ir: confirmation" "$(crlf "IR ein gesendet (0R0)")" "$(cat "$work/out")"
cli --port COM2 ir off
check "silent device: ir not confirmed, exit 1" 1 "$rc"
check "silent device: ir message" \
  "$(crlf "IR aus gesendet (0R1), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)")" "$err"
# Targets that are no regular file are refused before the device is asked;
# the file errors end with 4.
mkdir "$work/sub"
for target in NUL COM2 sub; do
  cli --port COM1 timers export "$target"
  check "export to $target: exit 4" 4 "$rc"
done
check "export to a folder: message" "$(crlf "Die Datei sub kann nicht geschrieben werden: ein Verzeichnis, keine Datei; nichts gesendet")" "$err"
cli --port COM1 timers export 'missing\b.ini'
check "export into a missing folder: message" \
  "$(crlf 'Die Datei missing\b.ini kann nicht geschrieben werden: der Ordner ist nicht vorhanden; nichts gesendet')" "$err"
check "export: no temporary file left" "" "$(cd "$work" && ls | grep -i '\.tmp$' || true)"
head -c 70000 /dev/zero | tr '\0' ';' >"$work/big.ini"
cli --port COM1 timers import big.ini
check "import of 70000 bytes: exit 4" 4 "$rc"
check "import of 70000 bytes: message" \
  "$(crlf "Die Datei big.ini ist nicht lesbar: zu groß: 70000 Bytes, höchstens 65536; nichts gesendet")" "$err"
cli --port COM1 timers import sub
check "import of a folder: message" \
  "$(crlf "Die Datei sub ist nicht lesbar: ein Verzeichnis, keine Datei; nichts gesendet")" "$err"
printf 'Timer5 = \r\n' >"$work/in.ini"
rc=0
(cd "$work" && wine "$exe" --port COM1 timers import - --dry-run <in.ini >"$work/out" 2>"$work/err") || rc=$?
check "import from stdin: exit 0" 0 "$rc"
check "import from stdin: the command" "$(crlf 0E05E)" "$(cat "$work/out")"
cli --wait 0x10 status
check "usage error: exit 2" 2 "$rc"
check "usage error: message with its umlauts" "$(crlf "--wait erwartet ganze Sekunden von 0 bis 3600, nicht \"0x10\"
Hilfe: zendrill-cli --help")" "$err"

cli --port COM7 status
check "missing port: exit 3" 3 "$rc"
cli status
check "no port named: exit 2" 2 "$rc"

[ "$failures" -eq 0 ] || { echo "win_cli: $failures check(s) failed"; exit 1; }
