#!/usr/bin/env bash
# The Windows program: cross-compiles it with MinGW-w64 (GLEW from the source of Debian's glew
# package when none is installed), lists what it imports, runs its tests (imports and resources
# read back from the executable; whole-program runs under Wine, each on a private Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

step() { printf '\n==== %s\n' "$*"; }

scripts/setup.sh test

step "Windows build (MinGW-w64, x86-64)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"

step "DLLs that tavik.exe imports"
x86_64-w64-mingw32-objdump -p build/windows/bin/tavik.exe | sed -n 's/^[[:space:]]*DLL Name: /  /p'

step "tests of the Windows program (executable; under Wine on Xvfb)"
cmake --preset wine >/dev/null
cmake --build --preset wine -j"$jobs"
ctest --preset wine
