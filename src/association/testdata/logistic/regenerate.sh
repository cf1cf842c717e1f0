#!/usr/bin/env bash
# Rebuilds the logistic fixture and the oracle results beside it: R's glm (full precision) and
# plink 1.07's --logistic (as plink prints them, 4 significant digits).
set -euo pipefail
cd "$(dirname "$0")"
plink=${PLINK:-/usr/lib/debian-med/bin/plink}

Rscript make_fixture.R
Rscript oracle_glm.R
Rscript cells_glm.R

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# plink's A1 is the minor allele; the OR it gives is that of A1.
adds() { awk 'NR == 1 { print "SNP A1 NMISS OR P"; next } $5 == "ADD" { print $2, $4, $6, $7, $9 }' "$1"; }
"$plink" --noweb --allow-no-sex --file logistic --logistic --out "$scratch/nocov" >/dev/null
adds "$scratch/nocov.assoc.logistic" > plink_nocov.txt
"$plink" --noweb --allow-no-sex --file logistic --logistic --covar logistic.cov \
  --out "$scratch/cov" >/dev/null
adds "$scratch/cov.assoc.logistic" > plink_cov.txt
