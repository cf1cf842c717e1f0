#!/usr/bin/env bash
# Configures and builds zuq in the given build directory; further arguments go to cmake. Quiet
# when it succeeds; a failure prints what cmake or the compiler said.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
# shellcheck source=scripts/quietly.sh
. "$top/scripts/quietly.sh"
quietly cmake -S "$top" -B "$dir" -G Ninja "$@"
quietly ninja -C "$dir"
