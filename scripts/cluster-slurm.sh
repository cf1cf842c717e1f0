#!/usr/bin/env bash
# Runs a zuq analysis on a SLURM cluster: a job array of N instances (--cluster k/N), all in one
# working directory, and a join job (--join N) that starts only when every instance succeeded.
#
# usage: scripts/cluster-slurm.sh -n N [-d DIR] [-z ZUQ] [-l LOGDIR] [-w] [-s "SBATCH ARGS"] -- ZUQ OPTIONS
#
#   -n N        number of instances (the job array's size)
#   -d DIR      working directory of every job (default: the current one); relative file names
#               in the zuq options are taken from there
#   -z ZUQ      the zuq executable (default: build/release/zuq of this checkout, else zuq on PATH)
#   -l LOGDIR   where the jobs' logs go (default: DIR/zuq-slurm-logs)
#   -w          wait for the join and exit with its status; a failed instance is named with its
#               log, and the join is cancelled
#   -s ARGS     further sbatch arguments for every job (partition, time limit, account...),
#               split on blanks
#
# The zuq options after -- are passed to every job unchanged (without --cluster or --join, which
# this script adds). It prints the job ids: "array JOBID", "join JOBID".
set -euo pipefail

usage() { sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
fail() { echo "cluster-slurm: $*" >&2; exit 1; }

instances="" workdir=$PWD zuq="" logdir="" wait_for_join=0 extra_sbatch=()
while getopts "n:d:z:l:ws:h" opt; do
  case $opt in
    n) instances=$OPTARG ;;
    d) workdir=$OPTARG ;;
    z) zuq=$OPTARG ;;
    l) logdir=$OPTARG ;;
    w) wait_for_join=1 ;;
    s) read -r -a extra_sbatch <<<"$OPTARG" ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ "${1:-}" = "--" ] && shift
zuq_options=("$@")

[[ $instances =~ ^[1-9][0-9]*$ ]] || fail "-n takes the number of instances (a whole number above 0)"
for option in "${zuq_options[@]}"; do
  case $option in
    --cluster | --join) fail "$option is added by this script; leave it out of the zuq options" ;;
  esac
done
command -v sbatch >/dev/null && command -v scontrol >/dev/null ||
  fail "sbatch and scontrol (SLURM's client commands) are not on PATH"
[ -d "$workdir" ] || fail "working directory $workdir does not exist"
workdir=$(cd "$workdir" && pwd)

if [ -z "$zuq" ]; then
  here=$(cd "$(dirname "$0")/.." && pwd)
  if [ -x "$here/build/release/zuq" ]; then
    zuq=$here/build/release/zuq
  else
    zuq=$(command -v zuq) || fail "no zuq executable found: build it or pass -z"
  fi
fi
case $zuq in /*) ;; */*) zuq=$(cd "$(dirname "$zuq")" && pwd)/$(basename "$zuq") ;; esac
[ -x "$zuq" ] || command -v "$zuq" >/dev/null || fail "$zuq is not an executable"
logdir=${logdir:-$workdir/zuq-slurm-logs}
mkdir -p "$logdir"
logdir=$(cd "$logdir" && pwd)

# The command line of a job, each word quoted for the shell of --wrap.
quoted=$(printf '%q ' "$zuq" "${zuq_options[@]}")

# kill-on-invalid-dep ends the join as soon as an instance fails, whatever the cluster's own
# dependency settings, so it never waits for ever.
array_id=$(sbatch --parsable --job-name=zuq-instance --array="1-$instances" --chdir="$workdir" \
  -o "$logdir/zuq-%A_%a.out" "${extra_sbatch[@]}" \
  --wrap "${quoted}--cluster \"\$SLURM_ARRAY_TASK_ID/$instances\"")
array_id=${array_id%%;*}
join_id=$(sbatch --parsable --job-name=zuq-join --dependency="afterok:$array_id" \
  --kill-on-invalid-dep=yes --chdir="$workdir" -o "$logdir/zuq-join-%j.out" "${extra_sbatch[@]}" \
  --wrap "${quoted}--join $instances") || {
  scancel "$array_id" 2>/dev/null || true
  fail "the join job could not be submitted; the array $array_id was cancelled"
}
join_id=${join_id%%;*}
echo "array $array_id"
echo "join $join_id"
[ "$wait_for_join" -eq 1 ] || exit 0

# Field NAME of every record that scontrol prints for a job (one line per array task).
job_field() { scontrol show job -o "$1" 2>/dev/null | grep -o "\b$2=[^ ]*" | cut -d= -f2- || true; }

finished_state() {
  case $1 in
    COMPLETED | FAILED | CANCELLED | TIMEOUT | NODE_FAIL | OUT_OF_MEMORY | PREEMPTED | BOOT_FAIL | DEADLINE) return 0 ;;
    *) return 1 ;;
  esac
}

# Names every array task that ended without success, with its log.
report_failed_tasks() {
  local record task state code failed=0
  while read -r record; do
    [ -n "$record" ] || continue
    task=$(grep -o '\bArrayTaskId=[^ ]*' <<<"$record" | cut -d= -f2)
    state=$(grep -o '\bJobState=[^ ]*' <<<"$record" | cut -d= -f2)
    code=$(grep -o '\bExitCode=[^ ]*' <<<"$record" | cut -d= -f2)
    if [ "$state" != COMPLETED ] && finished_state "$state"; then
      echo "cluster-slurm: instance $task/$instances ended $state (exit code $code); its log: $logdir/zuq-${array_id}_$task.out" >&2
      failed=1
    fi
  done < <(scontrol show job -o "$array_id" 2>/dev/null)
  return $failed
}

while :; do
  state=$(job_field "$join_id" JobState)
  if finished_state "$state"; then
    break
  fi
  if [ -z "$state" ]; then
    fail "job $join_id is no longer known to SLURM; look in $logdir"
  fi
  # An instance that failed makes the join invalid; cancel it here too, in case the cluster keeps
  # invalid dependencies pending.
  if ! report_failed_tasks 2>/dev/null; then
    scancel "$join_id" 2>/dev/null || true
  fi
  sleep 1
done

if [ "$state" = COMPLETED ]; then
  echo "join $join_id COMPLETED; its log: $logdir/zuq-join-$join_id.out"
  exit 0
fi
report_failed_tasks || true
code=$(job_field "$join_id" ExitCode)
if [ -f "$logdir/zuq-join-$join_id.out" ]; then
  echo "cluster-slurm: the join $join_id ended $state (exit code ${code:-none}); its log: $logdir/zuq-join-$join_id.out" >&2
else
  echo "cluster-slurm: the join $join_id ended $state without running" >&2
fi
status=${code%%:*}
[[ $status =~ ^[0-9]+$ ]] && [ "$status" -ne 0 ] && exit "$status"
exit 1
