#!/usr/bin/env bash
# Makes a Debian 13 (trixie) root with the desktops and compositors the test hosts start, and runs
# commands inside it. The root lives in a cache outside any clone, named after its package list:
# a changed list makes a new root, an unchanged one is reused. The cache is /var/cache/tavik for
# root and ~/.cache/tavik (XDG_CACHE_HOME) for a user, who makes and uses a root of their own
# without root's rights: mmdebstrap and bubblewrap run in unprivileged user namespaces.
# The root is never written once made: commands see it read-only, or on a throw-away copy
# (--scratch). A lock beside it keeps two makes apart and a root in use from being removed.
# Usage: scripts/debian13-root.sh make          makes the root if needed; prints its path last
#        scripts/debian13-root.sh path          prints the path the root has (made or not)
#        scripts/debian13-root.sh remove        removes every Debian 13 root of the cache; refuses
#          while a command runs in one, or while anything is mounted under one
#        scripts/debian13-root.sh run ROOT [--user NAME] [--ro DIR]... [--host-pids] [--scratch]
#            -- COMMAND...
#          runs a command in the root as root or as NAME (a user of the machine; a user may name
#          only themself), with a home of its own on a tmpfs and each DIR (a build tree) shown
#          read-only at its own path; in a process namespace of its own that ends with it, or with
#          --host-pids in the machine's (where a D-Bus peer's process id must mean the same to the
#          bus, the service and the caller). With --scratch, or with --ro (whose folders need
#          places made for them), on a throw-away copy of the root, where a command run as root
#          (for a user: as root of a user namespace) may install packages: its changes go with it.
set -euo pipefail

packages=(
  # X11: a virtual server, its cookie tool and xwininfo/xdpyinfo
  xvfb xauth x11-utils
  # Wayland compositors and what the tests drive them with
  sway weston grim wtype
  # the desktops: GNOME 48 and KDE Plasma 6 (Breeze draws KWin's frames)
  gnome-shell mutter kwin-wayland kwin-style-breeze
  # their private session and system buses
  dbus-daemon dbus-bin
  # Mesa's software renderers for GLX and EGL
  libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  # libdecor 0.2 and both of its frame plugins
  libdecor-0-0 libdecor-0-plugin-1-gtk libdecor-0-plugin-1-cairo
  # the viewer's run-time libraries
  libglew2.2 libglu1-mesa libx11-6 libwayland-client0 libwayland-egl1 libwayland-cursor0
  libpango-1.0-0 libpangocairo-1.0-0 libxkbcommon0
  # pictures written and compared by the tests
  imagemagick
  # today's compilers, and the headers and tools a build of the program needs
  g++ clang-19 cmake make pkg-config libglew-dev libgl-dev libglu1-mesa-dev libx11-dev
  libwayland-dev libwayland-bin wayland-protocols libegl-dev libdecor-0-dev libpango1.0-dev
  libcairo2-dev libxkbcommon-dev librsvg2-bin libpng-dev
)

on_view=false
if [ -n "${TAVIK_ROOT_CACHE:-}" ]; then
  cache=$TAVIK_ROOT_CACHE
elif [ "$(id -u)" -eq 0 ]; then
  cache=/var/cache/tavik
else
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/tavik
fi

# The root's path: the list's hash, so that a changed list never reuses an old root.
RootPath() {
  local hash
  hash=$(printf '%s\n' "${packages[@]}" | LC_ALL=C sort | sha256sum | cut -c1-12)
  echo "$cache/debian-13-$hash"
}

# Refuses to go on when anything is mounted at or under a directory that is about to be removed.
CheckNothingMounted() {
  if findmnt -rn -o TARGET | awk -v dir="$1" '$0 == dir || index($0, dir "/") == 1 { found = 1 }
      END { exit !found }'; then
    echo "debian13-root: $1 has mounts under it; not removing it" >&2
    exit 1
  fi
}

# A user makes and uses the root in user namespaces of their own, mapped onto their subordinate
# ids as mmdebstrap maps them. Says in one line what the machine lacks for that, and how to allow it.
CheckUnprivileged() {
  [ "$(id -u)" -ne 0 ] || return 0
  unshare --user --map-root-user true 2>/dev/null || {
    echo "debian13-root: this machine refuses unprivileged user namespaces, in which a user makes" \
      "and runs the Debian 13 root; allow them with" \
      "'sudo sysctl -w kernel.unprivileged_userns_clone=1' (Debian) or" \
      "'sudo sysctl -w kernel.apparmor_restrict_unprivileged_userns=0' (Ubuntu)" >&2
    exit 1
  }
  { grep -qs "^$(id -un):" /etc/subuid && grep -qs "^$(id -un):" /etc/subgid; } || {
    echo "debian13-root: $(id -un) has no subordinate ids in /etc/subuid and /etc/subgid, which" \
      "the Debian 13 root's own users need; add them with 'sudo usermod --add-subuids" \
      "100000-165535 --add-subgids 100000-165535 $(id -un)'" >&2
    exit 1
  }
}

