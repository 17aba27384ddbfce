#!/usr/bin/env bash
# Checks the two Debian packages of one architecture as dpkg and Debian see
# them: names, control fields, files with their modes, the conffile, the
# programs' machine, and lintian without errors.
# Usage: tests/packages/check_debs.sh FOLDER ARCH
set -euo pipefail
dir=$1 arch=$2
version=1.0.0
maintainer="Zendrill developers <zendrill@users.noreply.github.com>"
fail() { echo "check_debs ($arch): $*" >&2; exit 1; }

declare -A machine=([amd64]=3e [arm64]=b7 [armhf]=28)  # ELF e_machine, low byte
[ -n "${machine[$arch]:-}" ] || fail "unknown architecture"

# package: the files it must hold, "mode path"
declare -A files
files[zendrill-cli]="-rwxr-xr-x usr/bin/zendrill-cli
-rwxr-xr-x usr/bin/b203sim
-rw-r--r-- usr/share/man/man1/zendrill-cli.1.gz
-rw-r--r-- usr/share/man/man1/b203sim.1.gz
-rw-r--r-- usr/share/doc/zendrill-cli/copyright
-rw-r--r-- usr/share/doc/zendrill-cli/changelog.gz
-rw-r--r-- usr/share/doc/zendrill-cli/examples/crontab.example
-rw-r--r-- usr/share/doc/zendrill-cli/examples/systemd/zendrill-clock-sync.timer"
files[zendrilld]="-rwxr-xr-x usr/sbin/zendrilld
-rw-r--r-- lib/systemd/system/zendrilld.service
-rw-r--r-- etc/zendrill/zendrilld.ini
-rw-r--r-- usr/share/man/man8/zendrilld.8.gz
-rw-r--r-- usr/share/doc/zendrilld/copyright
-rw-r--r-- usr/share/doc/zendrilld/changelog.gz"
declare -A needs=([zendrill-cli]="libc6 libstdc++6" [zendrilld]="libc6 libstdc++6 libmosquitto1 libmicrohttpd12 libsqlite3-0")
declare -A programs=([zendrill-cli]="usr/bin/zendrill-cli usr/bin/b203sim" [zendrilld]="usr/sbin/zendrilld")

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for pkg in zendrill-cli zendrilld; do
  deb=$dir/${pkg}_${version}_${arch}.deb
  [ -f "$deb" ] || fail "$deb is missing"
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = "$pkg" ] || fail "$deb: Package $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "$pkg: Version $(field Version)"
  [ "$(field Architecture)" = "$arch" ] || fail "$pkg: Architecture $(field Architecture)"
  [ "$(field Maintainer)" = "$maintainer" ] || fail "$pkg: Maintainer $(field Maintainer)"
  # Depends as dpkg-shlibdeps writes it: the libraries' packages with the
  # versions their symbols need, never a cross compiler's own package.
  depends=$(field Depends)
  for lib in ${needs[$pkg]}; do
    grep -Eq "(^|, )${lib//+/\\+} \(>= [^)]+\)(,|$)" <<<"$depends" || fail "$pkg: Depends lacks $lib: $depends"
  done
  ! grep -q -- '-cross' <<<"$depends" || fail "$pkg: Depends names a cross package: $depends"

  listing=$(dpkg-deb -c "$deb" | awk '{print $1, $2, $6}')
  while read -r mode path; do
    grep -qx -- "$mode root/root ./$path" <<<"$listing" || fail "$pkg: no $mode ./$path"
  done <<<"${files[$pkg]}"
  dpkg-deb -x "$deb" "$tmp/$pkg"
  for program in ${programs[$pkg]}; do
    got=$(od -An -tx1 -j18 -N1 "$tmp/$pkg/$program" | tr -d ' ')
    [ "$got" = "${machine[$arch]}" ] || fail "$pkg: $program is for machine 0x$got"
  done
done

conffiles=$(dpkg-deb -I "$dir/zendrilld_${version}_${arch}.deb" conffiles)
[ "$conffiles" = "/etc/zendrill/zendrilld.ini" ] || fail "zendrilld: conffiles: $conffiles"
grep -qx 'ExecStart=/usr/sbin/zendrilld' "$tmp/zendrilld/lib/systemd/system/zendrilld.service" ||
  fail "zendrilld.service does not start /usr/sbin/zendrilld"

lintian --fail-on error \
  "$dir/zendrill-cli_${version}_${arch}.deb" "$dir/zendrilld_${version}_${arch}.deb" ||
  fail "lintian found errors"
echo "check_debs ($arch): both packages as expected"
