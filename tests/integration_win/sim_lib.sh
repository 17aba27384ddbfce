# Shared by the Wine test scripts: simulators in a work folder, started and
# stopped again whatever happens. Source it with $sim set to b203sim.
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d "${TMPDIR:-/tmp}/zd-winser.XXXXXX")
pids=()

stop_sim() {
  local dir=$1 pid=$2
  kill -0 "$pid" 2>/dev/null || return 0
  timeout 2 bash -c 'echo quit > "$1"' _ "$dir/ctl" 2>/dev/null || true
  for _ in $(seq 1 20); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  local rc=$?
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  local i
  for i in "${!pids[@]}"; do
    stop_sim "$work/sim$((i + 1))" "${pids[$i]}"
  done
  if [ "$rc" -ne 0 ]; then
    for f in "$work"/sim*/log.txt; do
      [ -f "$f" ] || continue
      echo "--- $f (last lines)"
      tail -n 40 "$f"
    done
  fi
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Starts one simulator in $work/simN; its pty link is $work/simN/com.
start_sim() {
  local n=$1
  shift
  local dir=$work/sim$n
  mkdir -p "$dir"
  "$sim" --link "$dir/com" --control "$dir/ctl" --log "$dir/log.txt" --dump "$dir/dump.txt" \
    "$@" >"$dir/stdout.txt" 2>"$dir/stderr.txt" &
  pids+=($!)
  for _ in $(seq 1 50); do
    [ -e "$dir/com" ] && return 0
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  echo "simulator $n did not start:" >&2
  cat "$dir/stderr.txt" >&2
  return 1
}

# Points the prefix's COM1, COM2 (and COM3) at the simulators started.
point_ports_at_sims() {
  "$root/scripts/wine-prefix.sh" "$WINEPREFIX" "$work/sim1/com"
  local n
  for n in 2 3; do
    [ -e "$work/sim$n/com" ] || continue
    wine reg add 'HKLM\Software\Wine\Ports' /v COM$n /t REG_SZ /d "$work/sim$n/com" /f >/dev/null 2>&1
    rm -f "$WINEPREFIX/dosdevices/com$n"
  done
  wineserver -w || true
  # One server for every Wine run that follows, ready when this returns: a
  # run never meets a server that is just ending after the last one.
  wineserver -p
}
