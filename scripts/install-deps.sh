#!/usr/bin/env bash
# Installs what building and testing Zendrill needs on Debian (as root).
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
          g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xdotool
          imagemagick x11-utils python3 zip libcli11-dev nlohmann-json3-dev
          dpkg-dev groff-base mosquitto libmosquitto-dev faketime libmicrohttpd-dev
          chromium chromium-l10n mosquitto-clients)
# Node.js with npm for the browser tests, unless a Node.js with npm is there
# already (NodeSource's nodejs carries npm and conflicts with Debian's).
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
