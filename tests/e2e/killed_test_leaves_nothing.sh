#!/usr/bin/env bash
# A test program killed with SIGKILL in the middle of a case leaves nothing of its host behind:
# the program runs in a session of its own, is killed once its viewer runs, and 5 s later no
# process of that session may be left, nor, where the host ran in another system's ROOT, any
# mount of it on this machine.
# Usage: killed_test_leaves_nothing.sh TEST_PROGRAM GTEST_FILTER [ROOT]
set -u
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Not a group leader, so setsid makes this very process the leader of a new session.
setsid "$1" --gtest_filter="$2" >"$log" 2>&1 &
test=$!

for _ in $(seq 600); do
  viewer=$(pgrep -s "$test" -x tavik | head -n 1)
  [ -n "$viewer" ] && break
  kill -0 "$test" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$viewer" ]; then
  echo "no viewer ran under $1 --gtest_filter=$2; its output:"; cat "$log"
  kill -9 -- "-$test" 2>/dev/null
  exit 1
fi
# A viewer in a mount namespace other than this one runs in another system's root, whose mounts
# the check below must be told of.
namespace=$(readlink "/proc/$viewer/ns/mnt")
if [ -z "${3:-}" ] && [ -n "$namespace" ] && [ "$namespace" != "$(readlink /proc/self/ns/mnt)" ]; then
  echo "the viewer runs in a root of its own, but no root was given to look for mounts of"
  kill -9 -- "-$test" 2>/dev/null
  exit 1
fi
echo "killing the test program in the middle of its case; it had started:"
ps -o pid=,user=,comm= -s "$test"
{ kill -9 "$test"; wait "$test"; } 2>/dev/null

# True when a mount of the root (a third argument) is left on this machine.
mounts() { [ -n "${3:-}" ] && findmnt -rn -o TARGET,SOURCE | grep -F "$3"; }
for _ in $(seq 50); do
  if ! pgrep -s "$test" >/dev/null; then
    ! mounts "$@" || { echo "mounts of ${3:-} left on this machine"; exit 1; }
    echo "nothing left"
    exit 0
  fi
  sleep 0.1
done
echo "left 5 s after the test program was killed:"
ps -o pid=,user=,comm=,args= -s "$test"
pkill -9 -s "$test"
exit 1
