#!/usr/bin/env bash
# Checks the packages that CPack built: the Windows zip holds bin/tavik.exe and res/grass.bmp and
# nothing else; the .deb lays the program out the same way under /usr/lib/tavik, its desktop
# entry is valid and points at that bin/, and its launcher on the PATH starts the program in it.
# Usage: scripts/check-packages.sh [PACKAGE_DIR]   (default build/packages)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/packages}
fail() { echo "check-packages: $*" >&2; exit 1; }

# The first file that matches, or nothing (a pipe from ls would end the script under pipefail).
first() { for file in "$@"; do if [ -e "$file" ]; then echo "$file"; return; fi; done; }
zip=$(first "$dir"/tavik-*-windows-x86_64.zip)
deb=$(first "$dir"/tavik_*_amd64.deb)
[ -n "$zip" ] || fail "no Windows zip in $dir"
[ -n "$deb" ] || fail "no .deb in $dir"

files=$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')
[ "$files" = "bin/tavik.exe res/grass.bmp " ] || fail "$zip holds: $files"
echo "check-packages: $(basename "$zip"): $files"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for file in usr/bin/tavik usr/lib/tavik/bin/tavik usr/lib/tavik/res/grass.bmp \
  usr/share/applications/tavik.desktop; do
  [ -f "$root/$file" ] || fail "$deb lacks /$file"
done
desktop=$root/usr/share/applications/tavik.desktop
desktop-file-validate "$desktop" || fail "invalid desktop entry"
grep -qx 'Exec=/usr/lib/tavik/bin/tavik' "$desktop" || fail "desktop entry does not start /usr/lib/tavik/bin/tavik"
grep -qx 'Path=/usr/lib/tavik/bin' "$desktop" || fail "desktop entry does not start it in /usr/lib/tavik/bin"
echo "check-packages: $(basename "$deb"): layout and desktop entry as expected"

# The launcher, started from elsewhere, must run the program with bin/ as its working directory.
check_launcher() {
  (cd / && exec "$root/usr/bin/tavik") 2>/dev/null &
  local pid=$! exe="" cwd=""
  for _ in $(seq 100); do
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null || true)
    cwd=$(readlink "/proc/$pid/cwd" 2>/dev/null || true)
    [ "$exe" = "$root/usr/lib/tavik/bin/tavik" ] && break
    sleep 0.05
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ "$exe" = "$root/usr/lib/tavik/bin/tavik" ] || fail "the launcher did not start the program"
  [ "$cwd" = "$root/usr/lib/tavik/bin" ] || fail "the launcher started the program in '$cwd'"
}
export root
export -f check_launcher fail
scripts/with-xvfb.sh bash -c check_launcher
echo "check-packages: the launcher starts the program in its bin/"
