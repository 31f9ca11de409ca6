#!/usr/bin/env bash
# shellcheck disable=SC2016  # the programs of `bash -c` take their arguments as $1: single quotes
# Checks the packages as a distribution and a Windows user would take them:
#  - reproducible: scripts/package.sh in two clean clones of the current commit, in different
#    folders, one after the other and under another umask, gives the same bytes
#  - the .debs (amd64 and arm64): lintian without errors or warnings, hardening-check, the
#    AppStream metadata, the layout (bin/../res/grass.bmp resolves), the desktop entry, Depends
#    against the libraries the program names, and (amd64) the launcher; the amd64 one installed
#    with apt on Debian 13 and started there to its picture (arm64: skipped, said so, where the
#    machine's archives serve no arm64)
#  - the zip: what it holds; the MSI: its tables and summary information, then under Wine from a
#    fresh prefix: installed, run from its bin folder, uninstalled without a trace
# Usage: scripts/check-packages.sh         build twice, compare, copy into build/packages, check
#        scripts/check-packages.sh DIR     check the packages already in DIR
set -euo pipefail

# True when a picture of the viewer shows the grass-textured box: hundreds of colours, where a
# window that GL failed to draw into, or a box without its texture, has a handful. Sets `colours`.
TexturedBox() {
  colours=$(identify -format %k "$1") && [ "$colours" -ge 100 ]
}
# Makes under the folder $2 every folder that the .deb $1 holds.
# NOTE: a user's throw-away copy of the Debian 13 root is an overlay mounted in a user namespace of
# theirs, where the kernel renames no directory (EXDEV), as dpkg does with each new one it unpacks;
# made beforehand, they are kept as they are instead.
MakeFoldersOf() {
  dpkg-deb -c "$1" | awk '$1 ~ /^d/ { print $6 }' | (cd "$2" && xargs mkdir -p)
}
# Sourced (by the scripts' tests): the functions above alone.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
cd "$(dirname "$0")/.."
root=$PWD
fail() { echo "check-packages: $*" >&2; exit 1; }
say() { echo "check-packages: $*"; }
# objdump and msiinfo print times in the local zone.
export TZ=UTC
tmp=$(mktemp -d /tmp/tavik-packages-XXXXXX)
trap 'rm -rf "$tmp"' EXIT

commit=$(git rev-parse HEAD)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH

# Builds the packages of `commit` in a fresh clone at `dir`; prints how long it took.
BuildInClone() {
  local dir=$1 mask=$2 start=$SECONDS
  git clone -q --no-checkout "$root" "$dir"
  git -C "$dir" checkout -q --detach "$commit"
  (umask "$mask" && "$dir/scripts/package.sh" >"$dir.log" 2>&1) || {
    tail -n 40 "$dir.log"
    fail "scripts/package.sh failed in $dir"
  }
  say "built in $dir (umask $mask) in $((SECONDS - start)) s"
}

