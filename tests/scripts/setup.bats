#!/usr/bin/env bats
# scripts/setup.sh's apt part on copies: apt reads a sources folder of the test's own (APT_CONFIG),
# dpkg an admin folder of its own (DPKG_ADMINDIR); apt-get's update and install, and apt-cache's
# madison where a case says, are stand-ins on the PATH. No network, no root.

setup() {
  scripts=$BATS_TEST_DIRNAME/../../scripts
  t=$BATS_TEST_TMPDIR
  mkdir -p "$t"/etc/{apt.conf.d,sources.list.d} "$t"/{lists/partial,cache,dpkg,bin}
  printf 'Dir::Etc "%s/etc"; Dir::State::Lists "%s/lists"; Dir::State::status "%s/dpkg/status";
    Dir::Cache "%s/cache";\n' "$t" "$t" "$t" "$t" >"$t/apt.conf"
  export APT_CONFIG=$t/apt.conf DPKG_ADMINDIR=$t/dpkg TAVIK_OS_RELEASE=$t/os-release
  printf 'amd64\ni386\narm64\n' >"$t/dpkg/arch"
  : >"$t/dpkg/status"
  # The stand-ins: apt-get's update fails while the file FAIL_WITH names is there, or with
  # FAIL_WITH=arm64 unless it leaves arm64 out; madison answers MADISON where it is set.
  cat >"$t/bin/apt-get" <<'STANDIN'
#!/bin/bash
[[ $1 == update ]] || exec /usr/bin/apt-get "$@"
if [[ ${FAIL_WITH:-} == arm64 && $* != *APT::Architectures* || -e ${FAIL_WITH:-/none} ]]; then
  echo "E: Failed to fetch binary-arm64/Packages.xz  Hash Sum mismatch" >&2
  exit 100
fi
STANDIN
  cat >"$t/bin/apt-cache" <<'STANDIN'
#!/bin/bash
[[ $1 == madison && -n ${MADISON+set} ]] || exec /usr/bin/apt-cache "$@"
echo "$MADISON"
[[ $MADISON != E:* ]] || exit 100
STANDIN
  printf '#!/bin/sh\nexec "$@"\n' >"$t/bin/sudo"
  chmod +x "$t"/bin/*
  export PATH=$t/bin:$PATH
  ports=$t/etc/sources.list.d/tavik-arm64-ports.sources
}

# An Ubuntu 24.04 machine with i386 (Steam's multiarch), a PPA in a symlinked file, Ubuntu Pro
# and a third-party repository whose path ends in /ubuntu/.
ubuntu() {
  printf 'ID=ubuntu\nVERSION_CODENAME=noble\nUBUNTU_CODENAME=noble\n' >"$t/os-release"
  local d=$t/etc/sources.list.d
  for host in archive security; do
    printf 'Types: deb\nURIs: http://%s.ubuntu.com/ubuntu/\nSuites: %s\nComponents: %s\n\n' \
      "$host" "$([ $host = archive ] && echo noble noble-updates noble-backports || echo noble-security)" \
      "main restricted universe multiverse"
  done >"$d/ubuntu.sources"
  echo 'deb https://ppa.launchpadcontent.net/kisak/kisak-mesa/ubuntu/ noble main' >"$t/ppa.list"
  ln -s "$t/ppa.list" "$d/kisak-mesa.list"
  printf 'Types: deb\nURIs: https://esm.ubuntu.com/apps/ubuntu\nSuites: noble-apps-security %s\n%s\n' \
    noble-apps-updates 'Components: main' >"$d/ubuntu-esm-apps.sources"
  echo 'deb [arch=amd64,arm64] https://download.example.org/ubuntu/ noble main' >"$d/x.list"
}
# The sources folder as it is: each file's kind, link and contents.
snapshot() { (cd "$t/etc" && find . -printf '%y %p %l\n' -type f -exec md5sum {} + | sort); }
configure() { bash -c '. "$1/setup.sh" && ConfigureUbuntuPorts' bash "$scripts"; }

@test "Ubuntu: arm64 from the ports archive for the Ubuntu archive's suites alone; the rest untouched" {
  ubuntu
  before=$(snapshot)
  run configure
  [ "$status" -eq 0 ]
  grep -qx 'Suites: noble noble-backports noble-security noble-updates' "$ports"
  grep -qx 'Components: main multiverse restricted universe' "$ports"
  grep -qx 'Architectures: arm64' "$ports"
  # Nothing else changed: the symlink is one still, and apt still reads i386 from the archive.
  diff <(echo "$before") <(snapshot | grep -v tavik-arm64-ports)
  apt-get indextargets --no-release-info --format '$(ARCHITECTURE) $(REPO_URI)' |
    grep -qx 'i386 http://archive.ubuntu.com/ubuntu/'
  after=$(snapshot)
  run configure
  [ "$status" -eq 0 ]
  [ -z "$output" ]
  [ "$(snapshot)" = "$after" ]
  run "$scripts/setup.sh" --undo-arm64
  [ "$status" -eq 0 ]
  [ "$(snapshot)" = "$before" ]
}

@test "Ubuntu: nothing added beside a source of the ports archive, nor without Ubuntu's archive" {
  ubuntu
  for source in 'deb [arch=arm64 signed-by=/other.gpg] http://ports.ubuntu.com/ubuntu-ports noble main' \
    'deb [arch=arm64] http://mirror.example.org/ubuntu-ports/ noble main' ''; do
    echo "$source" >"$t/etc/sources.list.d/x.list"
    [ -n "$source" ] || rm "$t/etc/sources.list.d/ubuntu.sources"
    before=$(snapshot)
    run configure
    [ "$status" -eq 0 ]
    [ -n "$output" ]
    [ "$(snapshot)" = "$before" ]
  done
}

# Runs the set-up's update of the given set of missing packages; prints what stays missing.
update() {
  bash -c '. "$1/setup.sh" && missing=("${@:2}") arm64=true && UpdateLists && echo "missing: ${missing[*]}"' \
    bash "$scripts" "$@"
}

@test "the update: arm64 kept where it is served, dropped with the ports file where not; an apt error fails" {
  MADISON='   libc6 | 2.36-9 | http://deb.debian.org/debian bookworm/main arm64 Packages' run update cmake libc6-dev:arm64
  [ "$status" -eq 0 ]
  [[ $output == *"missing: cmake libc6-dev:arm64" ]]
  # Debian: an update that fails (a hash sum mismatch on the arm64 lists) is an error, never a skip.
  FAIL_WITH=arm64 run update cmake libc6-dev:arm64
  [ "$status" -ne 0 ]
  [[ $output == *"E: Failed to fetch"* ]]
  MADISON='E: The list of sources could not be read.' run update cmake libc6-dev:arm64
  [ "$status" -ne 0 ]
  [[ $output == *"E: The list of sources could not be read."* ]]
  # Ubuntu: an unreachable ports archive, or one without arm64, takes the ports file away again.
  for answer in "FAIL_WITH=$ports" "MADISON="; do
    echo "Types: deb" >"$ports"
    (export "${answer?}"; update cmake libc6-dev:arm64 >"$t/out" 2>&1)
    [ ! -e "$ports" ]
    [[ $(tail -n1 "$t/out") == "missing: cmake" ]]
  done
}

# Arm64Answer, as the test command, scripts/package.sh and scripts/check-packages.sh take it:
# prints its result and the arm64 it set.
answer() {
  bash -c '. "$1/arm64-answer.sh" && Arm64Answer t; echo "result $? arm64 ${arm64:-}"' bash "$scripts"
}

@test "the arm64 answer: installed, not served, or a failure (never a skip)" {
  # The arm64 packages installed.
  "$scripts/setup.sh" --list test | sed 's/:arm64$/ arm64/' | while read -r name arch; do
    printf 'Package: %s\nStatus: install ok installed\nArchitecture: %s\nMulti-Arch: same\nVersion: 1\n\n' \
      "$name" "${arch:-amd64}"
  done >"$t/dpkg/status"
  run answer
  [ "${lines[-1]}" = "result 0 arm64 true" ]
  # Not installed, and no archive serves arm64 (no lists).
  : >"$t/dpkg/status"
  run answer
  [ "${lines[-1]}" = "result 0 arm64 false" ]
  # apt cannot read a source: a failure with apt's message.
  echo 'deb http://deb.debian.org/debian' >"$t/etc/sources.list.d/broken.list"
  run answer
  [ "${lines[-1]}" = "result 1 arm64 " ]
  [[ $output == *"E: Malformed entry 1"* ]]
  rm "$t/etc/sources.list.d/broken.list"
  # arm64 never added; and dpkg failing under set -e.
  printf 'amd64\n' >"$t/dpkg/arch"
  run answer
  [ "${lines[-1]}" = "result 1 arm64 " ]
  printf '#!/bin/sh\nexit 1\n' >"$t/bin/dpkg" && chmod +x "$t/bin/dpkg"
  run answer
  [ "${lines[-1]}" = "result 1 arm64 " ]
}
