#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Tavik need.
# Idempotent: says nothing and changes nothing when everything is already installed.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  # libraries
  libglew-dev libgl-dev libglu1-mesa-dev libx11-dev
  libgtest-dev libbenchmark-dev
  # the Wayland host: client library and wayland-scanner, the protocol descriptions, EGL,
  # libdecor's window frame (with its drawn frame for compositors without server-side ones),
  # Pango and cairo for the message box
  libwayland-dev libwayland-bin wayland-protocols libegl-dev libdecor-0-dev
  libdecor-0-plugin-1-cairo libpango1.0-dev libcairo2-dev
  # whole-program tests on Wayland: headless compositors (no X server), their screenshot tools,
  # a JSON reader for sway's window tree and gnome-shell's answers, and a virtual keyboard that
  # types into sway's windows; gnome-shell, its private buses' daemon and the tool that calls it
  sway weston grim nlohmann-json3-dev wtype gnome-shell dbus-daemon dbus-bin
  # KDE Plasma's compositor on its virtual backend, its Breeze window frames (without them
  # windows get none), and libdbus for the helper that drives it through its D-Bus interfaces
  kwin-wayland kwin-style-breeze libdbus-1-dev
  # Mesa's software renderer and a virtual display for the GL tests and headless runs
  libgl1-mesa-dri libglx-mesa0 xvfb xauth mesa-utils x11-utils imagemagick openbox
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
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
