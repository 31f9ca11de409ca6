#!/usr/bin/env bash
# Counts the instructions of one LoadBMP and one stbi_load call on a 256 x 256 24-bit file with
# valgrind's callgrind (timers are too coarse for a file this small) and prints their ratio.
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

loadbmp=$(count loadbmp)
stb=$(count stb)
echo "256 x 256, 24 bits, instructions of one call (callgrind)"
printf '  %-10s %12d\n' LoadBMP "$loadbmp" stbi_load "$stb"
awk -v a="$loadbmp" -v b="$stb" 'BEGIN {
  r = b / a
  printf "  stbi_load / LoadBMP instructions  %.1fx\n", r
  printf "  target: at least 10x fewer instructions than stbi_load: %s\n", (r >= 10 ? "met" : "MISSED")
}'
