#!/usr/bin/env bash
# Installs the Debian packages Tavik needs: `run` what building and running the viewer needs (a
# compiler, CMake, the libraries' headers, Mesa, and a virtual X display with the screenshot
# tool's needs for headless runs); `test` that and the whole test bench besides (the desktops and
# compositors the tests start, Wine and MinGW, the sanitizers' and fuzzer's compiler, the
# packaging and package-checking tools, ShellCheck and bats), and the Debian 13 root
# (scripts/debian13-root.sh: about 2 GB in /var/cache/tavik, made once). Without an argument: `test`.
# Installs only what is missing: says nothing when everything is there (the root made).
# What it changes besides: `test` adds the arm64 architecture to dpkg. On Debian the arm64
# packages come from the machine's own archive, and apt's sources are not touched. On Ubuntu
# (amd64, i386) they come from Ubuntu's ports archive: one file of its own,
# sources.list.d/tavik-arm64-ports.sources, names ports.ubuntu.com for arm64 alone, with the
# suites of Ubuntu's own archive hosts that the machine uses; no other source is changed (apt
# skips the architectures an archive does not list). It adds none beside an arm64 source the
# machine already has. `--undo-arm64` removes that file again. Where no archive serves arm64, the
# set-up says why in one line, takes the file away again and installs everything else; the arm64
# part of the tests is then skipped. An apt error fails the set-up with apt's own messages.
# Usage: scripts/setup.sh [run|test]
#        scripts/setup.sh --list run|test    prints the set's packages, one a line; installs nothing
#        scripts/setup.sh --undo-arm64       removes the ports file and updates apt's lists
#        scripts/setup.sh --arm64-available  exit 0 when the arm64 packages are installed; else
#          prints why not: exit 1 where the machine's archives serve no arm64 (the arm64 part is
#          skipped), exit 2 where they do, where arm64 was never added (the set-up installs them)
#          and where apt or anything else fails (with apt's message)
# TAVIK_ARM64_AS_ABSENT=1 takes the arm64 packages as not installed: on a machine that has them,
# it shows what the set-up and the arm64 part do on one that has not. apt's files are found
# through apt-config (APT_CONFIG), the distribution through TAVIK_OS_RELEASE (/etc/os-release).
set -euo pipefail
# --arm64-available answers 1 for "no archive serves arm64" alone: anything that fails unforeseen
# answers 2, never 1.
if [ "${1:-}" = --arm64-available ]; then
  set -E
  trap 'echo "setup: --arm64-available failed (line $LINENO)"; exit 2' ERR
fi
run_packages=(
  # build
  cmake g++ make pkg-config
  # libraries
  libglew-dev libgl-dev libglu1-mesa-dev libx11-dev
  # the Wayland host: client library and wayland-scanner, the protocol descriptions, EGL,
  # libdecor's window frame (with its drawn frame for compositors without server-side ones),
  # Pango and cairo for the message box
  libwayland-dev libwayland-bin wayland-protocols libegl-dev libdecor-0-dev
  libdecor-0-plugin-1-cairo libpango1.0-dev libcairo2-dev
  # the Wayland host's keymap (the compositor's, read through libxkbcommon)
  libxkbcommon-dev
  # the window icon, rendered from the SVG at build time and read back into the program
  librsvg2-bin libpng-dev
  # Mesa's software renderer, and a virtual display for headless runs: the run command looks for
  # a display with xdpyinfo, and its screenshot is written through ImageMagick
  libgl1-mesa-dri libglx-mesa0 xvfb xauth x11-utils imagemagick
)

