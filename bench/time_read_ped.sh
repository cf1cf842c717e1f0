#!/usr/bin/env bash
# Times the reading of a generated 2000 x 20000 PLINK text data set (a .ped of about 160 MB).
# With COPIES the N lines are written COPIES times over: 2000 25000 10 gives a .ped of 2 GB.
# The files go to a temporary directory (under /tmp) that is removed at the end.
#
# Usage: bench/time_read_ped.sh BINARY [N M [COPIES]] [-- extra zuq options]
#   BINARY is either zuq (run as "zuq --file BASE --slow ..."; the seconds until its
#   "Pedigree file contains" line are the read time, the total includes the analysis) or the
#   read_ped_bench program of a ZUQ_BENCH=ON build (which times the readers alone).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

binary=${1:?usage: $0 BINARY [N M [COPIES]] [-- extra zuq options]}
shift
people=2000
markers=20000
copies=1
if [ $# -ge 2 ] && [ "$1" != "--" ]; then
  people=$1
  markers=$2
  shift 2
  if [ $# -ge 1 ] && [ "$1" != "--" ]; then
    copies=$1
    shift
  fi
fi
[ "${1:-}" = "--" ] && shift

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
base=$work/large

echo "Generating $people individuals x $markers SNPs, $copies time(s) over ..."
python3 "$here/make_large_ped.py" "$base" "$people" "$markers" "$copies"
ls -l "$base.ped" "$base.map"

if [ "$(basename "$binary")" = read_ped_bench ]; then
  "$binary" "$base" | grep -v ' contains '
  exit 0
fi

# zuq writes its results and temporary files into the working directory.
cd "$work"
start=$(date +%s.%N)
TIMEFORMAT='zuq in total: %R s elapsed, %U s user'
time {
  "$binary" --file "$base" --slow "$@" | while IFS= read -r line; do
    case $line in
      "Pedigree file contains"*)
        now=$(date +%s.%N)
        echo "$line"
        echo "Read .map and .ped after $(awk "BEGIN { printf \"%.2f\", $now - $start }") s from the start"
        ;;
      *) echo "$line" ;;
    esac
  done
}
