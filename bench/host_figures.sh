#!/usr/bin/env bash
# Figures of the running viewer on both Linux hosts, side by side, measured in one run: X11 on a
# private Xvfb, and Wayland on a private headless sway (software rendering, no X server, run as an
# unprivileged user since sway refuses root):
#  - start to first presented frame, beside a gears demo of the same window system (glxgears,
#    es2gears_wayland), which also loads the driver and compiles a pipeline but draws at once where
#    the viewer waits for its first 40 ms tick: medians of five runs of each, taken in turns after
#    one uncounted start of each, and the margin over the demo + 40 ms;
#  - CPU time per frame while animating, beside the bare 25 Hz loop on the same window system
#    (bench/bare_loop: GLX on X11, EGL on Wayland), as a ratio;
#  - mean frame interval and the 99th percentile of its deviation from 40 ms over 10 seconds;
#  - peak resident memory;
#  - on every host the tests' rig starts (a bare Xvfb, openbox, kwin_x11, xfwm4, mutter on X11,
#    sway, ...): the time from the close request to the process's exit, beside the same figure for
#    the bare loop on that host (bench/close_bench, medians of seven runs each, taken in turns).
# Frames are seen from outside through a preloaded glXSwapBuffers/eglSwapBuffers logger; the
# viewer is unchanged. Nothing is left behind: everything lives in a temporary directory.
# Usage: bench/host_figures.sh [BUILD_DIR=build/bench]   (an optimised tree with the benchmarks)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
if [ ! -x "$build/bin/tavik" ] || [ ! -e "$build/bench/libswap_log.so" ] ||
  [ ! -x "$build/bench/close_bench" ]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j"$(nproc)" --target tavik tavik_screenshot swap_log bare_loop \
    close_bench
fi
build=$(cd "$build" && pwd)

