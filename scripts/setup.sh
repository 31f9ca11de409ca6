#!/usr/bin/env bash
# Installs the Debian packages Tavik needs: `run` what building and running the viewer needs (a
# compiler, CMake, the libraries' headers, Mesa, and a virtual X display with the screenshot
# tool's needs for headless runs); `test` that and the whole test bench besides (the desktops and
# compositors the tests start, Wine and MinGW, the sanitizers' and fuzzer's compiler, the
# packaging and package-checking tools). Without an argument: `test`.
# Idempotent: says nothing and changes nothing when everything is already installed.
# Usage: scripts/setup.sh [run|test]
#        scripts/setup.sh --list run|test   prints the set's packages, one a line; installs nothing
set -euo pipefail
list=false
[ "${1:-}" != --list ] || { list=true; shift; }

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
  # the Debian 13 root that today's desktops run in (scripts/debian13-root.sh), and what isolates
  # the programs started there
  mmdebstrap bubblewrap
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
missing=()
for package in "${packages[@]}"; do
  name=${package%:*} arch=${package##*:}
  [ "$name" != "$package" ] || arch=$native
  dpkg-query -W -f='${Architecture} ${db:Status-Status}\n' "$name" 2>/dev/null |
    grep -qE "^($arch|all) installed$" || missing+=("$package")
done
# The test set's Debian 13 root, in a cache outside the clone: made once, again when its package
# list changes.
make_root() {
  [ "${1:-test}" != test ] || "$(dirname "$0")/debian13-root.sh" make >/dev/null
}
[ ${#missing[@]} -ne 0 ] || { make_root "${1:-test}"; exit 0; }

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# The arm64 packages need the architecture known to dpkg before apt's lists are read.
if [[ " ${missing[*]}" == *:arm64* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  "${sudo[@]}" dpkg --add-architecture arm64
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
make_root "${1:-test}"
echo "setup: done"
