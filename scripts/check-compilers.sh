#!/usr/bin/env bash
# Builds the program with today's compilers, Debian 13's GCC 14 and Clang 19, in the Debian 13
# root: the release preset (the project's warnings and hardening) with every warning an error, so
# that what newer compilers and headers warn about shows before a user's build meets it. Only the
# program: the tests run with the machine's compilers. Each build is in a throw-away copy of the
# root (scripts/debian13-root.sh run --scratch), the sources shown read-only, the tree in the copy,
# so that it goes with it (for a user, it belongs to the root's own ids there).
# Usage: scripts/check-compilers.sh   (after scripts/setup.sh test, which makes the root)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
fail() { echo "check-compilers: $*" >&2; exit 1; }

root=$(scripts/debian13-root.sh path)
[ -f "$root/.tavik-root-complete" ] ||
  fail "no Debian 13 root at $root: scripts/setup.sh test makes it"
tmp=$(mktemp -d /tmp/tavik-compilers-XXXXXX)
trap 'rm -rf "$tmp"' EXIT

for compilers in "gcc g++" "clang-19 clang++-19"; do
  read -r cc cxx <<<"$compilers"
  tree=/var/tmp/tavik-$cc log=$tmp/$cc.log start=$SECONDS
  # shellcheck disable=SC2016
  if ! scripts/debian13-root.sh run "$root" --scratch --ro "$src" -- \
    env CC="$cc" CXX="$cxx" bash -c '"$CXX" --version | head -n1
      cd "$1" && cmake --preset release -B "$2" -DCMAKE_C_FLAGS=-Werror -DCMAKE_CXX_FLAGS=-Werror &&
      cmake --build "$2" -j"$(nproc)"' bash "$src" "$tree" >"$log" 2>&1; then
    tail -n 40 "$log"
    fail "the program does not build with $(head -n1 "$log") in Debian 13 (-Werror; above)"
  fi
  echo "check-compilers: $(head -n1 "$log"): the program builds with -Werror in $((SECONDS - start)) s"
done
