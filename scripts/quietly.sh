# shellcheck shell=bash
# Sourced by the build scripts. quietly runs a command with its output (standard output and
# error) held back, and prints that output when the command fails: ninja prints the compiler's
# messages on standard output, so a failed build shows why it failed and a good one stays quiet.
quietly() {
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$log"
    echo "failed (status $status): $*" >&2
  fi
  rm -f "$log"
  return "$status"
}
