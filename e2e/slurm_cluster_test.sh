#!/usr/bin/env bash
# A cluster run on a real scheduler: starts a private single-node SLURM, runs the example analysis
# as a job array of 3 instances plus the join through scripts/cluster-slurm.sh, and checks that
# the joined table equals the one of the same 3 instances run one after the other by hand; then
# that a failing instance cancels the join and makes the script fail. Exit 77 (skipped) when
# SLURM cannot run here.
#
# usage: slurm_cluster_test.sh ZUQ PLINK SOURCE_DIR
set -uo pipefail
zuq=$1 plink=$2 top=$3
local_slurm=$top/e2e/slurm_local.sh
submit=$top/scripts/cluster-slurm.sh
example=$top/examples/casecontrol
options=(--file "$example" --plink "$plink" --seed 5 --alpha 1e-3 --L0 30 --L1 6 --L2 6 --cpu 1)

work=$(mktemp -d)
failures=0
check() {  # check DESCRIPTION COMMAND...: runs the command, counts a failure when it fails
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

finish() {
  "$local_slurm" stop "$work/slurm"
  local pidfile
  for pidfile in "$work/slurm/slurmctld.pid" "$work/slurm/slurmd.pid"; do
    if [ -s "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then
      echo "FAILED: $(basename "$pidfile" .pid) is still running after the stop"
      kill -KILL "$(cat "$pidfile")" 2>/dev/null
      failures=$((failures + 1))
    fi
  done
  rm -rf "$work"
}

ms() { date +%s%3N; }
seconds_since() { local d=$(($(ms) - $1)); printf "%d.%03d" $((d / 1000)) $((d % 1000)); }

started=$(ms)
if ! conf=$("$local_slurm" start "$work/slurm"); then
  status=$?
  "$local_slurm" stop "$work/slurm" 2>/dev/null
  rm -rf "$work"
  [ "$status" -eq 77 ] && { echo "SKIPPED: SLURM cannot run on this machine (reason above)"; exit 77; }
  echo "FAILED: starting SLURM"
  exit 1
fi
trap finish EXIT
eval "$conf"
echo "SLURM up after $(seconds_since "$started") s"

# The array and its join, through the script.
mkdir "$work/array"
t0=$(ms)
"$submit" -n 3 -w -d "$work/array" -z "$zuq" -- "${options[@]}" >"$work/submit.out" 2>&1
status=$?
echo "array of 3 and join took $(seconds_since "$t0") s"
check "the script ends with the join's status 0" test "$status" -eq 0
check "the script prints the array and join ids" grep -qE '^array [0-9]+$' "$work/submit.out"
check "the join wrote the results table" test -s "$work/array/out.zuq"

# The same three instances and the join by hand, one after the other.
mkdir "$work/by-hand"
(
  cd "$work/by-hand" || exit 1
  for k in 1 2 3; do "$zuq" "${options[@]}" --cluster "$k/3" >/dev/null || exit 1; done
  "$zuq" "${options[@]}" --join 3 >/dev/null
)
check "the instances and join by hand succeed" test $? -eq 0
check "the joined table equals the table of the instances run by hand" \
  cmp "$work/array/out.zuq" "$work/by-hand/out.zuq"
check "the table has significant SNPs" test "$(wc -l <"$work/array/out.zuq")" -ge 2

# A failing instance: the join is cancelled, the script says which task failed and fails.
mkdir "$work/failing"
cat >"$work/failing/zuq" <<EOW
#!/bin/sh
[ "\$SLURM_ARRAY_TASK_ID" = 2 ] && { echo "instance 2 fails on purpose"; exit 3; }
exec "$zuq" "\$@"
EOW
chmod +x "$work/failing/zuq"
"$submit" -n 3 -w -d "$work/failing" -z "$work/failing/zuq" -- "${options[@]}" >"$work/failing.out" 2>&1
status=$?
cat "$work/failing.out"
check "a failing instance makes the script fail" test "$status" -ne 0
join_id=$(sed -n 's/^join \([0-9]*\)$/\1/p' "$work/failing.out")
check "the join was cancelled" bash -c "scontrol show job -o '$join_id' | grep -q 'JobState=CANCELLED'"
check "the failed task is named with its log" grep -q "instance 2/3 ended FAILED (exit code 3:0); its log: $work/failing/zuq-slurm-logs/zuq-[0-9]*_2.out" "$work/failing.out"
check "the failed task's log holds its output" grep -rq "instance 2 fails on purpose" "$work/failing/zuq-slurm-logs"
check "no results table after a failed instance" test ! -e "$work/failing/out.zuq"

t0=$(ms)
trap - EXIT
finish
echo "SLURM stopped in $(seconds_since "$t0") s"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all checks passed"
