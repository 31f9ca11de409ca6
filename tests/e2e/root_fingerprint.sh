#!/usr/bin/env bash
# Records, or compares with the record, what a system's root holds: each file's path, mode,
# owner, size and modification time. The root is shared by every host of its system and must be
# left as it was made; a compare prints what changed.
# Usage: root_fingerprint.sh record|compare ROOT RECORD
set -euo pipefail
# Folders that the caller may not read (a user's root keeps its own ids' private ones) are listed
# without their content.
listing() {
  { find "$2" -xdev -printf '%P %m %U %G %s %T@\n' 2>/dev/null || true; } | LC_ALL=C sort
}
[ -f "${2:-}/.tavik-root-complete" ] || { echo "no made root at ${2:-}" >&2; exit 2; }
case $1 in
  record) listing "$@" >"$3" ;;
  compare)
    if ! diff <(cat "$3") <(listing "$@") >"$3.changes"; then
      echo "the root $2 changed:"
      head -n 40 "$3.changes"
      exit 1
    fi
    echo "the root $2 is as it was: $(wc -l <"$3") files"
    ;;
  *) echo "usage: $0 record|compare ROOT RECORD" >&2; exit 2 ;;
esac
