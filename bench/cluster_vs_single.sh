#!/usr/bin/env bash
# A split run on a private single-node SLURM against the same analysis run once: simulates a
# case-control data set, runs it as one process and as a job array of N instances plus the join
# (scripts/cluster-slurm.sh), and prints both tables side by side with their times. The naive
# columns (SNP, P, OR) must be identical; the bootstrap columns come from other random streams
# (an instance seeds with seed + 7777 k), so they agree only within resampling noise.
#
# usage: bench/cluster_vs_single.sh ZUQ [INSTANCES [CASES SNPS]]   (default 8, 1000 cases, 20000)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
zuq=$(realpath "${1:?usage: $0 ZUQ [INSTANCES [CASES SNPS]]}")
instances=${2:-8}
cases=${3:-1000}
markers=${4:-20000}
plink=${PLINK:-/usr/lib/debian-med/bin/plink}
work=$(mktemp -d)
trap '"$top/e2e/slurm_local.sh" stop "$work/slurm"; rm -rf "$work"' EXIT
ms() { date +%s%3N; }

python3 "$top/bench/simulate_gwas.py" "$work/sim" "$cases" "$markers" >/dev/null
options=(--file "$work/sim" --plink "$plink" --seed 7 --alpha 1e-4 --L1 16 --L2 10)

mkdir "$work/single"
t0=$(ms)
(cd "$work/single" && "$zuq" "${options[@]}" --cpu "$instances" >run.out)
single_ms=$(($(ms) - t0))

eval "$("$top/e2e/slurm_local.sh" start "$work/slurm")"
mkdir "$work/split"
t0=$(ms)
"$top/scripts/cluster-slurm.sh" -n "$instances" -w -d "$work/split" -z "$zuq" -- "${options[@]}" --cpu 1
split_ms=$(($(ms) - t0))

echo "single run, --cpu $instances: $((single_ms / 1000)).$((single_ms % 1000 / 100)) s"
echo "$instances instances of --cpu 1 and the join on SLURM: $((split_ms / 1000)).$((split_ms % 1000 / 100)) s"
paste -d'|' <(awk '{printf "%-10s %-9s %-8s %-8s %-7s %-7s\n", $2, $6, $7, $8, $9, $10}' "$work/single/out.zuq") \
  <(awk '{printf " %-8s %-7s %-7s\n", $8, $9, $10}' "$work/split/out.zuq")
if cmp -s <(awk '{print $2, $6, $7}' "$work/single/out.zuq") <(awk '{print $2, $6, $7}' "$work/split/out.zuq"); then
  echo "naive columns (SNP, P, OR): identical"
else
  echo "naive columns (SNP, P, OR): DIFFER"
  exit 1
fi