test_packages=(
  # test and benchmark libraries; a JSON reader for sway's window tree; XTest, which types on an X
  # server's own keyboard
  libgtest-dev libbenchmark-dev nlohmann-json3-dev libxtst-dev
  # whole-program tests on Wayland: headless compositors (no X server), their screenshot tools,
  # and a virtual keyboard that types into sway's windows
  sway weston grim wtype
  # the desktops the whole-program tests run on: GNOME and KDE Plasma on Wayland (KWin's Breeze
  # frames: without them windows get none), and on X11 the window managers of Xfce, KDE Plasma,
  # GNOME and openbox, driven with wmctrl; each on private D-Bus buses, called with dbus-send
  # (GNOME) and a helper on GIO (KDE)
  gnome-shell mutter kwin-wayland kwin-x11 kwin-style-breeze xfwm4 openbox wmctrl dbus-daemon
  dbus-bin dbus-x11 libglib2.0-dev qdbus-qt5 xdotool
  # KDE's output management protocol, through which the KWin cases change the output's scale
  plasma-wayland-protocols
  # the cursor theme whose arrow the pointer case asks for, at twice 32 pixels
  adwaita-icon-theme
  # GL tests: glxinfo and the gears demos the host figures compare with
  mesa-utils
  # image reader: sanitizers, fuzzing, memcheck, the benchmark's peer
  clang-14 libclang-rt-14-dev libfuzzer-14-dev valgrind libstb-dev
  # the Windows program: cross-compiler, Wine, and the tools that fetch GLEW's source
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 dpkg-dev
  # the packages (scripts/package.sh): the icon's PNG sizes and the MSI's .ico, the zip, the MSI
  # and its pinned summary information
  librsvg2-bin icoutils zip wixl msitools faketime
  # checking the packages: the zip's listing, the .deb (lintian, hardening-check from devscripts,
  # the desktop entry, the AppStream metadata)
  unzip desktop-file-utils lintian devscripts appstream
  # the Debian 13 root that today's desktops run in (scripts/debian13-root.sh), the keys that
  # mmdebstrap checks Debian's archive with (not on Ubuntu by default), what isolates the
  # programs started there, and what maps a user's subordinate ids into the user namespaces in
  # which a user makes and uses the root
  mmdebstrap debian-archive-keyring gpg bubblewrap uidmap
  # the scripts' own tests
  shellcheck bats
)

# The arm64 program (the arm64 preset, its .deb and its tests under emulation): the cross compiler,
# qemu's user-mode emulator, and the arm64 libraries of the build (headers and pkg-config files of
# the run's libraries), of its unit tests (GoogleTest, XTest) and of its run (Mesa's renderers).
# Debian's multiarch installs them beside the build machine's own.
arm64_packages=(
  g++-aarch64-linux-gnu qemu-user
  libc6-dev:arm64 libglew-dev:arm64 libgl-dev:arm64 libglu1-mesa-dev:arm64 libx11-dev:arm64
  libwayland-dev:arm64 libegl-dev:arm64 libdecor-0-dev:arm64 libdecor-0-plugin-1-cairo:arm64
  libpango1.0-dev:arm64 libcairo2-dev:arm64 libxkbcommon-dev:arm64
  # the icon tool that runs (emulated) while the arm64 tree builds
  libpng-dev:arm64
  libgtest-dev:arm64 libxtst-dev:arm64
  libgl1-mesa-dri:arm64 libglx-mesa0:arm64 libegl-mesa0:arm64
)

