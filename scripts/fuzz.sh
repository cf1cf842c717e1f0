#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and runs each for a while on a copy of its seed
# corpus in fuzz/corpus. A crash, a sanitizer report or a time-out fails the script; the
# input that caused it is kept in build/fuzz/crashes/.
#
# usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30; run longer by hand, say 3600)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=$top/build/fuzz
targets=(map_ped_fuzz pheno_covar_fuzz snp_list_fuzz script_fuzz partial_results_fuzz
  plink_results_fuzz)

# shellcheck source=scripts/quietly.sh
. "$top/scripts/quietly.sh"
quietly env CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUQ_FUZZ=ON
quietly ninja -C "$build" fuzz_targets

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/crashes"
failed=0
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  mkdir -p "$work/$name"
  # The fuzzed inputs are printed to standard output by the readers' messages: closed (mask 1).
  # No leak check: the harness turns the program's exits into exceptions, so what a refused input
  # had allocated (the process would have ended there) is never freed and would be reported.
  if (cd "$work" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$build/fuzz/$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$name-" "$work/$name" "$top/fuzz/corpus/$name" \
        >"$work/$name.log" 2>&1); then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log")
    echo "fuzz $name: ${runs:-?} inputs in ${seconds} s, no crash"
  else
    echo "fuzz $name: FAILED"
    grep -E 'ERROR|runtime error|Test unit written' "$work/$name.log" | head -n 20
    failed=1
  fi
done
exit "$failed"
