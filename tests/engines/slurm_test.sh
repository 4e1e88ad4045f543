#!/bin/sh
# The README's Slurm recipe on a real single-node Slurm cluster that this
# test starts (munged, slurmctld and slurmd, as root, on ports of its own)
# and stops again by PID: the installed ensembles.sbatch and collect.sh on
# four ensembles, one cut short, listed without a final line end. The
# collection job must fail and list that one alone. A second array, held,
# with one task cancelled before it ran, must list that task as none
# although its directory still holds the status of the first pass.
#   slurm_test.sh BUILD_DIR GENERATOR SOURCE_DIR
# Exits 77 (skipped) when Slurm or munge is not installed or not root.
set -eu
build=$1 generator=$2 src=$3
. "$src/tests/engines/common.sh"

skip() { echo "skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "the Slurm test starts its own cluster and must run as root"
for p in munged mungekey slurmctld slurmd sbatch scontrol scancel sinfo; do
  command -v "$p" >/dev/null 2>&1 ||
    skip "$p is not installed (Debian: apt-get install slurm-wlm munge)"
done

tmp=$(mktemp -d /tmp/slurm-test.XXXXXX)
# munged wants its socket in a directory everyone may search.
chmod 755 "$tmp"
pids=
stop() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  for pid in $pids; do
    i=0
    while kill -0 "$pid" 2>/dev/null && [ "$i" -lt 50 ]; do sleep 0.2; i=$((i + 1)); done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap stop EXIT
trap 'exit 130' INT TERM
failures=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }
logs() { for f in "$tmp"/log/*; do echo "== $f"; tail -n 15 "$f"; done >&2; }
# wait_for SECONDS WHAT COMMAND...: COMMAND succeeds within SECONDS.
wait_for() {
  limit=$(($1 * 5)) what=$2 i=0
  shift 2
  until "$@" >/dev/null 2>&1; do
    i=$((i + 1))
    if [ "$i" -ge "$limit" ]; then
      echo "FAIL: timed out waiting for $what" >&2
      logs
      exit 1
    fi
    sleep 0.2
  done
}

# Two free ports next to each other, away from Slurm's own 6817 and 6818.
port=$((20000 + $$ % 20000))
if command -v ss >/dev/null 2>&1; then
  while ss -Htan | awk -v a=":$port" -v b=":$((port + 1))" '$4 ~ a "$" || $4 ~ b "$" { f = 1 } END { exit !f }'; do
    port=$((port + 2))
  done
fi
host=$(hostname -s)
mkdir "$tmp/munge" "$tmp/state" "$tmp/spool" "$tmp/log"
chmod 755 "$tmp/munge"

mungekey -c -k "$tmp/munge/munge.key" >/dev/null 2>&1
munged -F --key-file="$tmp/munge/munge.key" --socket="$tmp/munge/socket" \
  --pid-file="$tmp/munge/munged.pid" --seed-file="$tmp/munge/seed" \
  >"$tmp/log/munged" 2>&1 &
pids="$!"
wait_for 10 munged test -S "$tmp/munge/socket"

cat >"$tmp/slurm.conf" <<CONF
ClusterName=tdtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$tmp/munge/socket
CredType=cred/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=2 RealMemory=2000 State=UNKNOWN
PartitionName=td Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
SLURM_CONF=$tmp/slurm.conf
export SLURM_CONF
slurmctld -D >"$tmp/log/slurmctld" 2>&1 &
pids="$! $pids"
slurmd -D >"$tmp/log/slurmd" 2>&1 &
pids="$! $pids"
node_idle() { [ "$(sinfo -h -n "$host" -o %t 2>/dev/null)" = idle ]; }
wait_for 30 "the node to come up" node_idle

install_tree "$build" "$tmp/prefix"
PATH=$tmp/prefix/bin:$PATH
export PATH
recipe "$src/README.md" '### Cluster: Slurm job array' >"$tmp/recipe.sh"
[ -s "$tmp/recipe.sh" ] || { echo "FAIL: no Slurm recipe in README.md" >&2; exit 1; }

mkdir "$tmp/work"
cd "$tmp/work"
four_ensembles "$generator" "$src"
printf '%s' "$(cat dirs.txt)" >dirs.tmp && mv dirs.tmp dirs.txt

# ended JOB: the job has ended, in whatever state.
ended() { scontrol show job "$1" 2>/dev/null | grep -Eq 'JobState=(COMPLETED|FAILED|CANCELLED|TIMEOUT|NODE_FAIL|OUT_OF_MEMORY)'; }
job_field() { scontrol show job "$1" | grep -o "$2=[^ ]*" | head -n 1; }

sh "$tmp/recipe.sh" >recipe.out 2>recipe.err </dev/null ||
  { echo "FAIL: the recipe: $(cat recipe.err)" >&2; logs; exit 1; }
collect=$(sed -n 's/.*collection job \([0-9][0-9]*\).*/\1/p' recipe.out)
[ -n "$collect" ] || { echo "FAIL: no collection job in: $(cat recipe.out)" >&2; exit 1; }
wait_for 90 "the collection job $collect" ended "$collect"
[ "$(job_field "$collect" JobState)" = JobState=FAILED ] || fail "collection job: $(job_field "$collect" JobState)"
[ "$(job_field "$collect" ExitCode)" = ExitCode=1:0 ] || fail "collection job: $(job_field "$collect" ExitCode)"
[ "$(cat failures.txt)" = "runs/broken 3" ] || fail "failures.txt: $(cat failures.txt)"
[ "$(tail -n 1 collect.out)" = "4 ensembles: 1 failed (see failures.txt)" ] ||
  fail "collect.out: $(cat collect.out)"
for d in runs/a runs/b runs/c; do
  has_results "$d" || fail "$d has no complete results"
done

# Second pass, task 2 (runs/b) cancelled before it could run.
slurm=$tmp/prefix/share/threshold-detector/slurm
job=$(sbatch --parsable --hold --array=1-4 "$slurm/ensembles.sbatch" dirs.txt)
scancel "${job}_2"
collect=$(sbatch --parsable --dependency=afterany:"$job" --output=collect.out "$slurm/collect.sh" dirs.txt "$job" 4)
scontrol release "$job"
wait_for 90 "the second collection job $collect" ended "$collect"
printf 'runs/b none\nruns/broken 3\n' | cmp -s - failures.txt ||
  fail "second pass: failures.txt: $(cat failures.txt)"
[ "$(job_field "$collect" JobState)" = JobState=FAILED ] || fail "second collection job: $(job_field "$collect" JobState)"

[ "$failures" -eq 0 ] || { logs; exit 1; }
