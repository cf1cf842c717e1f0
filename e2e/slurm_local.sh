#!/usr/bin/env bash
# Starts and stops a private single-node SLURM (controller and node daemon on this machine) for
# the tests, with every file under one folder and nothing read from or written to /etc/slurm.
#
#   e2e/slurm_local.sh start DIR   prints "export SLURM_CONF=DIR/slurm.conf" when the node is idle
#   e2e/slurm_local.sh stop DIR    cancels every job, stops the daemons it started (by pid file)
#
# Status of start: 0 ready, 77 SLURM cannot run here (not installed, no free port, daemons that
# do not come up); the reason is on standard error.
set -uo pipefail

sbin_of() { command -v "$1" 2>/dev/null || { [ -x "/usr/sbin/$1" ] && echo "/usr/sbin/$1"; }; }

cannot_run() { echo "slurm_local: $*" >&2; exit 77; }

port_is_free() {
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Two consecutive free ports, the controller's and the node daemon's.
free_port_pair() {
  local port
  for port in $(shuf -i 20000-60000 -n 40); do
    if port_is_free "$port" && port_is_free $((port + 1)); then
      echo "$port"
      return 0
    fi
  done
  return 1
}

write_conf() {
  local dir=$1 port=$2 plugins
  plugins=$(dirname "$(find /usr/lib -name auth_none.so -path '*slurm*' 2>/dev/null | head -n 1)")
  cat >"$dir/slurm.conf" <<EOF
ClusterName=zuqtest
SlurmctldHost=localhost
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/none
CredType=cred/none
PluginDir=$plugins
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
MailProg=/bin/true
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/backfill
DependencyParameters=kill_invalid_depend
SchedulerParameters=batch_sched_delay=0
ReturnToService=2
MinJobAge=3600
MpiDefault=none
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=debug Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
}

start() {
  local dir=$1 slurmctld slurmd port i state
  slurmctld=$(sbin_of slurmctld) || cannot_run "slurmctld is not installed"
  slurmd=$(sbin_of slurmd) || cannot_run "slurmd is not installed"
  command -v sbatch >/dev/null && command -v scontrol >/dev/null ||
    cannot_run "the SLURM client commands are not installed"
  [ -n "$(find /usr/lib -name auth_none.so -path '*slurm*' 2>/dev/null | head -n 1)" ] ||
    cannot_run "the auth/none plugin is not installed"
  port=$(free_port_pair) || cannot_run "no two free consecutive ports found"

  mkdir -p "$dir/state" "$dir/spool"
  write_conf "$dir" "$port"
  export SLURM_CONF=$dir/slurm.conf
  "$slurmctld" -f "$SLURM_CONF" || { stop "$dir"; cannot_run "slurmctld did not start (see $dir/slurmctld.log)"; }
  "$slurmd" -f "$SLURM_CONF" -N localhost || { stop "$dir"; cannot_run "slurmd did not start (see $dir/slurmd.log)"; }
  for i in $(seq 1 100); do
    state=$(sinfo -h -n localhost -o %T 2>/dev/null)
    if scontrol ping 2>/dev/null | grep -q UP && [ "$state" = idle ]; then
      echo "export SLURM_CONF=$SLURM_CONF"
      return 0
    fi
    sleep 0.2
  done
  stop "$dir"
  cannot_run "the node did not become idle within 20 s (see $dir/slurmctld.log, $dir/slurmd.log)"
}

# Ends the daemon whose pid is in the file: TERM, then KILL after a grace period.
end_daemon() {
  local pidfile=$1 pid i
  [ -s "$pidfile" ] || return 0
  pid=$(cat "$pidfile")
  kill -TERM "$pid" 2>/dev/null || return 0
  for i in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

stop() {
  local dir=$1
  export SLURM_CONF=$dir/slurm.conf
  if [ -f "$SLURM_CONF" ]; then
    scancel --full --quiet --user="$(id -un)" 2>/dev/null || true
    timeout 5 scontrol shutdown >/dev/null 2>&1 || true
  fi
  end_daemon "$dir/slurmd.pid"
  end_daemon "$dir/slurmctld.pid"
}

case "${1:-}" in
  start) [ $# -eq 2 ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }; start "$2" ;;
  stop) [ $# -eq 2 ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }; stop "$2" ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
