#!/usr/bin/env bash
# Rewrites the expected values of the Fisher exact test's unit tests from R's fisher.test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
Rscript "$here/fisher_oracle.R" > "$here/fisher_tables.expected"
