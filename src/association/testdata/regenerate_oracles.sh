#!/usr/bin/env bash
# Rewrites the fixtures and the expected tables of the association-scan tests: plink 1.07's
# --model, --assoc and --linear on the fixtures, and R's prop.trend.test, chisq.test and lm on
# the same genotypes (oracles.R). Needs plink 1.07 (Debian package plink) and Rscript.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
plink=${PLINK107:-/usr/lib/debian-med/bin/plink}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/make_fixtures.py" "$here"
run() { "$plink" --noweb --allow-no-sex --file "$here/$1" --out "$work/$2" "${@:3}" >/dev/null; }
run cc cc --model
run cc cc_cell0 --model --cell 0
run sparse sparse_cell0 --model --cell 0
run sparse sparse_cell3 --model --cell 3
run cc cc --assoc
run sparse sparse --assoc
run qt qt --linear
for f in cc.model cc_cell0.model sparse_cell0.model sparse_cell3.model cc.assoc sparse.assoc \
         qt.assoc.linear; do
  [ -s "$work/$f" ] || { echo "plink wrote no $f" >&2; exit 1; }
done
Rscript "$here/oracles.R" "$here" "$work"
