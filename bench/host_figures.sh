#!/usr/bin/env bash
# Figures of the running viewer, measured in one run on one private Xvfb:
#  - start to first presented frame, beside glxgears' (which also loads the driver and compiles a
#    pipeline, but draws at once where the viewer waits for its first 40 ms tick): medians of five
#    runs of each, taken in turns, and the margin over glxgears + 40 ms;
#  - CPU time per second while animating, beside the bare 25 Hz loop (bench/bare_loop), as a ratio;
#  - mean frame interval and the 99th percentile of its deviation from 40 ms over 10 seconds;
#  - peak resident memory.
# Frames are seen from outside through a preloaded glXSwapBuffers logger; the viewer is unchanged.
# Nothing is left behind: the swap log and the closing screenshot live in a temporary directory.
# Usage: bench/host_figures.sh [BUILD_DIR=build/bench]   (an optimised tree with the benchmarks)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
if [ ! -x "$build/bin/tavik" ] || [ ! -e "$build/bench/libswap_log.so" ]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j"$(nproc)" --target tavik tavik_screenshot swap_log bare_loop
fi
build=$(cd "$build" && pwd)

exec scripts/with-xvfb.sh bash -s "$build" <<'INNER'
set -euo pipefail
build=$1
now() { date +%s%N; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/swaps.log

# Milliseconds from the start of a program to its first glXSwapBuffers; the program is ended a
# second and a half later (nothing polls meanwhile, so as not to take the processor from it).
first_frame() {
  local log=$work/first.log t0 pid
  rm -f "$log"
  t0=$(now)
  TAVIK_SWAP_LOG=$log LD_PRELOAD="$build/bench/libswap_log.so" "$@" >/dev/null &
  pid=$!
  sleep 1.5
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -s "$log" ] || { echo "host_figures: no frame from $1" >&2; exit 1; }
  awk -v t0="$t0" 'NR == 1 { printf "%.1f\n", ($1 - t0) / 1e6 }' "$log"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

viewer_runs=
gears_runs=
for _ in 1 2 3 4 5; do
  viewer_runs+="$(cd "$build/bin" && first_frame ./tavik) "
  gears_runs+="$(first_frame glxgears) "
done
viewer_first=$(printf '%s\n' $viewer_runs | median)
gears_first=$(printf '%s\n' $gears_runs | median)

cd "$build/bin"
t0=$(now)
TAVIK_SWAP_LOG=$log LD_PRELOAD="$build/bench/libswap_log.so" ./tavik &
viewer=$!
sleep 1
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
c1=$(cpu $viewer)
sleep 10
c2=$(cpu $viewer)
peak=$(awk '/VmHWM/ {print $2}' /proc/$viewer/status)
"$build/tools/tavik_screenshot" "$work/last-frame.png" 0 >/dev/null
wait $viewer
ticks=$(getconf CLK_TCK)
viewer_cpu=$(awk -v a="$c1" -v b="$c2" -v t="$ticks" 'BEGIN {printf "%.6f", (b - a) / t / 10}')
bare_cpu=$("$build/bench/bare_loop" 10)

echo "first frame after start, 5 runs each (ms): viewer $viewer_runs; glxgears $gears_runs"
awk -v t0="$t0" -v vf="$viewer_first" -v gf="$gears_first" -v vc="$viewer_cpu" -v bc="$bare_cpu" \
    -v peak="$peak" '
  { t[NR] = $1 }
  END {
    printf "first frame, viewer median:   %8.1f ms\n", vf
    printf "first frame, glxgears median: %8.1f ms (+ one 40 ms tick: %.1f ms)\n", gf, gf + 40
    margin = vf - gf - 40
    printf "  margin %.1f ms (target: at most 6 ms): %s\n", margin, margin <= 6 ? "met" : "MISSED"
    printf "CPU while animating:        %8.4f s/s\n", vc
    printf "bare 25 Hz loop:            %8.4f s/s\n", bc
    if (bc > 0) printf "  ratio %.3f (target: within 1.1)\n", vc / bc
    # the frames of the 10 measured seconds, after the first second
    n = 0
    for (i = 2; i <= NR; i++) if (t[i] - t0 > 1e9 && t[i] - t0 <= 11e9) { d[++n] = (t[i] - t[i-1]) / 1e6 }
    sum = 0; for (i = 1; i <= n; i++) sum += d[i]
    mean = sum / n
    for (i = 1; i <= n; i++) { dev[i] = d[i] - 40; if (dev[i] < 0) dev[i] = -dev[i] }
    # sort deviations (insertion sort; a few hundred values)
    for (i = 2; i <= n; i++) { v = dev[i]; j = i - 1; while (j > 0 && dev[j] > v) { dev[j+1] = dev[j]; j-- } dev[j+1] = v }
    p99 = dev[int(n * 0.99 + 0.5) > 0 ? int(n * 0.99 + 0.5) : 1]
    span = (t[NR] - t[1]) / 1e6 / (NR - 1)
    printf "frames in 10 s:             %8d\n", n
    printf "mean frame interval:        %8.3f ms (over the whole run: %.3f ms)\n", mean, span
    printf "p99 deviation from 40 ms:   %8.3f ms\n", p99
    printf "peak resident memory:       %8.1f MiB\n", peak / 1024
  }' "$log"
INNER
