#!/usr/bin/env bash
# Regenerates the plink 1.07 oracle of the analysis tests: the TREND p and the logistic odds
# ratio of every SNP of the example data set, as plink prints them (four significant digits).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
plink=${PLINK:-/usr/lib/debian-med/bin/plink}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
base="$here/../../examples/casecontrol"
"$plink" --noweb --silent --allow-no-sex --file "$base" --model --out "$work/m" >/dev/null
"$plink" --noweb --silent --allow-no-sex --file "$base" --logistic --out "$work/l" >/dev/null
# SNP, plink's A1, TREND p, logistic OR of A1 (ADD rows only).
awk 'FNR == 1 { next }
     FILENAME ~ /model$/ && $5 == "TREND" { p[$2] = $10 }
     FILENAME ~ /logistic$/ && $5 == "ADD" { a1[$2] = $4; or[$2] = $7; order[++n] = $2 }
     END { print "SNP A1 TREND_P OR"; for (i = 1; i <= n; ++i) { s = order[i]; print s, a1[s], p[s], or[s] } }' \
  "$work/m.model" "$work/l.assoc.logistic" > "$here/casecontrol_plink.expected"
