#!/usr/bin/env bash
# Builds zuq with ThreadSanitizer (clang, LLVM's OpenMP runtime with its Archer tool, so the
# runtime's own synchronisation is understood) and runs the end-to-end analyses with --cpu 8.
# Any data race report fails the script.
#
# usage: scripts/tsan.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build/tsan
archer=$(ls /usr/lib/llvm-*/lib/libarcher.so 2>/dev/null | sort -V | tail -n 1)
[ -n "$archer" ] || { echo "tsan: LLVM's Archer tool (libomp-dev) is not installed" >&2; exit 1; }

# shellcheck source=scripts/quietly.sh
. "$top/scripts/quietly.sh"
quietly env CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUQ_TSAN=ON
quietly ninja -C "$build" zuq

plink=${PLINK:-/usr/lib/debian-med/bin/plink}
data=$top/examples/casecontrol
base=(--file "$data" --plink "$plink" --seed 11 --cpu 8 --alpha 1e-3)
# The analyses of the end-to-end suite, each on eight threads.
analyses=(
  "--L0 30"
  "--L1 4 --L2 4"
  "--top 2 --log"
  "--debug --stats --allbias --L0 20"
  "--qt --L0 10"
  "--keep 20 --L0 5"
  "--test LOGISTIC --L0 10"
  "--test GENO --L0 10"
  "--test ALLELIC --estimate ALLELIC --L0 10"
  "--nomafcorrection --notruncate --L0 20"
  "--slow --L0 5"
  "--useplink --L0 5"
)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export OMP_TOOL_LIBRARIES=$archer
export TSAN_OPTIONS="ignore_noninstrumented_modules=1 halt_on_error=1 exitcode=66"
failed=0

# The set-up must see a race where there is one: a small OpenMP program with one racy counter
# and one guarded by a critical section is reported on the racy line only.
cat >"$work/control.cpp" <<'CPP'
#include <cstdio>
int main() {
  long racy = 0, guarded = 0;
#pragma omp parallel for num_threads(4)
  for (int i = 0; i < 100000; ++i) {
    racy += i;  // RACY-LINE
#pragma omp critical
    guarded += i;
  }
  std::printf("%ld %ld\n", racy, guarded);
}
CPP
clang++ -fsanitize=thread -fopenmp -g -O1 "$work/control.cpp" -o "$work/control"
TSAN_OPTIONS="ignore_noninstrumented_modules=1" "$work/control" >/dev/null 2>"$work/control.err" || true
racy_line=$(grep -n RACY-LINE "$work/control.cpp" | cut -d: -f1)
guarded_line=$((racy_line + 2))
if ! grep -q "control.cpp:$racy_line" "$work/control.err" || grep -q "control.cpp:$guarded_line" "$work/control.err"; then
  echo "tsan: the control program's race was not reported as expected; the set-up is not trustworthy"
  cat "$work/control.err"
  exit 1
fi
echo "tsan: control program: its race is reported, its critical section is not"

run() {  # run NAME ARGS...: one analysis in its own directory; a race report fails it
  local name=$1 dir
  shift
  dir=$(mktemp -d -p "$work")
  if (cd "$dir" && "$build/zuq" "$@" >out.txt 2>err.txt); then status=0; else status=$?; fi
  if grep -q "ThreadSanitizer" "$dir/err.txt" || [ "$status" -eq 66 ]; then
    echo "tsan: $name: DATA RACE"
    sed -n '/WARNING: ThreadSanitizer/,/^SUMMARY/p' "$dir/err.txt" | head -n 60
    failed=1
  elif [ "$status" -ne 0 ]; then
    echo "tsan: $name: status $status"
    tail -n 5 "$dir/out.txt" "$dir/err.txt"
    failed=1
  else
    echo "tsan: $name: clean"
  fi
}
for extra in "${analyses[@]}"; do
  # shellcheck disable=SC2086
  run "${extra:-default}" "${base[@]}" $extra
done
logistic=$top/src/association/testdata/logistic/logistic
run "covariates" --file "$logistic" --covar "$logistic.cov" --plink "$plink" --cpu 8 --alpha 0.2 \
  --L0 10 --seed 3
# A generated data set of 5000 SNPs: the scan of the whole data set shares its SNPs among the
# threads only from 4096 SNPs on.
run "large scan" --dummy 300 5000 --plink "$plink" --seed 3 --cpu 8 --L0 5 --alpha 1e-3
# A split run: three instances and the join, in one directory.
cluster=$(mktemp -d -p "$work")
for k in 1 2 3; do
  run "cluster $k/3" "${base[@]}" --L0 12 --L1 3 --L2 3 --cluster "$k/3" --out "$cluster/out.zuq"
done
run "join" "${base[@]}" --L0 12 --L1 3 --L2 3 --join 3 --out "$cluster/out.zuq"
exit "$failed"
