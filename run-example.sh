#!/usr/bin/env bash
# Installs what is missing, builds zuq and runs it on the example data set in examples/.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"

scripts/install-deps.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release

mkdir -p build/example
cd build/example
set +e
# The default analysis, with 20 x 20 level-1/2 bootstraps for confidence intervals, of the
# SNPs at p <= 0.001 (the example's true effects and a few chance findings).
"$top/build/release/zuq" --file "$top/examples/casecontrol" \
  --plink /usr/lib/debian-med/bin/plink --seed 2011 --alpha 0.001 --L1 20 --L2 20 "$@"
status=$?
set -e
[ $status -eq 0 ] || echo "zuq ended with status $status" >&2
exit $status
