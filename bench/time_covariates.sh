#!/usr/bin/env bash
# Times the in-process logistic fits with covariates: an older commit of zuq and the current tree
# side by side on the same data, in one run, each analysis with the old binary and then the new
# one, and the ratios printed. The seeded --cpu 1 runs of both must give the same results table
# byte for byte, and the same standard output (temporary names masked); the script fails when
# they differ.
#
# Usage: bench/time_covariates.sh [OLD_COMMIT] [--data DIR] [--quick]
#   OLD_COMMIT  the commit to compare with; default: the merge-base of HEAD with main.
#   --data DIR  keep the data sets (and the old build, in DIR/old-<commit>) in DIR and reuse them.
#   --quick     only the seeded --cpu 1 comparisons, no --cpu 8 timing.
# Data: sim, 1000 cases and 1000 controls x 4000 SNPs (bench/simulate_gwas.py) with 4
# covariates; miss, 1200 x 2000 SNPs with 2% missing genotypes (bench/make_large_ped.py) with 5
# covariates. The covariate files (bench/make_covariates.py) have 1% missing values and leave
# every 97th individual out.
# Environment: PLINK (default /usr/bin/p-link), SEED (default 7), ALPHA (default 1e-3).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)

# shellcheck source=bench/old_and_new_builds.sh
source "$here/old_and_new_builds.sh"
plink=${PLINK:-/usr/bin/p-link}
seed=${SEED:-7}
alpha=${ALPHA:-1e-3}

if [ ! -s "$data/sim.cov" ]; then
  echo "Simulating sim: 2000 individuals x 4000 SNPs, 4 covariates ..."
  python3 "$here/simulate_gwas.py" "$data/sim" 1000 4000
  python3 "$here/make_covariates.py" "$data/sim.ped" "$data/sim.cov" 4
fi
if [ ! -s "$data/miss.cov" ]; then
  echo "Writing miss: 1200 individuals x 2000 SNPs (2% missing genotypes), 5 covariates ..."
  python3 "$here/make_large_ped.py" "$data/miss" 1200 2000
  python3 "$here/make_covariates.py" "$data/miss.ped" "$data/miss.cov" 5
fi

# timeRun BINARY TAG SET CPUS OPTIONS...: seconds of one analysis; its table in TAG.table and
# its standard output in TAG.stdout.
timeRun() {
  local zuq=$1 tag=$2 set=$3 cpus=$4
  shift 4
  local dir=$scratch/run-$tag
  mkdir -p "$dir"
  local start end
  start=$(date +%s.%N)
  (cd "$dir" && "$zuq" --file "$data/$set" --covar "$data/$set.cov" --plink "$plink" \
    --seed "$seed" --cpu "$cpus" --alpha "$alpha" --out out.zuq "$@" \
    > "$dir/stdout" 2>"$dir/stderr") ||
    { echo "run $tag failed:" >&2; tail -5 "$dir/stdout" >&2; exit 1; }
  end=$(date +%s.%N)
  cp "$dir/out.zuq" "$scratch/$tag.table"
  mask < "$dir/stdout" > "$scratch/$tag.stdout"
  echo "$end - $start" | bc
}

status=0
printf '%-6s %-5s %-22s %9s %9s %8s  %s\n' set cpus options old/s new/s ratio "seeded run"
compare() {  # compare SET CPUS OPTIONS...
  local set=$1 cpus=$2
  shift 2
  local name
  name=$(echo "$set-$cpus-$*" | tr ' ' '_')
  local oldSeconds newSeconds verdict="-"
  oldSeconds=$(timeRun "$oldZuq" "old-$name" "$set" "$cpus" "$@")
  newSeconds=$(timeRun "$newZuq" "new-$name" "$set" "$cpus" "$@")
  if [ "$cpus" = 1 ]; then
    if cmp -s "$scratch/old-$name.table" "$scratch/new-$name.table" &&
      diff "$scratch/old-$name.stdout" "$scratch/new-$name.stdout" > "$scratch/$name.diff"; then
      verdict="identical ($(wc -l < "$scratch/new-$name.table") table lines, $(wc -l < \
        "$scratch/new-$name.stdout") output lines)"
    else
      verdict="DIFFERS"
      status=1
      diff "$scratch/old-$name.table" "$scratch/new-$name.table" >> "$scratch/$name.diff" || true
    fi
  fi
  printf '%-6s %-5s %-22s %9.1f %9.1f %7.2fx  %s\n' "$set" "$cpus" "${*:-default}" \
    "$oldSeconds" "$newSeconds" "$(echo "$oldSeconds / $newSeconds" | bc -l)" "$verdict"
  [ "$verdict" != DIFFERS ] || head -20 "$scratch/$name.diff"
}

compare sim 1
compare miss 1 --L1 3 --L2 10
if [ "$quick" = 0 ]; then
  compare sim 8
  compare sim 1
  compare sim 8
fi
exit $status
