#!/usr/bin/env bats
# scripts/setup.sh's apt part on copies: apt and dpkg read folders of the test's own (APT_CONFIG,
# DPKG_ADMINDIR); apt-get's update, and madison where a case says, are stand-ins. No network or root.

setup() {
  scripts=$BATS_TEST_DIRNAME/../../scripts t=$BATS_TEST_TMPDIR
  mkdir -p "$t"/etc/{apt.conf.d,sources.list.d} "$t"/{lists/partial,cache,dpkg,bin}
  printf 'Dir::Etc "%s/etc"; Dir::State::Lists "%s/lists"; Dir::State::status "%s/dpkg/status";
    Dir::Cache "%s/cache";\n' "$t" "$t" "$t" "$t" >"$t/apt.conf"
  export APT_CONFIG=$t/apt.conf DPKG_ADMINDIR=$t/dpkg TAVIK_OS_RELEASE=$t/os-release PATH=$t/bin:$PATH
  printf 'amd64\ni386\narm64\n' >"$t/dpkg/arch"
  : >"$t/dpkg/status"
  # The update fails while the file FAIL_WITH names is there, or with FAIL_WITH=arm64 unless it
  # leaves arm64 out; madison answers MADISON where it is set.
  printf '#!/bin/bash\n[[ $1 == update ]] || exec /usr/bin/apt-get "$@"
[[ ${FAIL_WITH:-} == arm64 && $* != *APT::Architectures* || -e ${FAIL_WITH:-/none} ]] || exit 0
echo "E: Failed to fetch binary-arm64/Packages.xz  Hash Sum mismatch" >&2; exit 100\n' >"$t/bin/apt-get"
  printf '#!/bin/bash\n[[ $1 == madison && -n ${MADISON+set} ]] || exec /usr/bin/apt-cache "$@"
echo "$MADISON"\n[[ $MADISON != E:* ]]\n' >"$t/bin/apt-cache"
  printf '#!/bin/sh\nexec "$@"\n' >"$t/bin/sudo"
  chmod +x "$t"/bin/*
  ports=$t/etc/sources.list.d/tavik-arm64-ports.sources
}

# Ubuntu 24.04 with i386, a PPA in a symlinked file, Ubuntu Pro, and a third party's /ubuntu/.
ubuntu() {
  local d=$t/etc/sources.list.d deb822='Types: deb\nURIs: %s\nSuites: %s\nComponents: %s\n\n'
  printf 'ID=ubuntu\nVERSION_CODENAME=noble\nUBUNTU_CODENAME=noble\n' >"$t/os-release"
  printf "$deb822$deb822" http://archive.ubuntu.com/ubuntu/ 'noble noble-updates noble-backports' \
    'main restricted universe multiverse' http://security.ubuntu.com/ubuntu/ noble-security \
    'main restricted universe multiverse' >"$d/ubuntu.sources"
  printf "$deb822" https://esm.ubuntu.com/apps/ubuntu 'noble-apps-security noble-apps-updates' main \
    >"$d/ubuntu-esm-apps.sources"
  echo 'deb https://ppa.launchpadcontent.net/kisak/kisak-mesa/ubuntu/ noble main' >"$t/ppa.list"
  ln -s "$t/ppa.list" "$d/kisak-mesa.list"
  echo 'deb [arch=amd64,arm64] https://download.example.org/ubuntu/ noble main' >"$d/x.list"
}
# The sources folder as it is: each file's kind, link and contents.
snapshot() { (cd "$t/etc" && find . -printf '%y %p %l\n' -type f -exec md5sum {} + | sort); }
configure() { bash -c '. "$1/setup.sh" && ConfigureUbuntuPorts' bash "$scripts"; }
@test "Ubuntu: arm64 from the ports archive for the Ubuntu archive's suites alone; the rest untouched" {
  ubuntu
  before=$(snapshot)
  configure
  grep -qx 'Suites: noble noble-backports noble-security noble-updates' "$ports"
  grep -qx 'Components: main multiverse restricted universe' "$ports"
  grep -qx 'Architectures: arm64' "$ports"
  # Nothing else changed: the symlink is one still, and apt still reads i386 from the archive.
  diff <(echo "$before") <(snapshot | grep -v tavik-arm64-ports)
  apt-get indextargets --no-release-info --format '$(ARCHITECTURE) $(REPO_URI)' |
    grep -qx 'i386 http://archive.ubuntu.com/ubuntu/'
  after=$(snapshot)
  [ -z "$(configure)" ]
  [ "$(snapshot)" = "$after" ]
  "$scripts/setup.sh" --undo-arm64
  [ "$(snapshot)" = "$before" ]
}

@test "Ubuntu: nothing added beside a source of the ports archive, nor without Ubuntu's archive" {
  ubuntu
  for source in 'deb [arch=arm64 signed-by=/other.gpg] http://ports.ubuntu.com/ubuntu-ports noble main' \
    'deb [arch=arm64] http://mirror.example.org/ubuntu-ports/ noble main' ''; do
    echo "$source" >"$t/etc/sources.list.d/x.list"
    [ -n "$source" ] || rm "$t/etc/sources.list.d/ubuntu.sources"
    before=$(snapshot)
    [ -n "$(configure)" ]
    [ "$(snapshot)" = "$before" ]
  done
}

# Runs a function: checks the last line it prints, and that its output holds a message of apt's.
expect() {
  run "${@:3}"
  [ "${lines[-1]}" = "$1" ]
  [[ $output == *"$2"* ]]
}
# The set-up's update, with cmake and an arm64 package missing: what stays missing, or "failed".
update() {
  bash -c '. "$1/setup.sh" && missing=(cmake libc6-dev:arm64) arm64=true &&
    if UpdateLists; then echo "missing: ${missing[*]}"; else echo failed; fi' bash "$scripts"
}
@test "the update: arm64 kept where served, dropped with the ports file where not; an apt error fails" {
  MADISON='libc6 | 2.36-9 | http://deb.debian.org/debian bookworm/main arm64 Packages' \
    expect "missing: cmake libc6-dev:arm64" "" update
  # Debian: an update that fails (a hash sum mismatch on the arm64 lists) is an error, never a skip.
  FAIL_WITH=arm64 expect failed "E: Failed to fetch" update
  MADISON='E: The list of sources could not be read.' expect failed "E: The list of sources" update
  # Ubuntu: an unreachable ports archive, or one without arm64, takes the ports file away again.
  echo "Types: deb" >"$ports"
  FAIL_WITH=$ports expect "missing: cmake" "" update
  [ ! -e "$ports" ]
  echo "Types: deb" >"$ports"
  MADISON='' expect "missing: cmake" "" update
  [ ! -e "$ports" ]
}

# Arm64Answer, as the test command, scripts/package.sh and scripts/check-packages.sh take it:
# its result and the arm64 it set.
answer() {
  bash -c '. "$1/arm64-answer.sh" && Arm64Answer t; echo "result $? arm64 ${arm64:-}"' bash "$scripts"
}
@test "the arm64 answer: installed, not served, or a failure (never a skip)" {
  "$scripts/setup.sh" --list test | awk -F: '{ printf "Package: %s\nStatus: install ok installed\n" \
    "Architecture: %s\nMulti-Arch: same\nVersion: 1\n\n", $1, $2 ? $2 : "amd64" }' >"$t/dpkg/status"
  expect "result 0 arm64 true" "" answer
  : >"$t/dpkg/status"
  expect "result 0 arm64 false" "" answer # no lists: no archive serves arm64
  echo 'deb http://deb.debian.org/debian' >"$t/etc/sources.list.d/broken.list"
  expect "result 1 arm64 " "E: Malformed entry 1" answer
  rm "$t/etc/sources.list.d/broken.list"
  printf 'amd64\n' >"$t/dpkg/arch"
  expect "result 1 arm64 " "" answer # arm64 never added
  printf '#!/bin/sh\nexit 1\n' >"$t/bin/dpkg"
  chmod +x "$t/bin/dpkg"
  expect "result 1 arm64 " "" answer # dpkg failing under set -e
}
