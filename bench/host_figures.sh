#!/usr/bin/env bash
# Figures of the running viewer on both Linux hosts, side by side, measured in one run: X11 on a
# private Xvfb, and Wayland on a private headless sway (software rendering, no X server, run as an
# unprivileged user since sway refuses root):
#  - start to first presented frame (X11: beside glxinfo -B's run time, as a ratio and a margin);
#  - CPU time per frame while animating, beside the bare 25 Hz loop on the same window system
#    (bench/bare_loop: GLX on X11, EGL on Wayland), as a ratio;
#  - mean frame interval and the 99th percentile of its deviation from 40 ms over 10 seconds;
#  - peak resident memory.
# Frames are seen from outside through a preloaded glXSwapBuffers/eglSwapBuffers logger; the
# viewer is unchanged. Nothing is left behind: everything lives in a temporary directory.
# Usage: bench/host_figures.sh [BUILD_DIR=build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if [ ! -x "$build/bin/tavik" ] || [ ! -e "$build/bench/libswap_log.so" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release -j"$(nproc)" --target tavik tavik_screenshot swap_log bare_loop
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

# measure HOST CLOSE-COMMAND [RUN-AS...]: runs the viewer for 11 s in the current session and
# writes its figures to $work/HOST.figures. RUN-AS prefixes the programs (the session's user).
measure() {
  local host=$1 close=$2
  shift 2
  local log=$work/$host-swaps.log
  touch "$log" && chmod 666 "$log"
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
  awk -v t0="$t0" -v c1="$c1" -v c2="$c2" -v bare="$bare" \
      -v peak="$peak" '
    { t[NR] = $1 }
    END {
      printf "first %.1f\ncpu %.6f\nbare %.6f\npeak %.1f\n", (t[1] - t0) / 1e6, (c2 - c1) / 1e9 / 10, bare, peak / 1024
      # the frames of the 10 measured seconds, after the first second
      n = 0
      for (i = 2; i <= NR; i++) if (t[i] - t0 > 1e9 && t[i] - t0 <= 11e9) d[++n] = (t[i] - t[i-1]) / 1e6
      sum = 0; for (i = 1; i <= n; i++) sum += d[i]
      for (i = 1; i <= n; i++) { dev[i] = d[i] - 40; if (dev[i] < 0) dev[i] = -dev[i] }
      for (i = 2; i <= n; i++) { v = dev[i]; j = i - 1; while (j > 0 && dev[j] > v) { dev[j+1] = dev[j]; j-- } dev[j+1] = v }
      k = int(n * 0.99 + 0.5); if (k < 1) k = 1
      printf "frames %d\nmean %.3f\nspan %.3f\np99 %.3f\n", n, sum / n, (t[NR] - t[1]) / 1e6 / (NR - 1), dev[k]
    }' "$log" >"$work/$host.figures"
  cd - >/dev/null
}

# X11: the floor is the best of five glxinfo -B runs.
export -f measure cpu_ns
export work build
scripts/with-xvfb.sh bash -c '
  set -euo pipefail
  floor=
  for _ in 1 2 3 4 5; do
    t0=$(date +%s%N); glxinfo -B >/dev/null; t=$(( $(date +%s%N) - t0 ))
    [ -z "$floor" ] || [ "$t" -lt "$floor" ] && floor=$t
  done
  echo "$floor" >"$work/floor"
  measure x11 "\"$build/tools/tavik_screenshot\" \"$work/x11.png\" 0"'

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
session=(env -u DISPLAY HOME="$runtime" XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime")
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
measure wayland "${session[*]} ${runas[*]} swaymsg \"[app_id=org.tavik.Tavik] kill\"" \
  "${session[@]}" "${runas[@]}"

# Side by side.
figure() { awk -v key="$2" '$1 == key {print $2}' "$work/$1.figures"; }
row() { printf "%-34s %12s %12s\n" "$1" "$2" "$3"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'; }
floor=$(awk '{printf "%.1f", $1 / 1e6}' "$work/floor")
row "" "X11" "Wayland"
row "first frame after start (ms)" "$(figure x11 first)" "$(figure wayland first)"
row "  glxinfo -B (floor, ms)" "$floor" "-"
row "  margin over the floor (ms)" "$(awk -v a="$(figure x11 first)" -v b="$floor" 'BEGIN {printf "%.1f", a - b}')" "-"
for host in x11 wayland; do
  eval "cpu_$host=\$(awk -v c=\"\$(figure $host cpu)\" 'BEGIN {printf \"%.3f\", c * 1000 / 25}')"
  eval "bare_$host=\$(awk -v c=\"\$(figure $host bare)\" 'BEGIN {printf \"%.3f\", c * 1000 / 25}')"
done
row "CPU per frame (ms)" "$cpu_x11" "$cpu_wayland"
row "  bare 25 Hz loop (ms)" "$bare_x11" "$bare_wayland"
row "  ratio (target <= 1.1)" "$(ratio "$cpu_x11" "$bare_x11")" "$(ratio "$cpu_wayland" "$bare_wayland")"
row "frames in 10 s" "$(figure x11 frames)" "$(figure wayland frames)"
row "mean frame interval (ms, 40 +- 0.1)" "$(figure x11 mean)" "$(figure wayland mean)"
row "  over the whole run (ms)" "$(figure x11 span)" "$(figure wayland span)"
row "p99 deviation from 40 ms (< 2)" "$(figure x11 p99)" "$(figure wayland p99)"
row "peak resident memory (MiB)" "$(figure x11 peak)" "$(figure wayland peak)"
