#!/usr/bin/env bash
# A fuzzing campaign: scripts/fuzz-campaign.sh [SECONDS-PER-TARGET]
# Every target runs from its seeds (fuzz/corpus/<target>) and the corpus grown
# by earlier campaigns (build/fuzz/corpus/<target>), with its dictionary and
# options. Ends with one table; exits non-zero on any finding and keeps the
# reproducers in build/fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
mapfile -t targets < <(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DZD_FUZZ=ON -DZD_TESTS=OFF -DZD_WERROR=ON >/dev/null
cmake --build build/fuzz -j2 --target fuzz_targets

logs=build/fuzz/logs
mkdir -p "$logs"
rows=()
failed=0
for t in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$t
  findings=build/fuzz/findings/$t
  mkdir -p "$corpus" "$findings"
  stamp=$(mktemp)
  opts=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -artifact_prefix="$findings/")
  [ -f "fuzz/$t.dict" ] && opts+=(-dict="fuzz/$t.dict")
  if [ -f "fuzz/$t.options" ]; then
    read -ra extra <"fuzz/$t.options"
    opts+=("${extra[@]}")
  fi
  echo "--- $t: ${seconds} s"
  rc=0
  "./build/fuzz/fuzz/$t" "${opts[@]}" "$corpus" "fuzz/corpus/$t" >"$logs/$t.log" 2>&1 || rc=$?

  log=$logs/$t.log
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  corp=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -n 1 | cut -d' ' -f2)
  found=$(find "$findings" -type f -newer "$stamp" \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l)
  rm -f "$stamp"
  if [ "$found" -gt 0 ] || [ "$rc" -ne 0 ]; then
    failed=1
    [ "$found" -gt 0 ] || found="exit $rc"
    echo "    finding, see $log and $findings/"
  fi
  rows+=("$(printf '%-24s %12s %10s %9s %14s %9s' "$t" "${execs:--}" "${rate:--}" "${cov:--}" "${corp:--}" "$found")")
done

echo
printf '%-24s %12s %10s %9s %14s %9s\n' target executions exec/s coverage corpus findings
printf '%s\n' "${rows[@]}"
exit "$failed"