if [ $# -eq 0 ]; then
  [ -z "$(git status --porcelain --untracked-files=no)" ] ||
    say "NOTE: uncommitted changes are not in the packages; they are built from $commit"
  first=$tmp/first/tavik
  second=$tmp/second-build-in-a-deeper-folder/src/tavik
  mkdir -p "$(dirname "$first")" "$(dirname "$second")"
  BuildInClone "$first" 022
  BuildInClone "$second" 007
  for package in "$first"/build/packages/*; do
    name=$(basename "$package")
    if ! cmp "$package" "$second/build/packages/$name"; then
      mkdir -p build/packages-differing/first build/packages-differing/second
      cp "$package" build/packages-differing/first/
      cp "$second/build/packages/$name" build/packages-differing/second/
      fail "$name differs between two builds of $commit: both are in build/packages-differing/"
    fi
    say "$name: the same bytes in both builds ($(sha256sum <"$package" | cut -c1-16)…)"
  done
  [ "$(ls "$first/build/packages")" = "$(ls "$second/build/packages")" ] ||
    fail "the two builds made different packages"
  mkdir -p build/packages
  rm -f build/packages/tavik[_-]*
  cp -p "$first"/build/packages/* build/packages/
  dir=build/packages
else
  dir=$1
fi

version=$(sed -n 's/^project(tavik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=$dir/tavik-$version-windows-x86_64.zip
deb=$dir/tavik_${version}_amd64.deb
deb_arm64=$dir/tavik_${version}_arm64.deb
msi=$dir/tavik-$version-x64.msi
# The arm64 .deb is made and checked where the arm64 packages are installed, and skipped, said so,
# where the machine's archives serve no arm64.
. scripts/arm64-answer.sh
Arm64Answer check-packages || exit 1
$arm64 || say "arm64: skipped: $arm64_reason"
for package in "$zip" "$deb" "$msi"; do
  [ -f "$package" ] || fail "no $(basename "$package") in $dir (version $version)"
done
! $arm64 || [ -f "$deb_arm64" ] || fail "no $(basename "$deb_arm64") in $dir (version $version)"

# --- the Windows zip
files=$(unzip -Z1 "$zip" | tr '\n' ' ')
[ "$files" = "LICENSE.txt bin/tavik.exe res/grass.bmp " ] || fail "$zip holds: $files"
unzip -q "$zip" bin/tavik.exe -d "$tmp/zip"
stamp=$(x86_64-w64-mingw32-objdump -p "$tmp/zip/bin/tavik.exe" |
  sed -n 's/^Time\/Date[[:space:]]*//p')
[ "$(date -u -d "$stamp" +%s)" = "$SOURCE_DATE_EPOCH" ] ||
  fail "tavik.exe is stamped $stamp, not with the last commit's time"
say "$(basename "$zip"): $files; tavik.exe stamped with the commit's time"

# --- the .debs
# Checks the .deb of one architecture: layout, version, Depends against the libraries the program
# names, lintian, hardening-check, the AppStream metadata and the desktop entry. Unpacked into
# $tmp/deb-ARCH.
CheckDeb() {
  local deb=$1 arch=$2
  local pkg=$tmp/deb-$arch
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$deb is not for $arch"
  dpkg-deb -x "$deb" "$pkg"
  for file in usr/bin/tavik usr/libexec/tavik/bin/tavik usr/share/tavik/grass.bmp \
    usr/share/man/man1/tavik.1.gz usr/share/doc/tavik/copyright usr/share/doc/tavik/changelog.gz \
    usr/share/icons/hicolor/scalable/apps/org.tavik.Tavik.svg \
    usr/share/icons/hicolor/48x48/apps/org.tavik.Tavik.png; do
    [ -f "$pkg/$file" ] || fail "$deb lacks /$file"
  done
  local bmp
  bmp=$(readlink -f "$pkg/usr/libexec/tavik/bin/../res/grass.bmp")
  [ "$bmp" = "$pkg/usr/share/tavik/grass.bmp" ] ||
    fail "/usr/libexec/tavik/bin/../res/grass.bmp does not lead to /usr/share/tavik/grass.bmp"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the .deb's version is not $version"
  local title
  title=$(zcat "$pkg/usr/share/man/man1/tavik.1.gz" | sed -n '/^\.TH /p')
  [[ $title == ".TH TAVIK 1 "*"\"Tavik $version\""* ]] || fail "the manual page is not of $version"
  say "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
  # Every library the program names, the ones it loads with dlopen as well as the linked ones,
  # comes from a package that the .deb depends on: no dependency scan sees a dlopen. The
  # libraries are looked up among the installed packages of the .deb's architecture.
  local depends sonames multiarch soname owners owner found
  depends=" $(dpkg-deb -f "$deb" Depends | tr ',|' '  ') "
  # NOTE: read from the raw bytes, not from `strings`, which glues a name to printable bytes
  # before it.
  sonames=$(grep -aoP '(?<![\w.+-])lib[\w.+-]*\.so\.\d+(?=\x00)' "$pkg/usr/libexec/tavik/bin/tavik" |
    sort -u)
  [ -n "$sonames" ] || fail "no library names found in the program"
  # The scan must see the libraries the program loads with dlopen, which the sources name.
  for soname in $(grep -rhoE '"lib[A-Za-z0-9_.+-]*\.so\.[0-9]+"' src | tr -d '"' | sort -u); do
    grep -qx "$soname" <<<"$sonames" || fail "the scan of the program misses $soname, which it loads"
  done
  multiarch=$(dpkg-architecture -A "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
  for soname in $sonames; do
    owners=$(dpkg -S "*/$multiarch/$soname" 2>/dev/null | sed 's/:.*//' | sort -u)
    [ -n "$owners" ] || fail "no installed $arch package holds $soname, which the program loads"
    found=""
    for owner in $owners; do
      [[ $depends == *" $owner "* ]] && found=$owner
    done
    [ -n "$found" ] || fail "the .deb depends on none of ${owners//$'\n'/ }, which hold $soname"
  done
  say "$(basename "$deb"): depends on the packages of all $(wc -w <<<"$sonames") libraries it names"

  echo "---- lintian ($arch)"
  lintian --fail-on error,warning --info "$deb" || fail "lintian reports errors or warnings"
  echo "---- hardening-check ($arch)"
  # Control-flow protection is compiled in (endbr64 on amd64, pointer authentication on arm64),
  # but Debian 12's C start-up files carry no IBT/SHSTK or BTI property, so the linked program
  # cannot claim it. Stack-clash protection shows only in functions with large frames;
  # hardening-check reports it as unknown and does not fail on it.
  hardening-check --nocfprotection "$pkg/usr/libexec/tavik/bin/tavik" ||
    fail "hardening-check failed"
  if [ "$arch" = arm64 ]; then
    # hardening-check cannot disassemble arm64: the return addresses signed on entry
    # (paciasp) show -mbranch-protection.
    local signed
    signed=$(aarch64-linux-gnu-objdump -d "$pkg/usr/libexec/tavik/bin/tavik" | grep -c paciasp || true)
    [ "$signed" -gt 0 ] || fail "the arm64 program signs no return address (-mbranch-protection)"
    say "$(basename "$deb"): $signed functions sign their return address (paciasp)"
  fi
  echo "---- appstreamcli ($arch)"
  appstreamcli validate --no-net --pedantic "$pkg/usr/share/metainfo/org.tavik.Tavik.metainfo.xml" ||
    fail "appstreamcli rejects the metadata"
  grep -q "<release version=\"$version\"" "$pkg/usr/share/metainfo/org.tavik.Tavik.metainfo.xml" ||
    fail "the metadata's release is not $version"

  local desktop=$pkg/usr/share/applications/org.tavik.Tavik.desktop
  desktop-file-validate "$desktop" || fail "invalid desktop entry"
  grep -qx 'Exec=/usr/libexec/tavik/bin/tavik' "$desktop" || fail "desktop entry starts another program"
  grep -qx 'Path=/usr/libexec/tavik/bin' "$desktop" || fail "desktop entry starts it elsewhere than in bin/"
  grep -qx 'Icon=org.tavik.Tavik' "$desktop" || fail "desktop entry does not use the icon"
  say "$(basename "$deb"): layout, desktop entry, metadata and manual page as expected"
}
CheckDeb "$deb" amd64
! $arm64 || CheckDeb "$deb_arm64" arm64
# A machine set up with `setup.sh run` runs the program as the .deb would: everything the .deb
# depends on or recommends is in what that set installs. The test set holds the run set.
run_set=$(scripts/setup.sh --list run | sort)
missing=$(comm -23 <(echo "$run_set") <(scripts/setup.sh --list test | sort) | tr '\n' ' ')
[ -z "$missing" ] || fail "setup.sh test leaves out $missing of setup.sh run"
installed=$(xargs apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
  --no-breaks --no-replaces --no-enhances <<<"$run_set" |
  sed -n 's/^<\{0,1\}\([^ >:]*\).*/\1/p' | sort -u)
for wanted in $(dpkg-deb -f "$deb" Depends Recommends | sed 's/^[A-Za-z-]*: //; s/([^)]*)//g; s/:any//g' |
  tr '\n' ',' | tr -d ' ' | tr ',' ' '); do
  grep -qxFf <(tr '|' '\n' <<<"$wanted") <<<"$installed" ||
    fail "setup.sh run installs none of ${wanted//|/ or }, which the .deb depends on or recommends"
done
say "setup.sh run installs what the .deb depends on and recommends; setup.sh test holds it"
# The arm64 set holds what the arm64 build asks pkg-config for (the modules its tree's cache names):
# each module's .pc file belongs to a package of the set, or to one those depend on.
if $arm64; then
  arm64_cache=${first:-$root}/build/package/linux-arm64/CMakeCache.txt
  [ -f "$arm64_cache" ] || arm64_cache=$root/build/arm64/CMakeCache.txt
  [ -f "$arm64_cache" ] || fail "no arm64 tree whose pkg-config modules the arm64 set must cover"
  arm64_installed=$(scripts/setup.sh --list test | grep ':arm64$' |
    xargs apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
      --no-replaces --no-enhances | sed -n 's/^<\{0,1\}\([^ >:]*\).*/\1/p' | sort -u)
  while read -r module; do
    pc=$(PKG_CONFIG_LIBDIR=/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig \
      pkg-config --variable=pcfiledir "$module")/$module.pc
    owner=$(dpkg -S "$pc" | cut -d: -f1)
    grep -qx "$owner" <<<"$arm64_installed" ||
      fail "setup.sh test installs no $owner:arm64, whose $module the arm64 build asks pkg-config for"
  done < <(sed -n 's/^.*_MODULE_NAME:INTERNAL=\(..*\)$/\1/p' "$arm64_cache" | sort -u)
  say "setup.sh test installs what the arm64 build asks pkg-config for"
fi
# The native program's tree is the one the launcher check runs.
pkg=$tmp/deb-amd64

# The launcher, started from elsewhere, must run the program with bin/ as its working directory.
check_launcher() {
  (cd / && exec "$pkg/usr/bin/tavik") 2>/dev/null &
  local pid=$! exe="" cwd=""
  for _ in $(seq 100); do
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null || true)
    cwd=$(readlink "/proc/$pid/cwd" 2>/dev/null || true)
    [ "$exe" = "$pkg/usr/libexec/tavik/bin/tavik" ] && break
    sleep 0.05
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ "$exe" = "$pkg/usr/libexec/tavik/bin/tavik" ] || fail "the launcher did not start the program"
  [ "$cwd" = "$pkg/usr/libexec/tavik/bin" ] || fail "the launcher started the program in '$cwd'"
}
export pkg
export -f check_launcher fail
scripts/with-xvfb.sh bash -c check_launcher
say "the launcher starts the program in its bin/"

