#!/usr/bin/env bash
# Runs a command with DISPLAY set to a new Xvfb server on a free display number, and stops the
# server afterwards. Extra server arguments can be given in XVFB_ARGS (e.g. "-extension GLX").
# Usage: scripts/with-xvfb.sh COMMAND [ARGS...]
set -euo pipefail

numberfile=$(mktemp)
# -noreset: by default the server resets whenever its last client leaves, and refuses the
# connections that arrive meanwhile; tests that start and end one after another would hit that.
# shellcheck disable=SC2086
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset ${XVFB_ARGS:-} 3>"$numberfile" 2>/dev/null &
server=$!
cleanup() { kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -f "$numberfile"; }
trap cleanup EXIT

for _ in $(seq 100); do
  [ -s "$numberfile" ] && break
  kill -0 "$server" 2>/dev/null || { echo "with-xvfb: Xvfb failed to start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$numberfile" ] || { echo "with-xvfb: Xvfb did not report a display" >&2; exit 1; }
DISPLAY=":$(head -n1 "$numberfile")"
export DISPLAY
"$@"