work=$(mktemp -d)
compositor=
cleanup() {
  [ -z "$compositor" ] || { kill "$compositor" 2>/dev/null; wait "$compositor" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
# The programs as a package lays them out (bin/ beside res/), readable by the session's user.
mkdir -p "$work/tree/bin" "$work/tree/res"
cp "$build/bin/tavik" "$build/bench/bare_loop" "$build/bench/libswap_log.so" "$work/tree/bin/"
cp res/grass.bmp "$work/tree/res/"

# CPU time of all of a process's threads (llvmpipe draws on its own), in nanoseconds.
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{sum += $1} END {printf "%d", sum}'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# first_frame COMMAND...: milliseconds from the start of a program to its first presented frame;
# the program is ended a second and a half later (nothing polls meanwhile, so as not to take the
# processor from it).
first_frame() {
  local log=$work/first.log t0 pid
  : >"$log" && chmod 666 "$log"
  t0=$(date +%s%N)
  (cd "$work/tree/bin" && TAVIK_SWAP_LOG=$log LD_PRELOAD="$work/tree/bin/libswap_log.so" exec "$@") >/dev/null 2>&1 &
  pid=$!
  sleep 1.5
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -s "$log" ] || { echo "host_figures: no frame from $*" >&2; exit 1; }
  awk -v t0="$t0" 'NR == 1 { printf "%.1f\n", ($1 - t0) / 1e6 }' "$log"
}

# measure HOST DEMO CLOSE-COMMAND [RUN-AS...]: the figures of the viewer in the current session,
# written to $work/HOST.figures. RUN-AS prefixes the programs (the session's user).
measure() {
  local host=$1 demo=$2 close=$3
  shift 3
  local viewer_runs= demo_runs=
  # One start of each first, not counted: it finds the driver and libraries in the page cache
  # for the counted ones, as any but the first start after a build or a boot does.
  first_frame "$@" ./tavik >/dev/null
  first_frame "$@" "$demo" >/dev/null
  for _ in 1 2 3 4 5; do
    viewer_runs+="$(first_frame "$@" ./tavik) "
    demo_runs+="$(first_frame "$@" "$demo") "
  done
  local log=$work/$host-swaps.log
  : >"$log" && chmod 666 "$log"
  cd "$work/tree/bin"
  local t0 viewer c1 c2 peak bare
  t0=$(date +%s%N)
  "$@" env TAVIK_SWAP_LOG="$log" LD_PRELOAD="$work/tree/bin/libswap_log.so" ./tavik &
  viewer=$!
  sleep 1
  c1=$(cpu_ns "$viewer")
  sleep 10
  c2=$(cpu_ns "$viewer")
  peak=$(awk '/VmHWM/ {print $2}' "/proc/$viewer/status")
  eval "$close" >/dev/null
  wait "$viewer"
  bare=$("$@" ./bare_loop 10 "$host")
  echo "runs viewer $viewer_runs; $demo $demo_runs" >"$work/$host.figures"
  awk -v t0="$t0" -v c1="$c1" -v c2="$c2" -v bare="$bare" -v peak="$peak" \
    -v first="$(printf '%s\n' $viewer_runs | median)" -v demo="$(printf '%s\n' $demo_runs | median)" '
    { t[NR] = $1 }
    END {
      cpu = (c2 - c1) / 1e9 / 10
      printf "first %s\ndemo %s\nmargin %.1f\n", first, demo, first - demo - 40
      # CPU time per 25 Hz frame, ms
      printf "cpu %.3f\nbare %.3f\nratio %.3f\npeak %.1f\n", cpu * 40, bare * 40, cpu / bare, peak / 1024
      # the frames of the 10 measured seconds, after the first second
      n = 0
      for (i = 2; i <= NR; i++) if (t[i] - t0 > 1e9 && t[i] - t0 <= 11e9) d[++n] = (t[i] - t[i-1]) / 1e6
      sum = 0; for (i = 1; i <= n; i++) sum += d[i]
      for (i = 1; i <= n; i++) { dev[i] = d[i] - 40; if (dev[i] < 0) dev[i] = -dev[i] }
      for (i = 2; i <= n; i++) { v = dev[i]; j = i - 1; while (j > 0 && dev[j] > v) { dev[j+1] = dev[j]; j-- } dev[j+1] = v }
      k = int(n * 0.99 + 0.5); if (k < 1) k = 1
      printf "frames %d\nmean %.3f\nspan %.3f\np99 %.3f\n", n, sum / n, (t[NR] - t[1]) / 1e6 / (NR - 1), dev[k]
    }' "$log" >>"$work/$host.figures"
  cd - >/dev/null
}

export -f measure first_frame cpu_ns median
export work build
scripts/with-xvfb.sh bash -c 'measure x11 glxgears "\"$build/tools/tavik_screenshot\" \"$work/x11.png\" 0"'

# Wayland: a private headless sway with its own runtime directory.
runas=()
user=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
  user=tavik-test
  id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
  runas=(setpriv --reuid="$user" --regid="$user" --clear-groups)
fi
runtime=$work/runtime
mkdir -m 700 "$runtime"
printf 'xwayland disable\noutput HEADLESS-1 resolution 1280x1024\nfor_window [app_id="org.tavik.Tavik"] floating enable\n' \
  >"$runtime/sway.conf"
chown -R "$user" "$runtime"
# Mesa keeps its compiled shaders under XDG_CACHE_HOME, or else in the home directory of the
# user's passwd entry, which the session's user may not have: without a cache every start would
# compile its pipeline afresh, which no start of a user's second run does.
session=(env -u DISPLAY HOME="$runtime" XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime"
  XDG_CACHE_HOME="$runtime/cache")
"${session[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  "${runas[@]}" sway --config "$runtime/sway.conf" >"$work/sway.log" 2>&1 &
compositor=$!
for _ in $(seq 100); do
  socket=$(cd "$runtime" && ls wayland-? 2>/dev/null | head -n1 || true)
  ipc=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -n1 || true)
  [ -n "$socket" ] && [ -n "$ipc" ] && break
  kill -0 "$compositor" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$socket" ] || [ -z "$ipc" ]; then
  echo "host_figures: sway did not start; its log:" >&2
  cat "$work/sway.log" >&2
  exit 1
fi
session+=(WAYLAND_DISPLAY="$socket" SWAYSOCK="$ipc")
measure wayland es2gears_wayland \
  "${session[*]} ${runas[*]} swaymsg \"[app_id=org.tavik.Tavik] kill\"" "${session[@]}" "${runas[@]}"

# Side by side.
figure() { awk -v key="$2" '$1 == key {print $2}' "$work/$1.figures"; }
row() { printf "%-36s %12s %12s\n" "$1" "$(figure x11 "$2")" "$(figure wayland "$2")"; }
for host in x11 wayland; do
  grep '^runs' "$work/$host.figures" | sed "s/^runs/first frames of 5 runs each ($host, ms):/"
done
printf "%-36s %12s %12s\n" "" "X11" "Wayland"
row "first frame after start (ms, median)" first
row "  gears demo (ms, median)" demo
row "  margin over demo + 40 ms (<= 6)" margin
row "CPU per frame (ms)" cpu
row "  bare 25 Hz loop (ms)" bare
row "  ratio (target <= 1.1)" ratio
row "frames in 10 s" frames
row "mean frame interval (ms, 40 +- 0.1)" mean
row "  over the whole run (ms)" span
row "p99 deviation from 40 ms (< 2)" p99
row "peak resident memory (MiB)" peak

# Close latency, host by host: each host is started and ended by the rig itself.
echo
"$build/bench/close_bench" --gtest_brief=1
