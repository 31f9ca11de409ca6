#!/usr/bin/env bash
# The BMP reader's extra checks: its tests once under valgrind's memcheck (no invalid access,
# no uninitialised value used, no leak), and a bounded libFuzzer run that fails on any finding.
# Usage: scripts/test-image.sh [SOURCE_DIR [BUILD_DIR [FUZZ_BUILD_DIR]]]
#   SOURCE_DIR      the source tree (default: this script's tree)
#   BUILD_DIR       a configured build with tests (default: SOURCE_DIR/build/default)
#   FUZZ_BUILD_DIR  where the "fuzz" preset builds (default: SOURCE_DIR/build/fuzz)
# TAVIK_FUZZ_SECONDS sets the fuzzing time (default 60).
set -euo pipefail

source_dir=$(cd "${1:-$(dirname "$0")/..}" && pwd)
build_dir=${2:-$source_dir/build/default}
fuzz_dir=${3:-$source_dir/build/fuzz}
fuzz_seconds=${TAVIK_FUZZ_SECONDS:-60}

run() { printf '+ %s\n' "$*"; "$@"; }

printf '\n-- BMP reader tests under valgrind memcheck\n'
run cmake --build "$build_dir" --target bmp_reader_tests -j2
# NOTE: the allocation tests replace operator new[] to watch the reader's allocations; memcheck
# would intercept those replacements too, unless told to leave the program's own alone.
run valgrind --tool=memcheck --error-exitcode=99 --track-origins=yes \
    --soname-synonyms=somalloc=nouserintercepts \
    --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
    --quiet "$build_dir/tests/image/bmp_reader_tests" --gtest_brief=1

printf '\n-- BMP reader fuzzing for %s seconds\n' "$fuzz_seconds"
(cd "$source_dir" && run cmake --preset fuzz -B "$fuzz_dir" >/dev/null)
run cmake --build "$fuzz_dir" --target bmp_fuzzer bmp_fuzz_seeds -j2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/seeds" "$fuzz_dir/findings"
run "$fuzz_dir/fuzz/bmp_fuzz_seeds" "$work/seeds"
# Inputs of the default length (4 KiB) need at most 12 KiB of pixels: any larger allocation is a
# finding. A finding is saved in FUZZ_BUILD_DIR/findings and fails the run.
TMPDIR=$work run "$fuzz_dir/fuzz/bmp_fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 \
    -malloc_limit_mb=64 -rss_limit_mb=2048 -print_final_stats=1 \
    -dict="$source_dir/fuzz/bmp.dict" -artifact_prefix="$fuzz_dir/findings/" \
    "$work/corpus" "$work/seeds"
printf '\n-- BMP reader: memcheck clean, no fuzzing finding in %s seconds\n' "$fuzz_seconds"
