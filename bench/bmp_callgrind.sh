#!/usr/bin/env bash
# Counts the instructions of one LoadBMP call (the -O2 and the -O3 build of the reader) and one
# stbi_load call on a 256 x 256 24-bit file with valgrind's callgrind (timers are too coarse for a
# file this small) and prints their ratios.
# Each reader runs once uncounted first, so both are counted in the same warm state.
# Usage: bench/bmp_callgrind.sh [BMP_BENCH]   (default: build/bench/bench/image/bmp_bench)
set -euo pipefail

bench=${1:-$(dirname "$0")/../build/bench/bench/image/bmp_bench}
[ -x "$bench" ] || {
  echo "bmp_callgrind: no $bench; build it: cmake --preset bench && cmake --build --preset bench --target bmp_bench" >&2
  exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-256 "$work/256.bmp"

count() {
  valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$work/$1.out" \
    "$bench" --once "$1" "$work/256.bmp" 2>"$work/$1.log" ||
    { cat "$work/$1.log" >&2; exit 1; }
  sed -n 's/^summary: *//p' "$work/$1.out"
}

o2=$(count loadbmp-o2)
o3=$(count loadbmp-o3)
stb=$(count stb)
echo "256 x 256, 24 bits, instructions of one call (callgrind)"
printf '  %-20s %12d\n' "LoadBMP, -O2 build" "$o2" "LoadBMP, -O3 build" "$o3" stbi_load "$stb"
awk -v o2="$o2" -v o3="$o3" -v b="$stb" 'BEGIN {
  r2 = b / o2; r3 = b / o3
  printf "  stbi_load / LoadBMP instructions  -O2: %.1fx  -O3: %.1fx\n", r2, r3
  printf "  target: at least 10x fewer instructions than stbi_load: %s\n", (r2 >= 10 && r3 >= 10 ? "met" : "MISSED")
}'