# A name without an architecture is the build machine's package (or an architecture-independent
# one), whichever other architectures' packages of that name are installed beside it.
native=$(dpkg --print-architecture)
# Prints those of the given packages that are not installed, one a line.
Missing() {
  local package name arch
  for package in "$@"; do
    name=${package%:*} arch=${package##*:}
    [ "$name" != "$package" ] || arch=$native
    if [ "$package" != "$name" ] && [ -n "${TAVIK_ARM64_AS_ABSENT:-}" ]; then
      echo "$package"
      continue
    fi
    dpkg-query -W -f='${Architecture} ${db:Status-Status}\n' "$name" 2>/dev/null |
      grep -qE "^($arch|all) installed$" || echo "$package"
  done
}

# --- arm64: where its packages come from, and whether there are any
sourceparts=""
eval "$(apt-config shell sourceparts Dir::Etc::sourceparts/d)"
ports_sources=${sourceparts%/}/tavik-arm64-ports.sources
# Whether an archive of the machine serves arm64 packages, by the lists of the last update:
# 0 when one does, 1 when none does; 2 when apt cannot say, with apt's messages on stdout. An
# installed libc6:arm64 does not count: madison lists the archives' versions only.
Arm64Served() {
  local out status=0
  out=$(apt-cache madison libc6:arm64 2>&1) || status=$?
  if [ $status -ne 0 ] || grep -q '^E:' <<<"$out"; then
    echo "$out"
    return 2
  fi
  grep -q ' | ' <<<"$out"
}
Arm64NotServed() {
  local where="this machine's archives"
  [ ! -f "$ports_sources" ] || where+=" (Ubuntu's ports archive among them)"
  echo "no arm64 packages from $where: apt-cache madison libc6:arm64 lists none"
}

# Ubuntu's main archive serves amd64 and i386 only; arm64 is on ports.ubuntu.com. A sources file of
# arm64 alone names the ports archive, with the suites and components that the machine takes from
# Ubuntu's own archive hosts (archive, security and the country and cloud mirrors of
# archive.ubuntu.com): the ports archive has those, and no others (no PPA, Ubuntu Pro or
# third-party suite). The other sources stay as they are: apt skips an architecture that an
# archive's Release file does not list. Nothing is added beside a source of the ports archive
# that the machine has already (its own Signed-By would make apt refuse both). Says in one line
# what it did or why not.
ConfigureUbuntuPorts() {
  local codename view file targets suites components
  # shellcheck disable=SC1090
  codename=$(. "$os_release" && echo "${UBUNTU_CODENAME:-${VERSION_CODENAME:-}}")
  # The machine's sources without this file: a view of the parts folder that leaves it out.
  view=$(mktemp -d)
  for file in "$sourceparts"*; do
    if [[ -e $file && $file != "$ports_sources" ]]; then ln -s "$file" "$view/"; fi
  done
  # shellcheck disable=SC2016
  targets=$(apt-get indextargets --no-release-info -o APT::Architectures="$native" \
    -o Dir::Etc::sourceparts="$view" --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(COMPONENT) $(ARCHITECTURE)' |
    awk '$1 == "deb"' | sort -u)
  rm -r "$view"
  local arm64_source
  arm64_source=$(awk '$2 ~ /ports\.ubuntu\.com|\/ubuntu-ports\// { print $2; exit }' <<<"$targets")
  if [ -n "$arm64_source" ]; then
    echo "setup: Ubuntu: arm64 from the machine's own source of the ports archive ($arm64_source)"
    RemovePorts
    return
  fi
  targets=$(awk -v codename="$codename" '
    $2 ~ /^https?:\/\/([a-z0-9-]+\.)*(archive|security)\.ubuntu\.com\/ubuntu\/$/ &&
    ($3 == codename || $3 ~ ("^" codename "-(updates|security|backports|proposed)$")) &&
    $4 ~ /^(main|restricted|universe|multiverse)$/' <<<"$targets")
  suites=$(awk '{ print $3 }' <<<"$targets" | sort -u | xargs)
  components=$(awk '{ print $4 }' <<<"$targets" | sort -u | xargs)
  if [ -z "$codename" ] || [ -z "$suites" ]; then
    echo "setup: Ubuntu: no source of Ubuntu's own archive hosts for ${codename:-this release}," \
      "whose suites the ports archive has: no ports file added"
    RemovePorts
    return
  fi
  local new
  new=$(
    echo "# arm64 beside $native (scripts/setup.sh; scripts/setup.sh --undo-arm64 removes it):"
    echo "# Ubuntu serves it from its ports archive"
    echo "Types: deb"
    echo "URIs: http://ports.ubuntu.com/ubuntu-ports/"
    echo "Suites: $suites"
    echo "Components: $components"
    echo "Architectures: arm64"
    [ ! -f /usr/share/keyrings/ubuntu-archive-keyring.gpg ] ||
      echo "Signed-By: /usr/share/keyrings/ubuntu-archive-keyring.gpg"
  )
  [ "$(cat "$ports_sources" 2>/dev/null)" != "$new" ] || return 0
  echo "setup: Ubuntu: arm64 from ports.ubuntu.com ($suites), in $ports_sources"
  "${sudo[@]}" tee "$ports_sources" <<<"$new" >/dev/null
}
RemovePorts() { [ ! -e "$ports_sources" ] || "${sudo[@]}" rm "$ports_sources"; }

# Updates apt's lists. A failed update is an apt error, shown with apt's messages; only when the
# ports file is what fails (an unreachable ports archive) does the set-up go on without it, and
# then without arm64. Where no archive serves arm64 after the update, the arm64 packages are taken
# out of `missing`, said so in one line, and the ports file goes again. Needs `arm64`, `missing`.
UpdateLists() {
  local messages status=0 served note
  messages=$(mktemp)
  if ! "${sudo[@]}" apt-get update -qq 2>"$messages"; then
    if $arm64 && [ -f "$ports_sources" ]; then
      note=$(grep -m1 -E 'ubuntu-ports' "$messages" | cut -c1-160 || true)
      RemovePorts
      if "${sudo[@]}" apt-get update -qq 2>"$messages"; then
        ShowMessages "$messages"
        NoArm64 "Ubuntu's ports archive fails${note:+ ($note)}"
        return
      fi
    fi
    ShowMessages "$messages"
    echo "setup: apt-get update failed" >&2
    return 1
  fi
  ShowMessages "$messages"
  $arm64 || return 0
  served=$(Arm64Served) || status=$?
  case $status in
    0) ;;
    1)
      NoArm64 "$(Arm64NotServed)"
      [ ! -f "$ports_sources" ] || { RemovePorts && "${sudo[@]}" apt-get update -qq; }
      ;;
    *)
      echo "$served" >&2
      echo "setup: apt cannot say whether arm64 is served" >&2
      return 1
      ;;
  esac
}
# apt's messages, but for its notes that an archive of the machine's own architectures has no arm64.
ShowMessages() {
  grep -vE "^(N|Notice): Skipping acquire of configured file .* support architecture 'arm64'" "$1" >&2 ||
    true
  rm "$1"
}
NoArm64() {
  echo "setup: arm64: skipped: $1"
  arm64=false
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | grep -v ':arm64$')
}

