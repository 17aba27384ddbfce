#!/usr/bin/env bash
# Builds everything and runs every test: native, under the sanitizers, the
# fuzz targets briefly, the Windows build under Wine, and end to end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh

jobs=2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$root/build/wineprefix

step() { printf '\n=== %s ===\n' "$*"; }

step "native build and tests"
cmake -S . -B build/native -G Ninja -DZD_WERROR=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j$jobs
ctest --test-dir build/native --output-on-failure -LE e2e -j$jobs

step "man pages and Debian packages"
for page in dist/zendrill-cli.1 dist/b203sim.1 dist/zendrilld.8; do
  warnings=$(LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done
(cd build/native && rm -f zendrill-cli_*.deb zendrilld_*.deb && cpack -G DEB >/dev/null &&
  for deb in zendrill-cli_*.deb zendrilld_*.deb; do dpkg-deb -I "$deb" && dpkg-deb -c "$deb" || exit 1; done |
  tee contents.txt)
for f in usr/share/doc/zendrill-cli/copyright usr/share/doc/zendrill-cli/changelog.gz \
         usr/share/man/man1/zendrill-cli.1.gz usr/share/man/man1/b203sim.1.gz \
         usr/sbin/zendrilld usr/share/man/man8/zendrilld.8.gz etc/zendrill/zendrilld.ini \
         lib/systemd/system/zendrilld.service usr/share/doc/zendrilld/copyright; do
  grep -q " \./$f\$" build/native/contents.txt || { echo "package lacks /$f"; exit 1; }
done

step "unit and program tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# The program tests fail on any sanitizer report in a child's output.
cmake -S . -B build/asan -G Ninja -DZD_WERROR=ON -DZD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/asan -j$jobs --target unit_tests daemon_program_tests cli_program_tests http_program_tests
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir build/asan -L unit --output-on-failure
ctest --test-dir build/asan -R '^(daemon|cli|http)_program_tests$' --output-on-failure -j$jobs
unset ASAN_OPTIONS UBSAN_OPTIONS

step "the daemon's tests under ThreadSanitizer"
cmake -S . -B build/tsan -G Ninja -DZD_WERROR=ON -DZD_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/tsan -j$jobs --target daemon_tests daemon_program_tests http_program_tests
TSAN_OPTIONS=second_deadlock_stack=1 ctest --test-dir build/tsan -R '^(daemon_tests|daemon_program_tests|http_program_tests)$' \
  --output-on-failure -j$jobs

step "fuzz targets, short runs"
# A fixed number of runs from the seeds; what they add goes to a scratch
# directory, never into fuzz/corpus.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DZD_FUZZ=ON -DZD_TESTS=OFF -DZD_WERROR=ON >/dev/null
cmake --build build/fuzz -j$jobs --target fuzz_targets
for f in $(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//'); do
  scratch=build/fuzz/short/$f
  rm -rf "$scratch" && mkdir -p "$scratch"
  opts=(-runs=30000 -seed=1 -dict=fuzz/$f.dict -artifact_prefix="$scratch/")
  [ -f fuzz/$f.options ] && read -ra extra <fuzz/$f.options && opts+=("${extra[@]}")
  if ! ./build/fuzz/fuzz/$f "${opts[@]}" "$scratch" fuzz/corpus/$f >"$scratch.log" 2>&1; then
    tail -n 40 "$scratch.log"
    exit 1
  fi
  printf '%-24s %s\n' "$f" "$(grep -E '^#[0-9]+[[:space:]]+DONE' "$scratch.log")"
done

step "Windows build, tests under Wine"
scripts/wine-prefix.sh "$WINEPREFIX"
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DZD_WERROR=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j$jobs
ctest --test-dir build/win --output-on-failure -j$jobs
(cd build/win && cpack >/dev/null && unzip -l Zendrill-*-win64.zip)

step "end to end: Zendrill.exe under Wine against the simulator"
ctest --test-dir build/native --output-on-failure -L e2e
