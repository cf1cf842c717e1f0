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
"$top/build/release/zuq" --file "$top/examples/casecontrol" \
  --plink /usr/lib/debian-med/bin/plink --seed 2011 "$@"
status=$?
set -e
echo "zuq ended with status $status; its output files are in build/example/"
exit $status
