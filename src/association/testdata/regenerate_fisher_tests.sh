#!/usr/bin/env bash
# Rewrites the expected Fisher exact p-values of the allelic and full-model tests from R.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
Rscript "$here/fisher_tests.R" > "$here/fisher_tests.expected"
