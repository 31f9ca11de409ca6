#!/usr/bin/env bash
# Fetches and unpacks the source of one Debian source package into a work directory, through an
# apt configuration of its own: deb-src twins of the archives and suites that the machine's apt
# already uses, with private list, state and cache directories. The machine's apt configuration
# and state are only read, never written; no root rights are needed.
# Usage: fetch-debian-source.sh PACKAGE WORKDIR
# Prints the unpacked source directory on standard output.
set -euo pipefail
package=$1
work=$(mkdir -p "$2" && cd "$2" && pwd)
apt_dir=$work/apt
mkdir -p "$apt_dir/etc/sources.list.d" "$apt_dir/state/lists/partial" \
  "$apt_dir/cache/archives/partial" "$work/source"

# Where the machine keeps its sources, in both formats apt reads (one-line and deb822).
eval "$(apt-config shell system_list Dir::Etc::SourceList/f system_parts Dir::Etc::SourceParts/d)"
: >"$apt_dir/etc/sources.list"
for list in "$system_list" "$system_parts"*.list; do
  [ -f "$list" ] || continue
  sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$list" >>"$apt_dir/etc/sources.list"
done
rm -f "$apt_dir/etc/sources.list.d/"*.sources
for sources in "$system_parts"*.sources; do
  [ -f "$sources" ] || continue
  sed 's/^Types:.*/Types: deb-src/' "$sources" >"$apt_dir/etc/sources.list.d/$(basename "$sources")"
done

options=(
  -o Dir::Etc::SourceList="$apt_dir/etc/sources.list"
  -o Dir::Etc::SourceParts="$apt_dir/etc/sources.list.d"
  -o Dir::State="$apt_dir/state"
  -o Dir::State::Lists="$apt_dir/state/lists"
  -o Dir::Cache="$apt_dir/cache"
)
# NOTE: as root apt downloads as the user _apt, which may not enter a build tree under a private
# home directory; the files land in the caller's own tree, so download as the caller.
[ "$(id -u)" -ne 0 ] || options+=(-o APT::Sandbox::User=root)

apt-get "${options[@]}" -q update >&2
cd "$work/source"
apt-get "${options[@]}" -q source "$package" >&2

for dir in "$work/source/$package"-*/; do
  [ -d "$dir" ] && { echo "${dir%/}"; exit 0; }
done
echo "fetch-debian-source: $package was downloaded but no source directory was unpacked" >&2
exit 1
