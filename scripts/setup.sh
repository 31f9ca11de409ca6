#!/usr/bin/env bash
# Installs the Debian packages Tavik needs: `run` what building and running the viewer needs (a
# compiler, CMake, the libraries' headers, Mesa, and a virtual X display with the screenshot
# tool's needs for headless runs); `test` that and the whole test bench besides (the desktops and
# compositors the tests start, Wine and MinGW, the sanitizers' and fuzzer's compiler, the
# packaging and package-checking tools). Without an argument: `test`.
# Idempotent: says nothing and changes nothing when everything is already installed.
# The arm64 packages come from Debian's archive beside the machine's own, on Ubuntu from its ports
# archive, which the set-up adds. Where no archive of the machine serves arm64, the set-up says so
# in one line and installs everything else; the arm64 part of the tests is then skipped.
# Usage: scripts/setup.sh [run|test]
#        scripts/setup.sh --list run|test    prints the set's packages, one a line; installs nothing
#        scripts/setup.sh --arm64-available  exit 0 when the arm64 packages are installed; else
#          prints why not: exit 1 where the machine's archives serve no arm64 (the arm64 part is
#          skipped), exit 2 where they do or where arm64 was never added (the set-up installs them)
# TAVIK_ARM64_AS_ABSENT=1 takes the arm64 packages as not installed: on a machine that has them,
# it shows what the set-up and the arm64 part do on one that has not.
set -euo pipefail
list=false arm64_query=false
[ "${1:-}" != --list ] || { list=true; shift; }
[ "${1:-}" != --arm64-available ] || { arm64_query=true; set -- test; }

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
  # (GNOME) and a helper on libdbus (KDE)
  gnome-shell mutter kwin-wayland kwin-x11 kwin-style-breeze xfwm4 openbox wmctrl dbus-daemon
  dbus-bin dbus-x11 libdbus-1-dev qdbus-qt5 xdotool
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
  # the Debian 13 root that today's desktops run in (scripts/debian13-root.sh), what isolates
  # the programs started there, and what maps a user's subordinate ids into the user namespaces
  # in which a user makes and uses the root
  mmdebstrap bubblewrap uidmap
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

case ${1:-test} in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}" "${arm64_packages[@]}") ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac

! $list || { printf '%s\n' "${packages[@]}"; exit 0; }

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
ports_sources=/etc/apt/sources.list.d/tavik-arm64-ports.sources
# True when an archive of the machine serves arm64 packages, by the lists of the last update. An
# installed libc6:arm64 does not count: madison lists the archives' versions only.
Arm64Served() { [ -n "$(apt-cache madison libc6:arm64 2>/dev/null)" ]; }
Arm64NotServed() {
  local where="this machine's archives"
  [ ! -f "$ports_sources" ] || where+=" (Ubuntu's ports archive among them)"
  echo "no arm64 packages from $where: apt-cache madison libc6:arm64 lists none"
}

if $arm64_query; then
  missing=$(Missing "${arm64_packages[@]}" | xargs)
  [ -n "$missing" ] || exit 0
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    echo "the arm64 architecture is not added: scripts/setup.sh test adds it and installs $missing"
    exit 2
  fi
  Arm64Served || { Arm64NotServed; exit 1; }
  echo "the machine's archives serve arm64, but $missing are not installed:" \
    "scripts/setup.sh test installs them"
  exit 2
fi

