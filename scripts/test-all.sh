#!/usr/bin/env bash
# Builds everything and runs every test: native, under the sanitizers, the
# fuzz targets briefly, the Raspberry Pi builds under qemu, the Windows build
# under Wine, and end to end; the web page in a headless browser after the
# native tests. The armhf unit tests and the check that a release builds to
# the same bytes twice are in scripts/release.sh --check.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh

jobs=2
# Program tests mostly wait for the simulator's 1200 baud: more of them run
# side by side than there are cores.
test_jobs=4
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$root/build/wineprefix

# Each stage's wall time, when the next begins and at the end.
stage_start=$SECONDS stage_name=
step() {
  [ -z "$stage_name" ] || printf '(%s: %d s)\n' "$stage_name" $((SECONDS - stage_start))
  stage_start=$SECONDS stage_name=$*
  printf '\n=== %s ===\n' "$*"
}
trap '[ -z "$stage_name" ] || printf "(%s: %d s)\n" "$stage_name" $((SECONDS - stage_start))' EXIT
# The builds beside the native one compile each library as one unit: the
# same code in far less compiler time. The native build keeps its files
# apart, so a missing include still shows.
unity=-DCMAKE_UNITY_BUILD=ON
# Six builds of the same sources: a compiler cache kept between runs in the
# same place compiles only what changed. Every build directory is configured
# afresh, so CMake takes the launcher from here.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR=$root
fi

step "native build and tests"
cmake -S . -B build/native -G Ninja -DZD_WERROR=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j$jobs
ctest --test-dir build/native --output-on-failure -LE 'e2e|browser' -j$test_jobs

step "browser: zendrilld's page in chromium against the daemon and the simulator"
# The setup test installs playwright-core with npm ci into the build tree.
ctest --test-dir build/native --output-on-failure -L browser --no-tests=error

step "man pages and Debian packages"
for page in dist/zendrill-cli.1 dist/b203sim.1 dist/zendrilld.8; do
  warnings=$(LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done
(cd build/native && rm -f zendrill-cli_*.deb zendrilld_*.deb && cpack -G DEB >/dev/null)
tests/packages/check_debs.sh build/native amd64

step "unit and program tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# The program tests fail on any sanitizer report in a child's output.
cmake -S . -B build/asan -G Ninja -DZD_WERROR=ON -DZD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $unity >/dev/null
cmake --build build/asan -j$jobs --target unit_tests daemon_program_tests cli_program_tests http_program_tests
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir build/asan -L unit --output-on-failure
ctest --test-dir build/asan -L program --output-on-failure -j$test_jobs
unset ASAN_OPTIONS UBSAN_OPTIONS

step "the daemon's tests under ThreadSanitizer"
cmake -S . -B build/tsan -G Ninja -DZD_WERROR=ON -DZD_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug $unity >/dev/null
cmake --build build/tsan -j$jobs --target daemon_tests daemon_program_tests http_program_tests
TSAN_OPTIONS=second_deadlock_stack=1 ctest --test-dir build/tsan -R '^(daemon_tests|(daemon|http)_program_tests_[0-9]+)$' \
  --output-on-failure -j$test_jobs

step "fuzz targets, short runs"
# A fixed number of runs from the seeds; what they add goes to a scratch
# directory, never into fuzz/corpus.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DZD_FUZZ=ON -DZD_TESTS=OFF -DZD_WERROR=ON $unity >/dev/null
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

# The Pi builds: what the packages hold and the tests need, no more.
pi_build() {  # ARCH TOOLCHAIN TARGET...
  local arch=$1 toolchain=$2
  shift 2
  cmake -S . -B build/$arch -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/$toolchain.cmake -DZD_WERROR=ON $unity \
    -DCMAKE_BUILD_TYPE=Release -DZD_SMOKE_PROGRAM="$root/build/native/tests/integration/smoke_tests" >/dev/null
  cmake --build build/$arch -j$jobs --target zendrill-cli b203sim zendrilld zendrill_docs "$@"
}
pi_packages() {  # ARCH
  (cd build/$1 && rm -f zendrill-cli_*.deb zendrilld_*.deb && cpack -G DEB >/dev/null)
  tests/packages/check_debs.sh build/$1 "$1"
}

step "arm64: build, unit tests and smoke test under qemu, packages"
pi_build arm64 aarch64-linux-gnu unit_tests
ctest --test-dir build/arm64 -L 'unit|smoke' --output-on-failure -j$jobs
pi_packages arm64

step "armhf: build, smoke test under qemu, packages"
pi_build armhf arm-linux-gnueabihf
ctest --test-dir build/armhf -L smoke --output-on-failure
pi_packages armhf

step "Windows build, tests under Wine"
scripts/wine-prefix.sh "$WINEPREFIX"
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DZD_WERROR=ON -DCMAKE_BUILD_TYPE=Release $unity >/dev/null
cmake --build build/win -j$jobs
ctest --test-dir build/win --output-on-failure -j$jobs
(cd build/win && cpack >/dev/null && unzip -l Zendrill-*-win64.zip)

step "end to end: Zendrill.exe under Wine against the simulator"
ctest --test-dir build/native --output-on-failure -L e2e
