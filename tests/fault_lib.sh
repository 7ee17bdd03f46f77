# The helpers of the server fault tests (pg/faults.sh, mariadb/faults.sh),
# sourced by them: a value compared, a wait for a line, and a job run in
# the background that reads its .ASK answers from a FIFO on descriptor 7.
# The job runs $binary with $CONN in RptOnly mode.

fault_expect() {  # what expected actual
  if [ "$2" != "$3" ]; then
    echo "$1: expected '$2', got '$3'"
    return 1
  fi
}

# Wait (at most 30 s) until a file holds a line matching a pattern.
fault_wait_for() {  # file pattern
  local i
  for i in $(seq 1 300); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "timed out waiting for '$2' in $(basename "$1")"
  return 1
}

# Start the job of WORK/job.rpt in the background with its standard input
# from a FIFO held open on descriptor 7; JOB_PID is the job.
fault_start_job() {  # work
  mkfifo "$1/answers"
  exec 7<>"$1/answers"
  (cd "${1:?}" && exec timeout 60 "$binary" job.rpt out.txt "$CONN" 1 < answers > stdout.txt 2> stderr.txt) &
  JOB_PID=$!
}

fault_end_job() {  # expected-status
  local status
  wait "$JOB_PID"
  status=$?
  exec 7>&-
  fault_expect "exit status" "$1" "$status"
}
