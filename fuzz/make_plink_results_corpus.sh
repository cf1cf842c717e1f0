#!/usr/bin/env bash
# Writes the seed corpus of plink_results_fuzz: real result files of plink 1.07 on four SNPs of
# the association test fixtures, renamed rs1 .. rs4 to match the target's data set, each behind
# the byte that picks its reader ('0' .model, '1' .assoc.linear, '2' .assoc.logistic, '3' .auto.R).
# The R plug-in seed needs Rserve on port 6311.
# usage: fuzz/make_plink_results_corpus.sh [PLINK]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
plink=${1:-/usr/lib/debian-med/bin/plink}
data=$top/src/association/testdata
corpus=$top/fuzz/corpus/plink_results
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus"

# The first four SNPs of a fixture, renamed; the fourth SNP of the case-control set is also put
# on a second chromosome so that the files hold more than one.
fourSnps() {
  awk 'NR <= 4 { $2 = "rs" NR; if (NR == 4) $1 = 2; print }' "$data/$1.map" >"$work/$2.map"
  awk '{ line = $1; for (i = 2; i <= 14; ++i) line = line " " $i; print line }' \
    "$data/$1.ped" >"$work/$2.ped"
}
fourSnps cc cc
fourSnps qt qt
awk '{ print $1, $2, NR % 7, 20 + NR % 31 }' "$work/cc.ped" >"$work/cc.cov"

run() { (cd "$work" && "$plink" --noweb --silent "$@" >/dev/null); }
seed() { { printf '%s' "$1"; cat "$work/$2"; } >"$corpus/$3"; }

run --file cc --model --out cc
seed 0 cc.model model
run --file cc --model --cell 0 --out cc0
seed 0 cc0.model model_cell0
run --file qt --linear --out qt
seed 1 qt.assoc.linear linear
run --file cc --logistic --out cc
seed 2 cc.assoc.logistic logistic
run --file cc --logistic --covar cc.cov --out cccov
seed 2 cccov.assoc.logistic logistic_covariates
run --file cc --R "$data/rplugin_glm.R" --out cc
seed 3 cc.auto.R rplugin