# --- the amd64 .deb on Debian 13
# Installed with apt into a throw-away copy of the Debian 13 root (scripts/debian13-root.sh run
# --scratch: the root is left as it was), so that its Depends are resolved against that release's
# packages, and started once as `tavik` (the launcher on the PATH) on an Xvfb of that release, to
# its picture.
# The root has every run-time library already and no package lists: apt downloads nothing, and a
# dependency that Debian 13 lacks (by that name or at that version) fails the install. Everything
# started there ends with the root's process namespace.
InstallOnDebian13() {
  local deb=$1 out=$2 before start
  before=$(dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' | sort)
  start=$EPOCHREALTIME
  MakeFoldersOf "$deb" /
  DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" >"$out/apt.log" 2>&1 || {
    cat "$out/apt.log"
    fail "Debian 13: apt cannot install $(basename "$deb") (its output above)"
  }
  echo "check-packages: Debian 13: apt installed" \
    "$(comm -13 <(echo "$before") <(dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' | sort) |
      paste -sd, | sed 's/,/, /g')" \
    "in $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s"
  "$tavik_scripts/with-xvfb.sh" bash -c 'ShowsItsPicture "$1"' bash "$out"
}
# The installed tavik on the display given, to a frame with the grass-textured box.
ShowsItsPicture() {
  local out=$1 id="" colours=0 viewer
  (cd / && exec tavik) 2>"$out/tavik.log" &
  viewer=$!
  for _ in $(seq 200); do
    kill -0 "$viewer" 2>/dev/null ||
      { cat "$out/tavik.log"; fail "Debian 13: tavik ended before it drew"; }
    id=$(xwininfo -name Tavik 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\) .*/\1/p')
    if [ -n "$id" ] && import -window "$id" "$out/tavik.png" 2>/dev/null &&
      TexturedBox "$out/tavik.png"; then
      break
    fi
    sleep 0.1
  done
  [ -n "$id" ] || { cat "$out/tavik.log"; fail "Debian 13: no window captioned Tavik in 20 s"; }
  TexturedBox "$out/tavik.png" || fail "Debian 13: the window shows no grass-textured box ($colours colours)"
  kill -0 "$viewer" 2>/dev/null || fail "Debian 13: tavik ended after its first picture"
  kill "$viewer"
  echo "check-packages: Debian 13: tavik runs: window \"Tavik\" $(identify -format '%w x %h' \
    "$out/tavik.png"), the grass-textured box drawn ($colours colours), ended"
}
debian13=$(scripts/debian13-root.sh path)
[ -f "$debian13/.tavik-root-complete" ] ||
  fail "no Debian 13 root at $debian13, where the .deb is installed: scripts/setup.sh test makes it"
