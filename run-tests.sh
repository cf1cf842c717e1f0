#!/usr/bin/env bash
# Installs what is missing, builds zuq twice (Release, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every unit and end-to-end test in both builds; then runs
# each fuzz target for a short time and the end-to-end analyses under ThreadSanitizer.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"

scripts/install-deps.sh

# The plink-route and R plug-in tests skip where plink 1.07 or Rserve is missing, as suits a
# developer's machine; a run of this script must not pass without them, so these variables make
# the tests fail instead, naming what is missing.
export ZUQ_REQUIRE_PLINK=1 ZUQ_REQUIRE_RSERVE=1
plink107=/usr/lib/debian-med/bin/plink
if [ ! -x "$plink107" ]; then
  echo "run-tests: plink 1.07 is missing: $plink107 is not an executable (Debian package plink)" >&2
  exit 1
fi

# plink's R plug-in talks to Rserve on port 6311; the tests that use it need it running.
# Rserve leaves the process that started it and runs on as a daemon, so its pid comes from the
# pid file it writes. Only that server is stopped: one that someone else runs on the port stays
# (ours then fails to bind, writes no pid file and ends by itself).
rserve_dir=$(mktemp -d)
rserve_pidfile="$rserve_dir/rserve.pid"
stop_rserve() {
  local pid
  pid=$(cat "$rserve_pidfile" 2>/dev/null || true)
  # The pid must still be our server: its command line names our pid file.
  if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$rserve_pidfile"; then
    kill "$pid" 2>/dev/null || true
  fi
  rm -rf "$rserve_dir"
}
trap stop_rserve EXIT
rserve_log="$rserve_dir/start.log"
if ! command -v Rscript >/dev/null; then
  echo "run-tests: Rscript is missing, so Rserve cannot be started (Debian package r-base-core)" >&2
  exit 1
fi
if ! Rscript -e "library(Rserve); Rserve(args=\"--no-save --RS-port 6311 --RS-pidfile $rserve_pidfile\")" \
    >"$rserve_log" 2>&1; then
  echo "run-tests: Rserve could not be started (Debian package r-cran-rserve); R said:" >&2
  cat "$rserve_log" >&2
  exit 1
fi
# The server comes up in the background: wait, a bounded time, until the port answers (ours, or
# the server that someone else runs there).
rserve_answers() { (exec 3<>/dev/tcp/127.0.0.1/6311) 2>/dev/null; }
for _ in $(seq 60); do
  rserve_answers && break
  sleep 0.5
done
if ! rserve_answers; then
  echo "run-tests: Rserve is not reachable on port 6311 30 s after it was started; the R plug-in" \
    "tests need it. The end of what its start printed:" >&2
  tail -n 3 "$rserve_log" >&2
  exit 1
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