# Runs a command as the root's own root: for a user, in a user namespace that maps their first
# block of subordinate ids from 0 on, as mmdebstrap does when it makes the root, so that the
# root's files have their owners there (outside it the user may change none of them), and the
# user as 65536, so that their own files (the clone, the cache) stay theirs to reach. With --exec
# it replaces this process, so that what it runs is still its caller's child.
AsRootsRoot() {
  local how=()
  [ "$1" != --exec ] || { how=(exec); shift; }
  [ "$(id -u)" -eq 0 ] ||
    set -- unshare --map-auto --map-user=65536 --map-group=65536 --setuid 0 --setgid 0 -- "$@"
  "${how[@]}" "$@"
}

# Removes a root or what is left of one.
RemoveTree() {
  AsRootsRoot rm -rf --one-file-system "$1"
}

# Opens the root's lock (made beside it, outside the root) on descriptor $lock.
OpenLock() {
  exec {lock}>>"$1.lock"
}

MakeRoot() {
  local root start
  root=$(RootPath)
  mkdir -p "$cache"
  OpenLock "$root"
  # One make at a time: a second waits and then finds the root made.
  flock -x "$lock"
  if [ -f "$root/.tavik-root-complete" ]; then
    echo "$root"
    return
  fi
  command -v mmdebstrap >/dev/null ||
    { echo "debian13-root: mmdebstrap is not installed; scripts/setup.sh test installs it" >&2; exit 1; }
  CheckUnprivileged
  # What an interrupted make left (a root without its stamp, unfinished folders) goes first.
  for dir in "$root" "$root".part.*; do
    [ -e "$dir" ] || continue
    CheckNothingMounted "$dir"
    RemoveTree "$dir"
  done
  # A fresh folder of this run's own, renamed to the root once complete; removed if the run ends
  # before that, however it ends short of SIGKILL (and the next make clears even that). Global:
  # the trap runs after this function has returned.
  part=$(mktemp -d "$root.part.XXXXXX")
  chmod 0755 "$part"
  trap 'RemoveTree "$part"' EXIT
  trap 'exit 130' INT TERM HUP
  start=$SECONDS
  # NOTE: the unshare mode keeps mmdebstrap's own mounts (/proc, /dev for the maintainer scripts)
  # in a private mount namespace, so none of them is ever seen on, or left behind on, the host.
  mmdebstrap --mode=unshare --variant=minbase --components=main \
    --include="$(IFS=,; echo "${packages[*]}")" \
    trixie "$part" http://deb.debian.org/debian >&2
  # Written as the root's root, who owns the folder now.
  # shellcheck disable=SC2016
  AsRootsRoot sh -c 'date -u +%FT%TZ >"$1/.tavik-root-complete"' sh "$part"
  mv -T "$part" "$root"
  trap - EXIT INT TERM HUP
  echo "debian13-root: made $root in $((SECONDS - start)) s ($(du -sh "$root" | cut -f1))" >&2
  echo "$root"
}

RemoveRoots() {
  local dir base
  for dir in "$cache"/debian-13-*; do
    case $dir in *.lock) continue ;; esac
    [ -e "$dir" ] || continue
    base=${dir%.part.*}
    OpenLock "$base"
    flock -x -n "$lock" || {
      echo "debian13-root: $base is in use (a command runs in it, or it is being made);" \
        "not removing it" >&2
      exit 1
    }
    CheckNothingMounted "$dir"
    RemoveTree "$dir"
    exec {lock}>&-
  done
}

# A copy-on-write view of the root: an overlay whose changes go to a tmpfs. Both are mounted in
# the private mount namespace that the caller entered, on the cache's scratch folder, so that they
# are seen by no other process and go with the namespace, however its last process ends: nothing
# is left to clean up. Prints the view's path.
MountScratch() {
  local root=$1 scratch=$cache/scratch
  mount -t tmpfs -o mode=0755 tavik-scratch "$scratch"
  mkdir "$scratch/changes" "$scratch/work" "$scratch/root"
  mount -t overlay -o "lowerdir=$root,upperdir=$scratch/changes,workdir=$scratch/work" \
    tavik-scratch "$scratch/root"
  echo "$scratch/root"
}

