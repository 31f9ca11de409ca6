#!/usr/bin/env bash
# Makes a Debian 13 (trixie) root with the desktops and compositors the test hosts start, and runs
# commands inside it. The root lives in a cache outside any clone, named after its package list:
# a changed list makes a new root, an unchanged one is reused. Nothing is installed on the machine
# for it but mmdebstrap (bubblewrap isolates the commands run inside it).
# Usage: scripts/debian13-root.sh make          makes the root if needed; prints its path last
#        scripts/debian13-root.sh path          prints the path the root has (made or not)
#        scripts/debian13-root.sh remove        removes every Debian 13 root of the cache
#        scripts/debian13-root.sh run ROOT [--user NAME] [--ro DIR]... [--host-pids] [--scratch]
#            -- COMMAND...
#          runs a command in the root as root or as NAME (a user of the machine), with each DIR
#          (a build tree) shown read-only at its own path; in a process namespace of its own that
#          ends with it, or with --host-pids in the machine's (where a D-Bus peer's process id
#          must mean the same to the bus, the service and the caller); with --scratch on a
#          throw-away copy of the root, where the command may install packages: its changes go
#          with it and the root stays as it was (as root: for a user the root's own files stay
#          read-only in the copy too)
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

cache=${TAVIK_ROOT_CACHE:-/var/cache/tavik}

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

MakeRoot() {
  local root part start
  root=$(RootPath)
  if [ -f "$root/.tavik-root-complete" ]; then
    echo "$root"
    return
  fi
  command -v mmdebstrap >/dev/null || {
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
  }
  mkdir -p "$cache" "$cache/scratch"
  # A root that an earlier run left half made (no stamp) is made again from nothing.
  part=$root.part
  for dir in "$root" "$part"; do
    [ -e "$dir" ] || continue
    CheckNothingMounted "$dir"
    rm -rf --one-file-system "$dir"
  done
  start=$SECONDS
  # NOTE: the unshare mode keeps mmdebstrap's own mounts (/proc, /dev for the maintainer scripts)
  # in a private mount namespace, so none of them is ever seen on, or left behind on, the host.
  mmdebstrap --mode=unshare --variant=minbase --components=main \
    --include="$(IFS=,; echo "${packages[*]}")" \
    trixie "$part" http://deb.debian.org/debian >&2
  # The stamp goes last: a root without it was interrupted and is never used.
  date -u +%FT%TZ >"$part/.tavik-root-complete"
  mv "$part" "$root"
  echo "debian13-root: made $root in $((SECONDS - start)) s ($(du -sh "$root" | cut -f1))" >&2
  echo "$root"
}

# A copy-on-write view of the root for --scratch: an overlay whose changes go to a tmpfs. Both are
# mounted in the private mount namespace that the caller entered (unshare), on the cache's
# scratch folder, so that they are seen by no other process and go with the namespace, however
# its last process ends: nothing is left to clean up. Prints the view's path.
MountScratch() {
  local root=$1 scratch=$cache/scratch
  [ -d "$scratch" ] || mkdir "$scratch" || {
    echo "debian13-root: cannot make $scratch, on which --scratch mounts its view" >&2
    exit 1
  }
  mount -t tmpfs -o mode=0755 tavik-scratch "$scratch"
  mkdir "$scratch/changes" "$scratch/work" "$scratch/root"
  mount -t overlay -o "lowerdir=$root,upperdir=$scratch/changes,workdir=$scratch/work" \
    tavik-scratch "$scratch/root"
  echo "$scratch/root"
}

# Runs a command inside the root. Only /tmp is shared read-write with the machine, so sockets in
# /tmp/.X11-unix and the tests' runtime directories there are reachable from both sides; /sys is
# read-only and /dev and /proc are new. Every mount is in bwrap's private namespace and ends with
# it; the command ends with its caller.
RunInRoot() {
  local root=$1 user=root ro=() binds=() pids=(--unshare-pid) options=() scratch=false
  shift
  while [ $# -gt 0 ]; do
    case $1 in
      --scratch) scratch=true; shift ;;
      --user) user=$2; options+=("$1" "$2"); shift 2 ;;
      --host-pids) pids=(); options+=("$1"); shift ;;
      --ro) ro+=("$2"); options+=("$1" "$2"); shift 2 ;;
      --) shift; break ;;
      *) break ;;
    esac
  done
  [ -f "$root/.tavik-root-complete" ] || { echo "debian13-root: $root is not a made root" >&2; exit 1; }
  if $scratch; then
    # The same command again, in a mount namespace of its own (as a user, in a user namespace
    # too, where mounting is allowed) on the root's throw-away view. Each step execs the next,
    # so the command is still the caller's child and ends with it.
    local unshare=(unshare --mount --propagation private)
    [ "$(id -u)" -eq 0 ] || unshare+=(--map-root-user)
    exec "${unshare[@]}" -- "$0" run-on-scratch "$root" "${options[@]}" -- "$@"
  fi
  local dir
  for dir in "${ro[@]}"; do
    # The mount point is made beforehand: bwrap would make it 0700, or, as a user, not at all.
    (umask 022 && mkdir -p "$root$dir")
    binds+=(--ro-bind "$dir" "$dir")
  done
  local as=()
  if [ "$user" != root ]; then
    # The user exists in the root with the same ids as on the machine, so that files in the shared
    # /tmp have the same owner on both sides.
    local uid gid
    uid=$(id -u "$user")
    gid=$(id -g "$user")
    grep -q "^$user:" "$root/etc/passwd" || echo "$user:x:$uid:$gid::/tmp:/usr/sbin/nologin" >>"$root/etc/passwd"
    # NOTE: bwrap runs as the user (in a user namespace of its own), not as root dropping to the
    # user inside: a change of user clears the parent-death signal, and the command would outlive
    # its caller. As the user, nothing in the root is writable.
    as=(setpriv --reuid="$uid" --regid="$gid" --clear-groups --)
    binds+=(--setenv HOME /tmp)
  fi
  exec "${as[@]}" bwrap --die-with-parent "${pids[@]}" \
    --bind "$root" / --proc /proc --dev /dev --perms 1777 --tmpfs /dev/shm \
    --dev-bind-try /dev/dri /dev/dri \
    --ro-bind /sys /sys --bind /tmp /tmp "${binds[@]}" \
    --setenv PATH /usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    "$@"
}

case ${1:-} in
  make) MakeRoot ;;
  path) RootPath ;;
  remove)
    for dir in "$cache"/debian-13-*; do
      [ -e "$dir" ] || continue
      CheckNothingMounted "$dir"
      rm -rf --one-file-system "$dir"
    done
    ;;
  run)
    shift
    RunInRoot "$@"
    ;;
  run-on-scratch)
    # `run --scratch`, once in its private mount namespace: ROOT is replaced by its view.
    view=$(MountScratch "$2")
    shift 2
    RunInRoot "$view" "$@"
    ;;
  *)
    sed -n 's/^# Usage: /usage: /p; s/^#        /       /p' "$0" >&2
    exit 2
    ;;
esac
