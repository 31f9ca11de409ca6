#!/usr/bin/env bash
# Builds Tavik's packages into build/packages/: the .debs for amd64 and arm64 (dpkg-shlibdeps,
# dpkg-gencontrol, dpkg-deb), the Windows zip and the MSI (wixl from msitools). Only the programs
# are built, in trees of their own under build/package/, with the hardening of the release presets
# (the arm64 program cross-compiled by the arm64 preset, where the arm64 packages are installed).
# Two builds of one commit give the same bytes: every time stamp is the last commit's
# (SOURCE_DATE_EPOCH), no build path gets into a binary, and archive members are sorted, owned by
# root and given fixed permissions.
# Usage: scripts/package.sh   (in a git checkout; scripts/check-packages.sh checks the result)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
work=$root/build/package
out=$root/build/packages

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C.UTF-8
step() { printf '\n==== package: %s\n' "$*"; }

# A name-based GUID (the form of an RFC 4122 version 5 UUID, from SHA-1 of the name).
Guid() {
  local h
  h=$(printf '%s' "$1" | sha1sum)
  printf '%s-%s-5%s-%x%s-%s\n' "${h:0:8}" "${h:8:4}" "${h:13:3}" $(((0x${h:16:1} & 3) | 8)) \
    "${h:17:3}" "${h:20:12}" | tr a-f A-F
}

# Fixed permissions and times for everything under a staged tree; `executables` stay runnable.
Normalise() {
  local tree=$1
  shift
  find "$tree" -type d -exec chmod 0755 {} +
  find "$tree" -type f -exec chmod 0644 {} +
  for file in "$@"; do chmod 0755 "$tree/$file"; done
  find "$tree" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
}

# Configures and builds the program of a preset in its own tree, and installs it into `stage`.
BuildAndInstall() {
  local preset=$1 tree=$2 stage=$3 prefix=$4
  shift 4
  cmake --preset "$preset" -B "$tree" -DTAVIK_BENCH=OFF -DTAVIK_TESTS=OFF \
    -DTAVIK_REPRODUCIBLE=ON >/dev/null
  cmake --build "$tree" -j"$jobs" --target "$@"
  rm -rf "$stage"
  DESTDIR=$stage cmake --install "$tree" --prefix "$prefix" --strip >/dev/null
}

# Builds the Linux program of `preset` in `tree` and makes tavik_<version>_<arch>.deb of it.
# Everything but the program is the same for every architecture. `strip` is the binutils of the
# program's architecture.
DebPackage() {
  local preset=$1 arch=$2 tree=$3 deb=$4 strip=$5
  step "Linux program ($arch)"
  BuildAndInstall "$preset" "$tree" "$deb" /usr tavik tavik_icons
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/CMakeCache.txt")

  step "tavik_${version}_${arch}.deb"
  # As dh_strip does: no compiler version notes (.comment, .note) in the program.
  "$strip" --remove-section=.comment --remove-section=.note "$deb/usr/libexec/tavik/bin/tavik"
  gzip -9n "$deb/usr/share/man/man1/tavik.1"
  mkdir -p "$deb/usr/share/doc/tavik" "$deb/DEBIAN"
  cp packaging/debian/copyright "$deb/usr/share/doc/tavik/"
  gzip -9n <"$tree/packaging/debian/changelog" >"$deb/usr/share/doc/tavik/changelog.gz"
  # dpkg-shlibdeps and dpkg-gencontrol work in a folder that holds debian/control and the
  # changelog, for the package's architecture (the libraries of that architecture, its name).
  local meta=$tree/packaging
  cp packaging/debian/control "$meta/debian/control"
  (
    cd "$meta"
    rm -f debian/substvars
    export DEB_HOST_ARCH=$arch
    # Depends from the libraries the program really links, whichever window systems it has.
    dpkg-shlibdeps -Tdebian/substvars -e"$deb/usr/libexec/tavik/bin/tavik"
    dpkg-gencontrol -ptavik -P"$deb" -Tdebian/substvars -fdebian/files
  )
  (cd "$deb" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
  Normalise "$deb" usr/bin/tavik usr/libexec/tavik/bin/tavik
  mkdir -p "$out"
  dpkg-deb --root-owner-group -Zxz --build "$deb" "$out/tavik_${version}_${arch}.deb" >/dev/null
}

mkdir -p "$out"
rm -f "$out"/tavik[_-]*
DebPackage release amd64 "$work/linux" "$work/deb" strip
# The arm64 .deb where the arm64 packages are installed; where the machine's archives serve no
# arm64 it is left out, said so.
. scripts/arm64-answer.sh
Arm64Answer package || exit 1
if $arm64; then
  DebPackage arm64 arm64 "$work/linux-arm64" "$work/deb-arm64" aarch64-linux-gnu-strip
else
  step "tavik_${version}_arm64.deb: skipped: $arm64_reason"
fi

step "Windows program"
BuildAndInstall windows "$work/windows" "$work/zip" / tavik
win=$work/zip
Normalise "$win" bin/tavik.exe

step "tavik-${version}-windows-x86_64.zip"
# Sorted members, no directory entries, no extra fields (owners, extended times); the DOS times
# are the fixed ones above, read in UTC.
(cd "$win" && find . -type f | sed 's|^\./||' | sort |
  zip -X -D -q -@ "$out/tavik-${version}-windows-x86_64.zip")

step "tavik-${version}-x64.msi"
msi=$out/tavik-${version}-x64.msi
# The icon of the shortcut and of the installed-programs list, from the PNG sizes of the Linux tree.
icons=$work/linux/packaging/icons
icotool -c -o "$work/tavik.ico" "$icons"/{16x16,24x24,32x32,48x48}/org.tavik.Tavik.png \
  -r "$icons/256x256/org.tavik.Tavik.png"
# The product code changes with the version (so that the upgrade code's major upgrade applies);
# the package code changes with anything that goes in.
product_code=$(Guid "org.tavik.Tavik product $version")
package_code=$(Guid "$(cd "$win" && find . -type f | sort | xargs sha256sum; echo "$version"
  cat "$root/packaging/windows/tavik.wxs" "$work/tavik.ico" | sha256sum)")
# wixl stamps the current time into the summary information and a random revision (the package
# code): run it with the clock stopped at the commit's time (`-f` with an absolute time; plain
# `faketime TIME` only starts the clock there, so a run that crosses a second stamps another
# time) and write the package code in afterwards. It takes the files' paths relative to where
# it runs.
at=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')
(cd "$win" && faketime -f "$at" wixl -a x64 -D Version="$version" -D ProductCode="$product_code" \
  -D PackageCode="$package_code" -D SourceDir=. -D IconFile=../tavik.ico -o "$msi" \
  "$root/packaging/windows/tavik.wxs")
faketime -f "$at" msibuild "$msi" -s "Tavik $version" "The Tavik developers" "x64;1033" \
  "{$package_code}"
touch --date="@$SOURCE_DATE_EPOCH" "$out"/tavik[_-]*

step "done"
(cd "$out" && sha256sum tavik[_-]*)
