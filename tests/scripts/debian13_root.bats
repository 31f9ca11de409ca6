#!/usr/bin/env bats
# scripts/debian13-root.sh on a root of the test's own, made by a stand-in mmdebstrap that copies
# in a shell, touch and sleep: one root however many makes run, nothing left of an interrupted
# one, no removal under a command or a mount, and a root that commands never write or outlive.

setup() {
  script=$BATS_TEST_DIRNAME/../../scripts/debian13-root.sh t=$BATS_TEST_TMPDIR
  export TAVIK_ROOT_CACHE=$t/cache PATH=$t/bin:$PATH
  mkdir -p "$t/bin"
  # The stand-in counts its runs in $t/made, takes MM_SLEEP seconds, and makes a root whose
  # /var/tmp anyone may write, as Debian's, owned by its root, as mmdebstrap's (for a user, by
  # their first subordinate id).
  cat >"$t/bin/mmdebstrap" <<'STANDIN'
#!/bin/bash
set -e
[ "$(id -u)" -eq 0 ] ||
  exec unshare --map-auto --map-user=65536 --map-group=65536 --setuid 0 --setgid 0 -- "$0" "$@"
dir=${@: -2:1}
echo run >>"$(dirname "$0")/../made"
sleep "${MM_SLEEP:-0}"
mkdir -p "$dir"/{etc,proc,dev,sys,tmp,root,home,mnt,usr/bin} && chmod 1777 "$dir/tmp"
mkdir -m 1777 -p "$dir/var/tmp"
for tool in sh touch sleep; do
  for file in $(command -v $tool) $(ldd "$(command -v $tool)" | grep -o '/[^ ]*'); do
    mkdir -p "$dir$(dirname "$file")" && cp -L "$file" "$dir$file"
  done
done
for lib in /usr/lib /usr/lib64; do [ ! -e "$dir$lib" ] || ln -sfn "$lib" "$dir${lib#/usr}" 2>/dev/null || true; done
ln -s usr/bin "$dir/bin"
: >"$dir/etc/passwd" && echo "root:x:0:" >"$dir/etc/group"
chown -R 0:0 "$dir"
STANDIN
  chmod +x "$t/bin/mmdebstrap"
  root=$("$script" path)
}

# A user's roots are their subordinate ids' files, which only the script removes.
teardown() { "$script" remove; }

make() { "$script" make; }
# Waits up to 5 s until a process whose command line matches $2 runs (up) or has gone (down).
process() {
  local state
  for _ in $(seq 50); do
    state=down
    ! pgrep -f "$2" >/dev/null || state=up
    [ "$state" != "$1" ] || return 0
    sleep 0.1
  done
  return 1
}

@test "two makes at once make one root, once; a leftover of an interrupted make is cleared" {
  mkdir -p "$root.part.old" && touch "$root.part.old/half"
  MM_SLEEP=1 make >"$t/first" &
  MM_SLEEP=1 make >"$t/second"
  wait $!
  [ "$(cat "$t/first")" = "$root" ]
  [ "$(cat "$t/second")" = "$root" ]
  [ "$(wc -l <"$t/made")" -eq 1 ]
  [ -f "$root/.tavik-root-complete" ]
  [ -z "$(compgen -G "$root.part.*")" ]
}

@test "an interrupted make leaves nothing, and the next one makes the root" {
  MM_SLEEP=30 setsid "$script" make &
  for _ in $(seq 100); do [ -z "$(compgen -G "$root.part.*")" ] || break; sleep 0.1; done
  [ -n "$(compgen -G "$root.part.*")" ]
  kill -TERM -- -$!
  wait $! || true
  [ -z "$(compgen -G "$root.part.*")" ]
  [ ! -e "$root" ]
  make
  [ -f "$root/.tavik-root-complete" ]
}

@test "a command in the root writes only its home, and ends with its caller" {
  make
  run "$script" run "$root" -- touch /var/tmp/probe
  [ "$status" -ne 0 ]
  [ ! -e "$root/var/tmp/probe" ]
  "$script" run "$root" -- sh -c 'touch "$HOME/probe"'
  "$script" run "$root" --scratch --ro /usr -- touch /var/tmp/probe
  [ ! -e "$root/var/tmp/probe" ]
  "$script" run "$root" -- sleep "313.$$" &
  process up "^sleep 313.$$"
  kill -KILL $!
  process down "^sleep 313.$$"
}

@test "remove refuses while a command runs in the root or anything is mounted under it" {
  make
  "$script" run "$root" -- sleep "314.$$" &
  process up "^sleep 314.$$"
  run "$script" remove
  kill $!
  [ "$status" -eq 1 ]
  [ -f "$root/.tavik-root-complete" ]
  run unshare --user --map-root-user --mount sh -c 'mount --bind "$1" "$2/mnt" && "$3" remove' \
    sh "$t" "$root" "$script"
  [ "$status" -eq 1 ]
  [ -f "$root/.tavik-root-complete" ]
  "$script" remove
  [ ! -e "$root" ]
}

@test "a user on a machine without user namespaces or subordinate ids is told how to allow them" {
  as_user() { bash -c '. "$1" && id() { [ "$1" != -u ] || { echo 1000; return; }; command id "$@"; } &&
    '"$1"' && CheckUnprivileged' bash "$script"; }
  run as_user 'unshare() { return 1; }'
  [ "$status" -eq 1 ]
  [[ $output == *"sysctl -w kernel.unprivileged_userns_clone=1"* ]]
  run as_user 'unshare() { :; } && grep() { return 1; }'
  [ "$status" -eq 1 ]
  [[ $output == *"usermod --add-subuids"* ]]
}
