#!/usr/bin/env bash
# Times whole analyses on a simulated 2000 x 20000 case-control data set with ten true effects:
# the default run (nL0 100) and --L1 20 --L2 20, each with one thread and with eight.
# Usage: bench/time_analysis.sh ZUQ [CASES SNPS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
zuq=$(realpath "${1:?usage: $0 ZUQ [CASES SNPS]}")
cases=${2:-1000}
markers=${3:-20000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Simulating $((2 * cases)) individuals x $markers SNPs ..."
python3 "$here/simulate_gwas.py" "$work/sim" "$cases" "$markers"
cd "$work"
for levels in "" "--L1 20 --L2 20"; do
  for cpus in 1 8; do
    start=$(date +%s.%N)
    # shellcheck disable=SC2086
    "$zuq" --file sim --plink "${PLINK:-/usr/lib/debian-med/bin/plink}" --seed 7 --cpu "$cpus" --alpha 1e-4 $levels > run.out 2>&1 ||
      { tail -5 run.out; exit 1; }
    end=$(date +%s.%N)
    printf 'cpu %d %-16s %6.1f s  (%s significant SNPs)\n' "$cpus" "${levels:-default}" \
      "$(echo "$end - $start" | bc)" "$(sed -n 's/^There were \([0-9]*\) .*/\1/p' run.out)"
  done
done
