#!/usr/bin/env bash
# Sets up, builds and starts the viewer from build/release/bin, where ../res/grass.bmp resolves.
# In a Wayland session it runs natively on Wayland, in an X11 session on X11 (the viewer picks the
# window system itself). Without either it runs the viewer on a virtual X display, saves a
# screenshot to tavik-screenshot.png after a few seconds, closes the window and reports the
# exit code.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

scripts/setup.sh run
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target tavik tavik_screenshot

cd build/release/bin
wayland_socket=${WAYLAND_DISPLAY:-}
case $wayland_socket in
  '' | /*) ;;
  *) wayland_socket=${XDG_RUNTIME_DIR:-/nonexistent}/$wayland_socket ;;
esac
if [ -n "$wayland_socket" ] && [ -S "$wayland_socket" ]; then
  exec ./tavik
fi
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec ./tavik
fi

echo "run: no display; starting the viewer on a virtual display"
shot="$top/tavik-screenshot.png"
# shellcheck disable=SC2016  # the program's arguments are $0 and $1
"$top/scripts/with-xvfb.sh" bash -c '
  ./tavik & viewer=$!
  "$0" "$1" 3 || { kill $viewer; exit 1; }
  wait $viewer; code=$?
  echo "run: the viewer exited with code $code"
  exit $code' "$top/build/release/tools/tavik_screenshot" "$shot"
