#!/usr/bin/env bash
# Installs what building and testing Zendrill needs on Debian (as root): the
# host's tools and libraries, and for the Raspberry Pi builds (arm64, armhf)
# Debian's cross compilers, qemu, and a root of Debian's arm libraries each.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
          g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xdotool
          imagemagick x11-utils python3 zip libcli11-dev nlohmann-json3-dev
          dpkg-dev groff-base mosquitto libmosquitto-dev libmicrohttpd-dev libsqlite3-dev sqlite3 faketime
          chromium chromium-l10n mosquitto-clients
          crossbuild-essential-arm64 crossbuild-essential-armhf qemu-user-static
          lintian diffoscope-minimal ccache)
# Node.js with npm for the browser tests, unless a Node.js with npm is there
# already (NodeSource's nodejs carries npm and conflicts with Debian's).
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
foreign_archs=(arm64 armhf)
# What the arm builds link and run with: the development packages, and the
# libraries they and the programs need at run time (with their own).
target_dev=(libmosquitto-dev libmicrohttpd-dev libsqlite3-dev)
target_runtime=(libmosquitto1 libmicrohttpd12 libsqlite3-0 libstdc++6)
cross_roots=${ZD_CROSS_ROOTS:-/opt/zendrill-cross}

export DEBIAN_FRONTEND=noninteractive
updated=0
update_lists() {
  [ $updated = 1 ] && return
  updated=1
  apt-get update -qq && return
  # A mirror that fails one architecture's index makes apt keep the old
  # lists of that whole suite; each architecture then gets what it can.
  echo "apt-get update failed; fetching each architecture's lists on its own"
  for arch in "${foreign_archs[@]}"; do
    apt-get update -qq -o APT::Get::List-Cleanup=0 -o APT::Architectures::="$(dpkg --print-architecture)" \
      -o APT::Architectures::="$arch" || echo "warning: some $arch lists are missing; older ones are used"
  done
}

added=0
for arch in "${foreign_archs[@]}"; do
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    dpkg --add-architecture "$arch"
    added=1
  fi
done
[ $added = 0 ] || update_lists

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  update_lists
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The arm libraries are unpacked into a root per architecture rather than
# installed beside the host's: installed, each would have to be the very
# version of its amd64 twin (Multi-Arch: same), which holds the host's own
# security updates back until the arm ones arrive, and fails outright when a
# mirror's arm index lags. Each root also keeps its packages' symbols and
# shlibs files in DEBIAN/, where dpkg-shlibdeps reads them for Depends.
# $cross_roots/<triplet>/packages lists what a root holds, name and version.
wanted_list() {  # ARCH: "name version" for every package of the root
  local arch=$1 closure
  closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
              --no-breaks --no-replaces --no-enhances "${target_runtime[@]/%/:$arch}" |
            grep -v '^ ' | sort -u)
  # One look-up for all: "name:arch:" starts each package's block.
  apt-cache policy $closure "${target_dev[@]/%/:$arch}" |
    awk '/^[^ ].*:$/ {name = $1; sub(/:.*/, "", name)} /^  Candidate:/ {print name, $2}' | sort -u
}
make_root() {  # ARCH
  local arch=$1 triplet root work wanted head
  triplet=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
  root=$cross_roots/$triplet
  head="# ${target_dev[*]} ${target_runtime[*]}"
  # apt's look-ups take seconds each: a root is looked at again only when
  # the package lists are newer than it or it was made for other packages.
  if [ -f "$root/packages" ] && [ "$(head -n1 "$root/packages")" = "$head" ] &&
     [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*Packages*' -newer "$root/packages" -print -quit)" ]; then
    return
  fi
  wanted=$(wanted_list "$arch")
  if grep -q ' (none)$' <<<"$wanted"; then
    update_lists
    wanted=$(wanted_list "$arch")
  fi
  wanted=$(printf '%s\n%s' "$head" "$wanted")
  if [ -f "$root/packages" ] && [ "$(cat "$root/packages")" = "$wanted" ]; then
    touch "$root/packages"
    return
  fi
  echo "Unpacking Debian's $arch libraries into $root"
  mkdir -p "$cross_roots"
  work=$(mktemp -d "$cross_roots/.$arch.XXXXXX")
  chmod 755 "$work"
  mkdir -p "$work/debs" "$work/root/DEBIAN"
  chown _apt "$work/debs" 2>/dev/null || true  # apt downloads as its own user
  (cd "$work/debs" && apt-get download -qq $(tail -n +2 <<<"$wanted" | awk -v a="$arch" '{print $1 ":" a "=" $2}'))
  for deb in "$work"/debs/*.deb; do
    dpkg-deb -x "$deb" "$work/root"
    rm -rf "$work/control" && dpkg-deb -e "$deb" "$work/control"
    for f in symbols shlibs; do
      [ -f "$work/control/$f" ] && cat "$work/control/$f" >>"$work/root/DEBIAN/$f"
    done
  done
  printf '%s\n' "$wanted" >"$work/root/packages"
  rm -rf "$root"
  mv "$work/root" "$root"
  rm -rf "$work"
}
for arch in "${foreign_archs[@]}"; do
  make_root "$arch"
done
