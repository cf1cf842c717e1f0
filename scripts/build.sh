#!/usr/bin/env bash
# Configures and builds zuq in the given build directory; further arguments go to cmake.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
ninja -C "$dir" >/dev/null
