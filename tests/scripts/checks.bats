#!/usr/bin/env bats
# The checks' own judgement on known input: scripts/check-compilers.sh on a small program with
# the machine's GCC and Clang, and scripts/check-packages.sh's picture of the installed viewer.

setup() { scripts=$BATS_TEST_DIRNAME/../../scripts; }

# The compilers check on the program in compilers/, run on the machine instead of the Debian 13
# root.
compilers() {
  bash -c '. "$1/check-compilers.sh" && InRoot() { "$@"; } && src=$2 tmp=$3 &&
    CheckCompilers "gcc g++" "clang-14 clang++-14"' bash "$scripts" "$BATS_TEST_DIRNAME/compilers" \
    "$BATS_TEST_TMPDIR"
}

@test "the compilers check: each compiler builds its own tree, and a warning fails it" {
  run compilers
  [ "$status" -eq 0 ]
  [[ ${lines[0]} == "check-compilers: GNU "* ]]
  [[ ${lines[1]} == "check-compilers: Clang "* ]]
  FIXTURE_WARN=1 run compilers
  [ "$status" -ne 0 ]
}

@test "the package check's picture: a box without its texture fails, the grass passes" {
  # Five colours: a window whose box was drawn without its texture.
  printf 'P3 5 1 255 0 0 0 255 0 0 0 255 0 0 0 255 255 255 255\n' >"$BATS_TEST_TMPDIR/flat.ppm"
  run bash -c '. "$1/check-packages.sh" && TexturedBox "$2"' bash "$scripts" "$BATS_TEST_TMPDIR/flat.ppm"
  [ "$status" -ne 0 ]
  run bash -c '. "$1/check-packages.sh" && TexturedBox "$2"' bash "$scripts" "$scripts/../res/grass.bmp"
  [ "$status" -eq 0 ]
}
