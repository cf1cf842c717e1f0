#!/usr/bin/env bash
# Installs what is missing, builds zuq twice (Release, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every unit and end-to-end test in both builds; then runs
# each fuzz target for a short time and the end-to-end analyses under ThreadSanitizer.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"

scripts/install-deps.sh

# plink's R plug-in talks to Rserve on port 6311; the tests that use it need it running.
rserve_pid=""
stop_rserve() { [ -n "$rserve_pid" ] && kill "$rserve_pid" 2>/dev/null || true; pkill -f 'Rserve.*6311' 2>/dev/null || true; }
trap stop_rserve EXIT
if command -v Rscript >/dev/null; then
  Rscript -e 'library(Rserve); Rserve(args="--no-save --RS-port 6311")' >/dev/null 2>&1 &
  rserve_pid=$!
fi

jobs=$(nproc)
echo "== Release build"
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release
(cd build/release && ctest --output-on-failure -j "$jobs")

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
scripts/build.sh build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUQ_SANITIZE=ON
(cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")

echo "== Fuzz targets (${FUZZ_SECONDS:-30} s each; scripts/fuzz.sh SECONDS runs them longer)"
scripts/fuzz.sh "${FUZZ_SECONDS:-30}"

echo "== ThreadSanitizer: the end-to-end analyses on eight threads"
scripts/tsan.sh
