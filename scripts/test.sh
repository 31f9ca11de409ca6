#!/usr/bin/env bash
# Sets up, builds and runs every test of Tavik: the scripts' own (ShellCheck, bats), the native
# debug build, the sanitizer build, the image reader under memcheck and the fuzzer, the arm64
# build under qemu-aarch64, the Windows build under Wine, the packages (built twice and
# compared), and the stress cases. GL tests run on Mesa's software renderer on a private Xvfb
# display; the Wayland cases (named wayland.*) start their own headless sway, weston or
# gnome-shell; those named debian13.* run Xvfb, sway, weston, gnome-shell or KWin and the viewer
# in a Debian 13 root, where the program is also built with that system's GCC and Clang. The
# arm64 part is skipped, said so, where no archive serves arm64; an apt error fails the command.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

step() { printf '\n==== %s\n' "$*"; }

step "set-up"
scripts/setup.sh test
# The arm64 part runs where the arm64 packages are installed, and is skipped, said so, where the
# machine's archives serve no arm64.
. scripts/arm64-answer.sh
Arm64Answer test || exit 1
arm64_program=""
! $arm64 || arm64_program=$PWD/build/arm64/bin/tavik

step "native debug build"
# With the arm64 program's path: the tree also builds the whole-program cases that run it.
# And with the Debian 13 root that the set-up made: the cases on that system's desktops.
$arm64 || echo "the arm64 program's whole-program cases: skipped: $arm64_reason"
cmake --preset default -DTAVIK_ARM64_PROGRAM="$arm64_program" \
  -DTAVIK_DEBIAN13_ROOT="$(scripts/debian13-root.sh path)" >/dev/null
cmake --build --preset default -j"$jobs"

step "the scripts: ShellCheck, and their tests on copies of apt's files with stand-ins"
ctest --preset default -L '^scripts$' -j"$jobs" --no-tests=error

step "tests (native)"
scripts/with-xvfb.sh ctest --preset default -LE '^(stress|arm64|debian13|scripts)$' -j"$jobs"

step "Debian 13's desktops: Xvfb, sway 1.10, weston 14, GNOME 48 and KWin 6.3, in its root"
debian13_start=$SECONDS
scripts/with-xvfb.sh ctest --preset default -L '^debian13$' -j"$jobs" --no-tests=error
echo "Debian 13's desktops: $((SECONDS - debian13_start)) s"

step "sanitizer build (address, undefined)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"

step "tests (address and undefined-behaviour sanitizers)"
# intercept_tls_get_addr=0: the leak checker's record of dynamically loaded libraries' thread
# storage misreads glibc 2.36's, and scanning the bogus range crashes its tracer at exit now and
# then ("Tracer caught signal 11") after a passing GL case. Without it, that storage (Mesa's,
# suppressed anyway) is not scanned; the program's own memory still is.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  scripts/with-xvfb.sh ctest --preset asan -LE '^(stress|scripts)$' -j"$jobs"

step "image reader: memcheck and bounded fuzzing"
scripts/test-image.sh

if $arm64; then
  step "arm64 build (cross-compiled), the reader's and the layer's tests under qemu-aarch64"
  arm64_start=$SECONDS
  cmake --preset arm64 >/dev/null
  cmake --build --preset arm64 -j"$jobs"
  scripts/with-xvfb.sh ctest --preset arm64 -j"$jobs"
  step "the arm64 program under qemu-aarch64: the whole-program cases on Xvfb and sway"
  ctest --preset default -L '^arm64$' -j"$jobs" --no-tests=error
  echo "arm64 build and tests: $((SECONDS - arm64_start)) s"
else
  step "arm64: skipped: $arm64_reason"
fi

step "today's compilers: the program with GCC 14 and Clang 19 in the Debian 13 root, -Werror"
compilers_start=$SECONDS
scripts/check-compilers.sh
echo "today's compilers: $((SECONDS - compilers_start)) s"

step "Windows build under Wine"
scripts/test-windows.sh

step "packages: built twice from two clean clones, compared, checked (lintian, Wine installs the MSI)"
scripts/check-packages.sh

step "stress cases"
scripts/with-xvfb.sh ctest --preset default -L stress -j1 --no-tests=error
step "stress cases of the Windows program under Wine"
ctest --test-dir build/wine -L stress -j1 --no-tests=error --output-on-failure

step "all tests passed"
