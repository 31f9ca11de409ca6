#!/usr/bin/env bats
# The checks judged on known input: scripts/check-compilers.sh on a small program with the
# machine's GCC and Clang; scripts/check-packages.sh's picture of the installed viewer.

setup() { scripts=$BATS_TEST_DIRNAME/../../scripts t=$BATS_TEST_TMPDIR; }
# The compilers check, on the machine instead of the Debian 13 root, on a program that builds
# cleanly (with FIXTURE_WARN: with a warning).
compilers() {
  rm -rf "$t/src" && mkdir "$t/src"
  echo '{"version": 6, "configurePresets": [{"name": "release"}]}' >"$t/src/CMakePresets.json"
  printf 'project(fixture CXX)\nadd_executable(fixture main.cpp)\n' >"$t/src/CMakeLists.txt"
  printf 'int main() { return 0; }\n%s\n' "${FIXTURE_WARN:+int Unfinished() {\}}" >"$t/src/main.cpp"
  bash -c '. "$1/check-compilers.sh" && InRoot() { "$@"; } && src=$2 tmp=$2 &&
    CheckCompilers "gcc g++" "clang-14 clang++-14"' bash "$scripts" "$t/src"
}

@test "the compilers check: each compiler builds its own tree, and a warning fails it" {
  compilers
  FIXTURE_WARN=1 run compilers
  [ "$status" -ne 0 ]
}

textured() { bash -c '. "$1/check-packages.sh" && TexturedBox "$2"' bash "$scripts" "$1"; }
@test "the package check's picture: a box without its texture fails, the grass passes" {
  printf 'P3 5 1 255 0 0 0 255 0 0 0 255 0 0 0 255 255 255 255\n' >"$t/flat.ppm"
  run textured "$t/flat.ppm"
  [ "$status" -ne 0 ]
  textured "$scripts/../res/grass.bmp"
}

@test "the package check makes the folders a .deb holds, and only those" {
  mkdir -p "$t/pkg/DEBIAN" "$t/pkg/usr/libexec/tavik/bin" "$t/into"
  printf 'Package: fixture\nVersion: 1\nArchitecture: all\nMaintainer: x <x@example.org>\nDescription: x\n' \
    >"$t/pkg/DEBIAN/control"
  touch "$t/pkg/usr/libexec/tavik/bin/tavik"
  dpkg-deb -b --root-owner-group "$t/pkg" "$t/fixture.deb" >/dev/null
  bash -c '. "$1/check-packages.sh" && MakeFoldersOf "$2" "$3"' bash "$scripts" "$t/fixture.deb" "$t/into"
  [ -d "$t/into/usr/libexec/tavik/bin" ]
  [ ! -e "$t/into/usr/libexec/tavik/bin/tavik" ]
}
