#!/usr/bin/env bash
# A longer fuzzing campaign: scripts/fuzz-campaign.sh [SECONDS-PER-TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DZD_FUZZ=ON -DZD_TESTS=OFF >/dev/null
cmake --build build/fuzz -j2 --target fuzz_preferences fuzz_replace_key_lines fuzz_timer_record fuzz_status
for f in fuzz_preferences fuzz_replace_key_lines fuzz_timer_record fuzz_status; do
  mkdir -p build/fuzz/corpus/$f
  ./build/fuzz/fuzz/$f -max_total_time="$seconds" -print_final_stats=1 build/fuzz/corpus/$f
done
