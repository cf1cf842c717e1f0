#!/usr/bin/env bash
# Two builds of zuq side by side on the same simulated case-control data:
#  1. seeded --cpu 1 runs with the in-process scans (TREND, GENO, minTRENDGENO, ALLELIC, the
#     ALLELIC estimate, the logistic test with its TREND screening, levels 1 and 2, --keep,
#     --qt)
#     must write the same results table, byte for byte; every difference is printed;
#  2. the default analysis is timed with each build, one after the other on the same files,
#     with --cpu 1 and with all processors, and so is an analysis whose every step counts
#     genotype cells (--estimate ALLELIC --adj.cor 0, --cpu 1); the ratios are printed.
# Usage: bench/compare_scan_results.sh OLD_ZUQ NEW_ZUQ [CASES SNPS [TABLE_CASES TABLE_SNPS]]
#   CASES SNPS (default 500 28501: 1000 individuals) for the timing, CASES 0 for none;
#   TABLE_CASES TABLE_SNPS (default 250 4000) for the table comparison. Exits 1 when a table
#   of one thread differs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
old=$(realpath "${1:?usage: $0 OLD_ZUQ NEW_ZUQ [CASES SNPS [TABLE_CASES TABLE_SNPS]]}")
new=$(realpath "${2:?usage: $0 OLD_ZUQ NEW_ZUQ [CASES SNPS [TABLE_CASES TABLE_SNPS]]}")
cases=${3:-500}
markers=${4:-28501}
tableCases=${5:-250}
tableMarkers=${6:-4000}
plinkPath=${PLINK:-/usr/lib/debian-med/bin/plink}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run BINARY DIRECTORY OPTIONS...: runs zuq in its own directory on ../data; seconds to stdout.
run() {
  local binary=$1 dir=$2
  shift 2
  mkdir -p "$dir"
  local start end
  start=$(date +%s.%N)
  (cd "$dir" && "$binary" --file ../data --plink "$plinkPath" "$@" > run.out 2>&1) ||
    { echo "failed: $binary $* (in $dir)" >&2; tail -5 "$dir/run.out" >&2; exit 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

echo "== Seeded --cpu 1 tables, $((2 * tableCases)) individuals x $tableMarkers SNPs"
mkdir -p "$work/tables" "$work/timing"
python3 "$here/simulate_gwas.py" "$work/tables/data" "$tableCases" "$tableMarkers"
status=0
optionSets=(
  "--alpha 0.01"
  "--alpha 0.01 --test GENO"
  "--alpha 0.01 --test minTRENDGENO"
  "--alpha 0.01 --test ALLELIC"
  "--alpha 0.01 --estimate ALLELIC"
  "--alpha 0.01 --test LOGISTIC --adj.cor 0"
  "--alpha 0.01 --L1 5 --L2 5 --adj.cor 0"
  "--alpha 0.01 --keep 50 --cell 0"
  "--alpha 0.01 --qt --adj.cor 0"
)
n=0
for options in "${optionSets[@]}"; do
  n=$((n + 1))
  # shellcheck disable=SC2086
  run "$old" "$work/tables/old$n" --seed 7 --cpu 1 $options > /dev/null
  # shellcheck disable=SC2086
  run "$new" "$work/tables/new$n" --seed 7 --cpu 1 $options > /dev/null
  rows=$(($(wc -l < "$work/tables/new$n/out.zuq") - 1))
  if cmp -s "$work/tables/old$n/out.zuq" "$work/tables/new$n/out.zuq"; then
    printf 'same table   (%3d SNPs)  %s\n' "$rows" "$options"
  else
    printf 'TABLES DIFFER            %s\n' "$options"
    diff "$work/tables/old$n/out.zuq" "$work/tables/new$n/out.zuq" || true
    status=1
  fi
done

[ "$cases" -gt 0 ] || exit $status
echo "== Default analysis, $((2 * cases)) individuals x $markers SNPs"
python3 "$here/simulate_gwas.py" "$work/timing/data" "$cases" "$markers"
timings=("--cpu 1" "--cpu $(nproc)" "--cpu 1 --estimate ALLELIC --adj.cor 0")
n=0
for options in "${timings[@]}"; do
  n=$((n + 1))
  # shellcheck disable=SC2086
  oldTime=$(run "$old" "$work/timing/old$n" --seed 7 $options)
  # shellcheck disable=SC2086
  newTime=$(run "$new" "$work/timing/new$n" --seed 7 $options)
  # With several threads, which thread draws which resample depends on timing.
  same="threads: tables may vary"
  if [[ "$options" == "--cpu 1"* ]]; then
    same="same table"
    cmp -s "$work/timing/old$n/out.zuq" "$work/timing/new$n/out.zuq" ||
      { same="TABLES DIFFER"; status=1; }
  fi
  printf 'old %7.1f s  new %7.1f s  ratio %6.2f  (%s)  %s\n' "$oldTime" "$newTime" \
    "$(echo "$oldTime / $newTime" | bc -l)" "$same" "$options"
done
exit $status
