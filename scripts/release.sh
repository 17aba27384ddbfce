#!/usr/bin/env bash
# Builds a release from clean builds of its own into one folder: the Windows
# zip, zendrill-cli and zendrilld for amd64, arm64 and armhf, and SHA256SUMS.
# The same commit gives the same bytes in any folder.
#
#   scripts/release.sh [FOLDER]     FOLDER defaults to build/release
#   scripts/release.sh --check      also runs the armhf unit tests under qemu,
#                                   builds the release twice in two folders
#                                   and compares them byte for byte
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
check=0 out=build/release
for arg in "$@"; do
  case $arg in
    --check) check=1 ;;
    -*) echo "usage: scripts/release.sh [--check] [FOLDER]" >&2; exit 2 ;;
    *) out=$arg ;;
  esac
done
scripts/install-deps.sh

# Every time in the release is the commit's; no locale or zone of the
# build machine shows in it.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
jobs=2

build() {  # FOLDER: the release into FOLDER
  local dest=$1 arch work
  rm -rf "$dest"
  mkdir -p "$dest"
  dest=$(cd "$dest" && pwd)
  work=$dest/work

  cmake -S "$root" -B "$work/win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZD_WERROR=ON -DZD_TESTS=OFF >/dev/null
  cmake --build "$work/win" -j$jobs >/dev/null
  (cd "$work/win" && cpack -G ZIP >/dev/null)
  # The zip again with the commit's time on every entry, in name order.
  mkdir "$work/zip"
  (cd "$work/zip" && unzip -q "$work"/win/Zendrill-*-win64.zip &&
    find . -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} + &&
    find . -type f | LC_ALL=C sort | zip -q -X -D -@ "$dest/$(basename "$work"/win/Zendrill-*-win64.zip)")

  for arch in amd64 arm64 armhf; do
    local toolchain=()
    case $arch in
      arm64) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake") ;;
      armhf) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/arm-linux-gnueabihf.cmake") ;;
    esac
    cmake -S "$root" -B "$work/$arch" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release -DZD_WERROR=ON \
      -DZD_TESTS=OFF >/dev/null
    cmake --build "$work/$arch" -j$jobs >/dev/null
    (cd "$work/$arch" && cpack -G DEB >/dev/null)
    mv "$work/$arch"/zendrill-cli_*_"$arch".deb "$work/$arch"/zendrilld_*_"$arch".deb "$dest/"
    tests/packages/check_debs.sh "$dest" "$arch"
  done
  (cd "$dest" && sha256sum -- *.zip *.deb >SHA256SUMS)
  rm -rf "$work"
}

started=$SECONDS
build "$out"
echo "release in $out ($((SECONDS - started)) s):"
(cd "$out" && ls -l -- *.zip *.deb SHA256SUMS)
[ $check = 1 ] || exit 0

echo "=== armhf unit tests under qemu ==="
cmake -S . -B build/armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake \
  -DCMAKE_BUILD_TYPE=Release -DZD_WERROR=ON >/dev/null
cmake --build build/armhf -j$jobs --target unit_tests
ctest --test-dir build/armhf -L unit --output-on-failure -j$jobs

echo "=== the same release again, in another folder ==="
again=${out%/}-again
build "$again"
differ=0
for f in "$out"/*; do
  name=$(basename "$f")
  if ! cmp -s "$f" "$again/$name"; then
    differ=1
    echo "$name differs:"
    diffoscope --text - "$f" "$again/$name" | head -n 60 || true
  fi
done
[ "$(ls "$out")" = "$(ls "$again")" ] || { differ=1; echo "the folders hold different files"; }
[ $differ = 0 ] || exit 1
rm -rf "$again"
echo "both builds gave the same bytes"
