#!/usr/bin/env bash
# Usage: scripts/e2e-repeat.sh N
# Runs the end-to-end stage N times in a row (after the native and Windows
# builds), one line per run, then the failed tests by name with their count.
# A failed run's log and artefacts are kept in build/e2e-repeat/run-K/.
set -uo pipefail
cd "$(dirname "$0")/.."
n=${1:?usage: scripts/e2e-repeat.sh N}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
out=build/e2e-repeat
rm -rf "$out" && mkdir -p "$out"
: >"$out/failed.txt"
green=0
for k in $(seq 1 "$n"); do
  start=$SECONDS
  python3 tests/e2e/run_e2e.py --win-build build/win --sim build/native/sim/b203sim \
    --artifacts build/e2e-artifacts --prefix build/e2e-wineprefix >"$out/run.log" 2>&1
  rc=$?
  # Test lines: name, seconds, then ok, FAILED or ERROR.
  failed=$(awk '$1 ~ /^test_/ && $3 != "ok" {print $1}' "$out/run.log")
  summary=$(grep '^e2e:' "$out/run.log" | tail -n 1)
  if [ "$rc" -eq 0 ]; then
    green=$((green + 1))
    printf 'run %d/%d: ok     %4ds  %s\n' "$k" "$n" $((SECONDS - start)) "$summary"
  else
    mkdir -p "$out/run-$k"
    cp "$out/run.log" "$out/run-$k/"
    cp -r build/e2e-artifacts "$out/run-$k/artifacts"
    printf 'run %d/%d: FAILED %4ds  %s  [%s]\n' "$k" "$n" $((SECONDS - start)) "${summary:-exit status $rc}" \
      "$(echo $failed)"
    [ -n "$failed" ] && printf '%s\n' $failed >>"$out/failed.txt"
  fi
done
rm -f "$out/run.log"
echo "green: $green of $n runs"
if [ -s "$out/failed.txt" ]; then
  echo "failed tests (count, name):"
  sort "$out/failed.txt" | uniq -c | sort -rn
fi
[ "$green" -eq "$n" ]
