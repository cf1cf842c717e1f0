#!/usr/bin/env bash
# Times an older commit of zuq and the current tree side by side on the same simulated data, in
# one run: each analysis runs with the old binary and then the new one, and the ratios are
# printed. The results tables of the seeded --cpu 1 runs of both must agree to their printed
# digits; their diff is printed (and the script fails when they differ).
#
# Usage: bench/compare_speed.sh [OLD_COMMIT] [--data DIR] [--quick]
#   OLD_COMMIT  the commit to compare with; default: the merge-base of HEAD with main.
#   --data DIR  keep the simulated data sets (and the old build) in DIR and reuse them on the
#               next run (simulating 1000 x 28501 and 2000 x 20000 takes minutes).
#   --quick     only the default runs on 1000 x 28501.
# The current tree (with uncommitted changes) is built in build/bench-new; the old commit in a
# temporary git worktree, built in DIR/old-<commit> (or a temporary directory).
# Environment: PLINK (default /usr/lib/debian-med/bin/plink), SEED (default 7), SLOW=1 to add
# --L1 10 --L2 10 --cpu 1 on 2000 x 20000.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)

# shellcheck source=bench/old_and_new_builds.sh
source "$here/old_and_new_builds.sh"
plink=${PLINK:-/usr/lib/debian-med/bin/plink}
seed=${SEED:-7}

simulate() {  # simulate NAME CASES SNPS: CASES cases and as many controls
  if [ ! -s "$data/$1.ped" ]; then
    echo "Simulating $1: $((2 * $2)) individuals x $3 SNPs ..."
    python3 "$here/simulate_gwas.py" "$data/$1" "$2" "$3"
  fi
}
simulate set1000x28501 500 28501
[ "$quick" = 1 ] || simulate set2000x20000 1000 20000

# timeRun BINARY TAG SET CPUS OPTIONS...: seconds of one analysis; its table in TAG.table.
timeRun() {
  local zuq=$1 tag=$2 set=$3 cpus=$4
  shift 4
  local dir=$scratch/run-$tag
  mkdir -p "$dir"
  local start end
  start=$(date +%s.%N)
  (cd "$dir" && "$zuq" --file "$data/$set" --plink "$plink" --seed "$seed" --cpu "$cpus" \
    --out "$dir/out.zuq" "$@" > "$dir/stdout" 2>"$dir/stderr") ||
    { echo "run $tag failed:" >&2; tail -5 "$dir/stdout" >&2; exit 1; }
  end=$(date +%s.%N)
  mask < "$dir/out.zuq" > "$scratch/$tag.table"
  echo "$end - $start" | bc
}

status=0
printf '%-14s %-5s %-22s %9s %9s %8s  %s\n' set cpus options old/s new/s ratio "seeded table"
compare() {  # compare SET CPUS OPTIONS...
  local set=$1 cpus=$2
  shift 2
  local name
  name=$(echo "$set-$cpus-$*" | tr ' ' '_')
  local oldSeconds newSeconds verdict="-"
  oldSeconds=$(timeRun "$oldZuq" "old-$name" "$set" "$cpus" "$@")
  newSeconds=$(timeRun "$newZuq" "new-$name" "$set" "$cpus" "$@")
  if [ "$cpus" = 1 ]; then
    if diff "$scratch/old-$name.table" "$scratch/new-$name.table" > "$scratch/$name.diff"; then
      verdict="identical ($(wc -l < "$scratch/new-$name.table") lines)"
    else
      verdict="DIFFERS"
      status=1
    fi
  fi
  printf '%-14s %-5s %-22s %9.1f %9.1f %7.1fx  %s\n' "$set" "$cpus" "${*:-default}" \
    "$oldSeconds" "$newSeconds" "$(echo "$oldSeconds / $newSeconds" | bc -l)" "$verdict"
  [ "$verdict" != DIFFERS ] || cat "$scratch/$name.diff"
  echo "$newSeconds" > "$scratch/$name.new"
}

# The new build's --cpu 8 against its --cpu 1, alternately for SCALING_ROUNDS rounds (default
# 3): one pair of runs on a shared machine says little, the median of several more.
scaling() {
  local rounds=${SCALING_ROUNDS:-3} ratios=() one eight ratio
  for r in $(seq "$rounds"); do
    one=$(timeRun "$newZuq" "scale1-$r" set1000x28501 1)
    eight=$(timeRun "$newZuq" "scale8-$r" set1000x28501 8)
    ratio=$(echo "$one / $eight" | bc -l)
    ratios+=("$ratio")
    printf '  round %d: --cpu 1 %.2f s, --cpu 8 %.2f s: %.2fx\n' "$r" "$one" "$eight" "$ratio"
  done
  printf 'new --cpu 8 vs new --cpu 1 (default run, 1000 x 28501), median of %d rounds: %.2fx\n' \
    "$rounds" "$(printf '%s\n' "${ratios[@]}" | sort -g | sed -n "$(((rounds + 1) / 2))p")"
}

compare set1000x28501 1
compare set1000x28501 8
scaling
if [ "$quick" = 0 ]; then
  compare set1000x28501 8 --L1 10 --L2 10
  compare set2000x20000 8 --L1 10 --L2 10
  # The old build needs many minutes here; SLOW=1 adds it (with its table diff).
  [ "${SLOW:-0}" = 0 ] || compare set2000x20000 1 --L1 10 --L2 10
fi
exit $status
