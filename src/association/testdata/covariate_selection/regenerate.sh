#!/usr/bin/env bash
# Rebuilds wide.cov and the oracle results beside it: R's glm (full precision) and plink 1.07's
# --logistic with the same covariate selection (as plink prints them, 4 significant digits).
set -euo pipefail
cd "$(dirname "$0")"
plink=${PLINK:-/usr/lib/debian-med/bin/plink}

Rscript make_cov.R
Rscript oracle_glm.R

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
adds() { awk 'NR == 1 { print "SNP A1 NMISS OR P"; next } $5 == "ADD" { print $2, $4, $6, $7, $9 }' "$1"; }
run() {
  "$plink" --noweb --allow-no-sex --file ../logistic/logistic --logistic --covar wide.cov \
    "$@" --out "$scratch/out" >/dev/null
  adds "$scratch/out.assoc.logistic"
}
run --covar-name age,bmi > plink_age_bmi.txt
run --covar-number 2 > plink_grp.txt
run > plink_all.txt