# The root's accounts with `name` (uid, gid, home) added where it lacks them, for the command's
# bus daemons and desktops; bound over the root's own, which stay as they are.
Accounts() {
  local file=$1 name=$2 uid=$3 gid=$4 home=$5
  cat "$root/etc/$file"
  case $file in
    passwd) grep -q "^$name:" "$root/etc/passwd" || echo "$name:x:$uid:$gid::$home:/usr/sbin/nologin" ;;
    group) grep -q "^[^:]*:[^:]*:$gid:" "$root/etc/group" || echo "$name:x:$gid:" ;;
  esac
}

# Runs a command inside the root, never writable: bound read-only or, for --scratch and --ro, on
# a throw-away view. Only /tmp is shared read-write with the machine, so sockets in /tmp/.X11-unix
# and the tests' runtime directories there are reachable from both sides; /sys is read-only, /dev
# and /proc are new, and the home is a tmpfs. Every mount is in a private namespace and ends with
# it; bwrap, and with it the command, ends with the caller.
RunInRoot() {
  local root=$1 user="" binds=() pids=(--unshare-pid) options=() view=false ro=()
  shift
  while [ $# -gt 0 ]; do
    case $1 in
      --scratch) view=true; shift ;;
      --user) user=$2; options+=("$1" "$2"); shift 2 ;;
      --host-pids) pids=(); options+=("$1"); shift ;;
      --ro) ro+=("$2"); options+=("$1" "$2"); view=true; shift 2 ;;
      --) shift; break ;;
      *) break ;;
    esac
  done
  [ -f "$root/.tavik-root-complete" ] || { echo "debian13-root: $root is not a made root" >&2; exit 1; }
  if [ -n "$user" ] && [ "$user" != "$(id -un)" ] && [ "$(id -u)" -ne 0 ]; then
    echo "debian13-root: only root runs a command as another user ($user)" >&2
    exit 2
  fi
  if ! $on_view; then
    # Held by the command for as long as it runs: `remove` refuses meanwhile.
    OpenLock "$root"
    flock -s -n "$lock" || { echo "debian13-root: $root is being made or removed" >&2; exit 1; }
  fi
  if $view && ! $on_view; then
    # The same command again, in a mount namespace of its own (for a user, as the root's root),
    # on the root's throw-away view. Each step execs the next, so the command is still the
    # caller's child and ends with it.
    [ "$(id -u)" -eq 0 ] || CheckUnprivileged
    # The view's mount point, made by the cache's owner.
    mkdir -p "$cache/scratch"
    AsRootsRoot --exec unshare --mount --propagation private -- \
      "$0" run-on-scratch "$root" "${options[@]}" -- "$@"
  fi
  local dir uid gid name home as=()
  for dir in "${ro[@]}"; do
    # In the view: bwrap would make the place 0700, or, as a user, not at all.
    (umask 022 && mkdir -p "$root$dir")
    binds+=(--ro-bind "$dir" "$dir")
  done
  uid=$(id -u "${user:-$(id -un)}")
  gid=$(id -g "${user:-$(id -un)}")
  name=$(id -un "$uid")
  home=/root
  [ "$uid" -eq 0 ] || home=/home/$name
  if [ "$uid" -ne "$(id -u)" ]; then
    # NOTE: bwrap runs as the user (in a user namespace of its own), not as root dropping to the
    # user inside: a change of user clears the parent-death signal, and the command would outlive
    # its caller.
    as=(setpriv --reuid="$uid" --regid="$gid" --clear-groups --)
  fi
  # The view may change; the root itself is never bound writable.
  local bind=--ro-bind
  ! $on_view || bind=--bind
  exec "${as[@]}" bwrap --die-with-parent "${pids[@]}" \
    "$bind" "$root" / --proc /proc --dev /dev --perms 1777 --tmpfs /dev/shm \
    --dev-bind-try /dev/dri /dev/dri --ro-bind /sys /sys --bind /tmp /tmp \
    --perms 0644 --ro-bind-data 3 /etc/passwd --perms 0644 --ro-bind-data 4 /etc/group \
    --tmpfs /root --tmpfs /home --dir "$home" --setenv HOME "$home" "${binds[@]}" \
    --setenv PATH /usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    "$@" 3< <(Accounts passwd "$name" "$uid" "$gid" "$home") \
    4< <(Accounts group "$name" "$uid" "$gid" "$home")
}

# Sourced (by the scripts' tests): the functions alone.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
case ${1:-} in
  make) MakeRoot ;;
  path) RootPath ;;
  remove) RemoveRoots ;;
  run)
    shift
    RunInRoot "$@"
    ;;
  run-on-scratch)
    # `run --scratch`, once in its private mount namespace: ROOT is replaced by its view.
    view=$(MountScratch "$2")
    shift 2
    on_view=true
    RunInRoot "$view" "$@"
    ;;
  *)
    sed -n 's/^# Usage: /usage: /p; s/^#        /       /p' "$0" >&2
    exit 2
    ;;
esac
