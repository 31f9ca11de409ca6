#!/usr/bin/env bash
# Builds the program with today's compilers, Debian 13's GCC 14 and Clang 19, in the Debian 13
# root: the release preset (the project's warnings and hardening) with every warning an error, so
# that what newer compilers and headers warn about shows before a user's build meets it. Only the
# program: the tests run with the machine's compilers. Each build is in a throw-away copy of the
# root (scripts/debian13-root.sh run --scratch), the sources shown read-only, each compiler's tree
# of its own in the copy, so that it goes with it; the compiler that built a tree is read back from
# it and printed.
# Usage: scripts/check-compilers.sh   (after scripts/setup.sh test, which makes the root)
set -euo pipefail
fail() { echo "check-compilers: $*" >&2; exit 1; }

# Runs a command where the compilers are: a throw-away copy of the Debian 13 root, the sources
# read-only.
InRoot() { "$src/scripts/debian13-root.sh" run "$root" --scratch --ro "$src" -- "$@"; }

# Builds the release preset of the sources `src` with each pair "CC CXX" given, each in its own
# tree under `trees` (its logs in `tmp`), with -Werror in the flags CMake compiles with; fails on the first that does
# not build, or whose tree was configured with another compiler than the one asked for.
CheckCompilers() {
  local compilers cc cxx tree log start built
  for compilers in "$@"; do
    read -r cc cxx <<<"$compilers"
    tree=${trees:-$tmp}/$cc log=$tmp/$cc.log start=$SECONDS
    # The compiler and version that CMake found for the tree, as it recorded them, are the log's
    # last line.
    # shellcheck disable=SC2016
    if ! InRoot env CC="$cc" CXX="$cxx" bash -c 'cd "$1" &&
      cmake --preset release -B "$2" -DCMAKE_C_FLAGS=-Werror -DCMAKE_CXX_FLAGS=-Werror &&
      cmake --build "$2" -j"$(nproc)" && sed -n "s/^set(CMAKE_CXX_COMPILER_\(ID\|VERSION\) \"\(.*\)\")$/\2/p" \
        "$2"/CMakeFiles/*/CMakeCXXCompiler.cmake | xargs' bash "$src" "$tree" >"$log" 2>&1; then
      tail -n 40 "$log"
      fail "the program does not build with $cxx in Debian 13 (-Werror; above)"
    fi
    built=$(tail -n 1 "$log")
    [[ $built == "$(CompilerId "$cxx") "* ]] ||
      fail "the tree for $cxx was built with ${built:-an unknown compiler}"
    echo "check-compilers: $built: the program builds with -Werror in $((SECONDS - start)) s"
  done
}
# The compiler id CMake gives a compiler driver of that name.
CompilerId() { case $1 in clang*) echo Clang ;; *) echo GNU ;; esac }

# Sourced (by the scripts' tests): the functions alone.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
src=$(cd "$(dirname "$0")/.." && pwd)
root=$("$src/scripts/debian13-root.sh" path)
[ -f "$root/.tavik-root-complete" ] ||
  fail "no Debian 13 root at $root: scripts/setup.sh test makes it"
tmp=$(mktemp -d /tmp/tavik-compilers-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
trees=/var/tmp
CheckCompilers "gcc g++" "clang-19 clang++-19"