# The test set's Debian 13 root, in a cache outside the clone: made once, again when its package
# list changes.
MakeRoot() {
  [ "$1" != test ] || "$(dirname "$0")/debian13-root.sh" make >/dev/null
}

# Answers --arm64-available (above).
Arm64Available() {
  local missing status=0 answer
  missing=$(Missing "${arm64_packages[@]}" | xargs)
  [ -n "$missing" ] || exit 0
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    echo "the arm64 architecture is not added: scripts/setup.sh test adds it and installs $missing"
    exit 2
  fi
  answer=$(Arm64Served) || status=$?
  case $status in
    0) echo "the machine's archives serve arm64, but $missing are not installed:" \
      "scripts/setup.sh test installs them" ;;
    1) Arm64NotServed; exit 1 ;;
    *) echo "apt cannot say whether the machine's archives serve arm64: $answer" ;;
  esac
  exit 2
}

os_release=${TAVIK_OS_RELEASE:-/etc/os-release}
# sudo, where the machine's root is needed: apt and its sources. It keeps none of the caller's
# variables, so apt is told on its command line to ask nothing.
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo env DEBIAN_FRONTEND=noninteractive)
# Sourced (by the scripts' tests): the functions alone.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

case ${1:-test} in
  --list) list=${2:-} ;;
  --arm64-available) Arm64Available ;;
  --undo-arm64)
    [ -e "$ports_sources" ] || { echo "setup: no $ports_sources: nothing to undo"; exit 0; }
    RemovePorts
    echo "setup: removed $ports_sources; the arm64 architecture stays (dpkg --remove-architecture" \
      "arm64 removes it once no arm64 package is installed)"
    "${sudo[@]}" apt-get update -qq
    exit 0
    ;;
  run | test) list="" ;;
  *)
    echo "usage: $0 [run|test] | --list run|test | --undo-arm64 | --arm64-available" >&2
    exit 2
    ;;
esac
set=${list:-${1:-test}}
case $set in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}" "${arm64_packages[@]}") ;;
  *) echo "usage: $0 --list run|test" >&2; exit 2 ;;
esac
[ -z "$list" ] || { printf '%s\n' "${packages[@]}"; exit 0; }

mapfile -t missing < <(Missing "${packages[@]}")
[ ${#missing[@]} -ne 0 ] || { MakeRoot "$set"; exit 0; }

export DEBIAN_FRONTEND=noninteractive
arm64=false
[[ " ${missing[*]}" != *:arm64* ]] || arm64=true
if $arm64; then
  # The arm64 packages need the architecture known to dpkg before apt's lists are read.
  dpkg --print-foreign-architectures | grep -qx arm64 || "${sudo[@]}" dpkg --add-architecture arm64
  # shellcheck disable=SC1090
  if (. "$os_release" && [[ $ID == ubuntu || " ${ID_LIKE:-} " == *" ubuntu "* ]]) &&
    [[ $native == amd64 || $native == i386 ]]; then
    ConfigureUbuntuPorts
  fi
fi
UpdateLists
if [ ${#missing[@]} -ne 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
MakeRoot "$set"
echo "setup: done"
