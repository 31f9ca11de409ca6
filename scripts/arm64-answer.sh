# shellcheck shell=bash disable=SC2034  # it sets its caller's variables
# Sourced by the scripts that build, package or test the arm64 program: Arm64Answer NAME asks
# scripts/setup.sh --arm64-available and sets `arm64` and `arm64_reason`. Three answers: the arm64
# packages are installed (arm64=true); no archive of the machine serves arm64 (arm64=false, the
# reason to show with the skip); anything else (an apt error, arm64 not set up) fails: the answer,
# apt's message with it, goes to stderr after NAME, and the function returns 1.
Arm64Answer() {
  local status=0
  arm64_reason=$("$(dirname "${BASH_SOURCE[0]}")/setup.sh" --arm64-available) || status=$?
  case $status in
    0) arm64=true ;;
    1) arm64=false ;;
    *)
      echo "$1: arm64: $arm64_reason" >&2
      return 1
      ;;
  esac
}