# Written from the copy by its root, which for a user is one of the root's own ids.
mkdir -m 0777 "$tmp/debian13"
export tavik_scripts=$root/scripts
export -f InstallOnDebian13 ShowsItsPicture TexturedBox MakeFoldersOf fail
scripts/debian13-root.sh run "$debian13" --scratch --ro "$(realpath "$dir")" --ro "$tavik_scripts" -- \
  bash -c 'InstallOnDebian13 "$@"' bash "$(realpath "$deb")" "$tmp/debian13" ||
  fail "the amd64 .deb does not install or run on Debian 13"

# --- the MSI
# True when the MSI's `table` has a row whose first columns are the remaining arguments.
HasRow() {
  local table=$1
  shift
  msiinfo export "$msi" "$table" | tail -n +4 | tr -d '\r' |
    awk -v row="$(printf '%s\t' "$@")" 'index($0 "\t", row) == 1 { found = 1 } END { exit !found }'
}
HasRow Property ALLUSERS 1 || fail "the MSI does not install per machine"
HasRow Property ProductVersion "$version" || fail "the MSI's version is not $version"
HasRow Property UpgradeCode '{6C1E5A0E-3F47-4B1C-9D0A-2B7E8F4C5D31}' || fail "the upgrade code changed"
[[ $(msiinfo export "$msi" Upgrade) == *WIX_UPGRADE_DETECTED* ]] || fail "it upgrades no older version"
if ! { HasRow Directory INSTALLDIR ProgramFiles64Folder Tavik && HasRow Directory BINDIR INSTALLDIR bin &&
  HasRow Directory RESDIR INSTALLDIR res; }; then
  fail "not into Program Files\\Tavik\\bin and \\res"
fi
HasRow Shortcut StartMenuShortcut ProgramMenuFolder Tavik Program '[#TavikExe]' '' \
  'A grass-textured box turning over three axes' '' tavik.ico '' '' BINDIR ||
  fail "no Start-menu shortcut to tavik.exe that starts it in bin"
created=$(msiinfo suminfo "$msi" | sed -n 's/^Created: //p')
[ "$(date -u -d "$created" +%s)" = "$SOURCE_DATE_EPOCH" ] ||
  fail "the MSI's summary information says it was created $created"
say "$(basename "$msi"): per machine, version $version, fixed upgrade code, shortcut in bin"

echo "---- the MSI under Wine"
cmake --preset wine -DTAVIK_WINDOWS_MSI="$(realpath "$msi")" >/dev/null
cmake --build --preset wine --target wine_msi_tests -j"$(nproc)" >/dev/null
ctest --test-dir build/wine -L package --no-tests=error --output-on-failure
say "all package checks passed"