# Ubuntu's main archive serves amd64 and i386 only; arm64 is on ports.ubuntu.com. As Ubuntu
# documents for multiarch: the existing sources are limited to the machine's architecture
# ([arch=] in one-line .list files, Architectures: in deb822 .sources files) and a sources file
# of arm64 alone names the ports archive, with the suites and components of Ubuntu's archive.
ConfigureUbuntuPorts() {
  local file new targets suites components
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    "${sudo[@]}" sed -E -i "/^[[:space:]]*deb[[:space:]]/{/^[[:space:]]*deb[[:space:]]+\[[^]]*arch=/!{
      s/^([[:space:]]*deb)[[:space:]]+\[/\1 [arch=$native /;t
      s/^([[:space:]]*deb)[[:space:]]+/\1 [arch=$native] /}}" "$file"
  done
  new=$(mktemp)
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f $file && $file != "$ports_sources" ]] || continue
    # A stanza ends at a blank line or at the end of the file; one of type deb without an
    # Architectures field gets one.
    awk -v arch="$native" '
      function End() { if (deb && !archs) print "Architectures: " arch; deb = archs = 0 }
      /^[[:space:]]*$/ { End(); print; next }
      { print }
      tolower($1) == "types:" && (" " $0 " ") ~ /[[:space:]]deb[[:space:]]/ { deb = 1 }
      tolower($1) == "architectures:" { archs = 1 }
      END { End() }' "$file" >"$new"
    cmp -s "$file" "$new" || "${sudo[@]}" cp "$new" "$file"
  done
  rm -f "$new"
  # The entries of Ubuntu's archive, its security archive and mirrors, whose paths end in /ubuntu/.
  # shellcheck disable=SC2016
  targets=$(apt-get indextargets --no-release-info \
    --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(COMPONENT)' |
    awk '$1 == "deb" && $2 ~ /\/ubuntu\/$/')
  suites=$(awk '{ print $3 }' <<<"$targets" | sort -u | xargs)
  components=$(awk '{ print $4 }' <<<"$targets" | sort -u | xargs)
  [ -n "$suites" ] || return 0
  [ -f "$ports_sources" ] ||
    echo "setup: Ubuntu: the sources limited to $native; arm64 from ports.ubuntu.com ($ports_sources)"
  {
    echo "# arm64 beside $native (scripts/setup.sh): Ubuntu serves it from its ports archive"
    echo "Types: deb"
    echo "URIs: http://ports.ubuntu.com/ubuntu-ports/"
    echo "Suites: $suites"
    echo "Components: $components"
    echo "Architectures: arm64"
    [ ! -f /usr/share/keyrings/ubuntu-archive-keyring.gpg ] ||
      echo "Signed-By: /usr/share/keyrings/ubuntu-archive-keyring.gpg"
  } | "${sudo[@]}" tee "$ports_sources" >/dev/null
}

# The test set's Debian 13 root, in a cache outside the clone: made once, again when its package
# list changes.
make_root() {
  [ "${1:-test}" != test ] || "$(dirname "$0")/debian13-root.sh" make >/dev/null
}
mapfile -t missing < <(Missing "${packages[@]}")
[ ${#missing[@]} -ne 0 ] || { make_root "${1:-test}"; exit 0; }

# sudo, where the machine's root is needed: apt and the sources. It keeps no variables of the
# caller's, so apt is told to ask nothing on its command line.
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo env DEBIAN_FRONTEND=noninteractive)
export DEBIAN_FRONTEND=noninteractive
arm64=false
[[ " ${missing[*]}" != *:arm64* ]] || arm64=true
if $arm64; then
  # The arm64 packages need the architecture known to dpkg before apt's lists are read.
  dpkg --print-foreign-architectures | grep -qx arm64 || "${sudo[@]}" dpkg --add-architecture arm64
  # shellcheck disable=SC1091
  if (. /etc/os-release && [[ $ID == ubuntu || " ${ID_LIKE:-} " == *" ubuntu "* ]]) &&
    [[ $native == amd64 || $native == i386 ]]; then
    ConfigureUbuntuPorts
  fi
fi
# apt's messages are held back: those about arm64 (an archive without it, an unreachable ports
# archive) become part of the one line below when no arm64 comes of the update.
messages=$(mktemp)
trap 'rm -f "$messages"' EXIT
if ! "${sudo[@]}" apt-get update -qq 2>"$messages"; then
  # An archive that fails on its arm64 indexes fails the whole update: the lists are made again
  # for the machine's own architecture alone, and arm64 is then found not served.
  if ! $arm64 || ! "${sudo[@]}" apt-get update -qq -o APT::Architectures="$native" 2>>"$messages"; then
    cat "$messages" >&2
    echo "setup: apt-get update failed" >&2
    exit 1
  fi
fi
if $arm64 && ! Arm64Served; then
  grep -vE 'arm64|ubuntu-ports|Some index files failed' "$messages" >&2 || true
  note=$(grep -m1 -E 'arm64|ubuntu-ports' "$messages" | cut -c1-160 || true)
  echo "setup: arm64: skipped: $(Arm64NotServed)${note:+ ($note)}"
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | grep -v ':arm64$')
else
  cat "$messages" >&2
fi
if [ ${#missing[@]} -ne 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
make_root "${1:-test}"
echo "setup: done"
