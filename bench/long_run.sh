#!/usr/bin/env bash
# The viewer for an hour on a private Xvfb: frames drawn (changes of its picture, watched through
# X; the viewer is unchanged) and resident memory at the start, every five minutes and at the
# end, with the growth after the warm-up (the test fails from 1 MiB). The test command runs the
# same test for a minute.
# The viewer measured is the release build, as users run it; the watching test comes from the
# debug tree with the tests.
# Usage: bench/long_run.sh [SECONDS=3600]   (output also goes to build/long-run/<date>.log)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-3600}

cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target tavik >/dev/null
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target viewer_long_run >/dev/null

mkdir -p build/long-run
log=build/long-run/$(date +%Y%m%d-%H%M%S).log
echo "long run of $seconds s of build/release/bin/tavik; output also in $log"
build/default/tests/stress/viewer_long_run --seconds="$seconds" \
  --binary="$PWD/build/release/bin/tavik" 2>&1 | tee "$log"
