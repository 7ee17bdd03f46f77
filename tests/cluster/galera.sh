#!/usr/bin/env bash
# Reports on a three-node MariaDB Galera cluster of throwaway servers on
# loopback:
#   galera.sh BINARY WORKROOT [DRIVER...]
# A report writes on one node and is read back on another; two jobs on two
# nodes change the same row and the one that commits second is refused; a
# node killed in the middle of a report ends its job with nothing
# committed, and the same job on another node then succeeds. The jobs
# reach the nodes through each DRIVER named: odbc (MariaDB Connector/ODBC,
# the default) or mariadb (the program's own driver); the node is killed
# once, under the last one.
# Exit status: 0 all passed, 1 a failure, 77 MariaDB or Galera is not installed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
root=$2
drivers=("${@:3}")
[ ${#drivers[@]} -gt 0 ] || drivers=(odbc)
driver=

source "$here/galera_server.sh"
if ! galera_find || { [[ " ${drivers[*]} " == *" odbc "* ]] && [ -z "$GALERA_ODBC_DRIVER" ]; }; then
  echo "SKIPPED: MariaDB, Galera or Connector/ODBC is missing (scripts/install-deps.sh installs them)"
  exit 77
fi
source "$here/cluster_lib.sh"

tmp=$(mktemp -d /tmp/kelvordantix_galera.XXXXXX)
trap 'galera_stop; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

# The connect string of node N. Its sessions read what the cluster
# committed before them: the data source's InitStmt sets wsrep_sync_wait,
# and the URI's init-command (a client option) does the same.
node_conn() {  # node
  if [ "$driver" = mariadb ]; then
    echo "scott/tiger@mariadb://127.0.0.1:${GALERA_PORT[$1]}/kcase?init-command=SET%20SESSION%20wsrep_sync_wait%3D1"
  else
    echo "scott/tiger@odbc:KXGALERA$1"
  fi
}

# A value read on node N after it has applied everything the cluster
# committed before (wsrep_sync_wait).
node_value() {  # node sql
  galera_sql "$1" "SET SESSION wsrep_sync_wait = 1; $2" kcase
}

# Wait (at most 30 s) until node N sees a cluster of the size given.
wait_for_size() {  # node size
  for _ in $(seq 1 300); do
    [ "$(galera_sql "$1" "SELECT variable_value FROM information_schema.global_status
                          WHERE variable_name = 'wsrep_cluster_size'")" = "$2" ] && return 0
    sleep 0.1
  done
  echo "the cluster did not shrink to $2 nodes"
  return 1
}

# Start WORK/job.rpt on node N in the background with its standard input
# from a FIFO held open on descriptor 7; JOB_PID is the job.
start_job() {  # work node
  mkfifo "$1/answers"
  exec 7<>"$1/answers"
  (cd "$1" && exec timeout 60 "$binary" job.rpt out.txt "$(node_conn "$2")" 1 \
      < answers > stdout.txt 2> stderr.txt) &
  JOB_PID=$!
}

end_job() {  # expected-status
  local status
  wait "$JOB_PID"
  status=$?
  exec 7>&-
  cluster_expect "exit status" "$1" "$status"
}

# Wait (at most 30 s) until a file holds a line matching a pattern.
wait_for_line() {  # file pattern
  for _ in $(seq 1 300); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "timed out waiting for '$2' in $(basename "$1")"
  return 1
}

# The messages of a job ended by a server error, the question it asked
# on the way included. The program's own driver gives the server's
# SQLSTATE and text as they are, so its messages are compared whole;
# Connector/ODBC adds its own marks to the text, so there the text need
# only appear in the message line.
check_server_error() {  # work question number state text statement [cause line]
  local err=$1/stderr.txt end=6
  if [ "$driver" = mariadb ]; then
    printf '%s\n' 'Kelvordantix: job.rpt Job Started ...' "$2" "Kelvordantix: MARIADB Error Number $3" \
        "[$4] $5" "$6" ${7:+"$7"} 'Kelvordantix: job.rpt Job Aborted ...' | diff -u - "$err"
    return
  fi
  [ -n "${7:-}" ] && end=7
  sed -n 3p "$err" | grep -qx "Kelvordantix: MARIADB Error Number $3" &&
    sed -n 4p "$err" | grep -qF -- "$5" &&
    sed -n 5p "$err" | grep -qxF -- "$6" &&
    { [ -z "${7:-}" ] || sed -n 6p "$err" | grep -qxF -- "$7"; } &&
    sed -n ${end}p "$err" | grep -qx 'Kelvordantix: job.rpt Job Aborted ...' ||
    { echo "unexpected messages:"; cat "$err"; return 1; }
}

# A job on node 1 fills items; a report on node 2, whose session waits
# for the cluster's earlier commits, reads every row back and notes it in
# the journal, which node 3 then sees.
write_read() {
  galera_sql 1 "DELETE FROM items; DELETE FROM journal" kcase || return 1
  cat > "$1/job.rpt" <<'EOF'
.DEFINE FILL
INSERT INTO items SELECT seq, CONCAT('item ', seq) FROM seq_1_to_3000
..
.FILL
EOF
  cluster_run "$1" 0 "$(node_conn 1)" || return 1
  cat > "$1/job.rpt" <<'EOF'
.DECLARE NODE A10
.DECLARE WAITS 9
.DECLARE ITEMS 99999
.DECLARE N 9999
.DECLARE LABEL A20
.DEFINE WHERE
SELECT @@wsrep_node_name, @@session.wsrep_sync_wait, count(*) FROM items
INTO NODE WAITS ITEMS
..
.DEFINE ALL
SELECT n, label FROM items ORDER BY n
INTO N LABEL
..
.DEFINE LINE
.PRINT N LABEL
..
.DEFINE NOTE
INSERT INTO journal VALUES (&NODE, &ITEMS)
..
.WHERE
.PRINT NODE WAITS ITEMS
.REPORT ALL LINE
.NOTE
EOF
  cluster_run "$1" 0 "$(node_conn 2)" || return 1
  diff <(printf '%s\n' node2 1 3000; seq 1 3000 | awk '{ printf "%d\nitem %d\n", $1, $1 }') "$1/out.txt" > /dev/null ||
    { echo "the report on node 2 differs"; return 1; }
  cluster_expect "journal on node 3" "node2	3000" "$(node_value 3 "SELECT node, items FROM journal")"
}

# Two jobs on two nodes update the same row. The one on node 2 commits
# first; the one on node 1, waiting on a question with its update done,
# then has its commit refused (a certification conflict, reported as a
# deadlock): a server error, no report, the row as node 2 left it.
conflicting_commit() {
  local first=$1/first second=$1/second
  mkdir -p "$first" "$second"
  cat > "$first/job.rpt" <<'EOF'
.DECLARE GO A5
.DEFINE UPD
UPDATE items SET label = 'from node 1' WHERE n = 1
..
.UPD
.ASK "updated" GO
EOF
  start_job "$first" 1
  wait_for_line "$first/stderr.txt" '^updated' || { kill "$JOB_PID"; return 1; }
  cat > "$second/job.rpt" <<'EOF'
.DEFINE UPD
UPDATE items SET label = 'from node 2' WHERE n = 1
..
.UPD
EOF
  cluster_run "$second" 0 "$(node_conn 2)" || { kill "$JOB_PID"; return 1; }
  echo go >&7
  end_job 1 || return 1
  [ ! -e "$first/out.txt" ] || { echo "a report was written"; return 1; }
  check_server_error "$first" updated 1213 40001 \
      'Deadlock found when trying to get lock; try restarting transaction' COMMIT \
      'job.rpt: the server refused the COMMIT at the end of the job' || return 1
  cluster_expect "row on node 3" "from node 2" "$(node_value 3 "SELECT label FROM items WHERE n = 1")"
}

# The copying report: every item into copies, with a question after row
# 1,000 so that the test can act while the job is half way.
copy_script() {  # work
  cat > "$1/job.rpt" <<'EOF'
.DECLARE N 9999
.DECLARE GO A5
.DEFINE ROWS
SELECT n FROM items ORDER BY n
INTO N
..
.DEFINE BODY
.COPY
.IF "&N = 1000" THEN HALF
.GOTO DONE
.&HALF
.ASK "half way" GO
.&DONE
..
.DEFINE COPY
INSERT INTO copies VALUES (&N)
..
.REPORT ROWS BODY
EOF
}

# Node 2 killed while its job is half way through the report: the job's
# next statement finds the connection lost (the client's error 2013), the
# job ends with status 1 and nothing of its
# copies is committed anywhere; once the two others have dropped the dead
# node, the same job on node 3 copies everything.
node_killed_mid_report() {
  local dead=$1/dead again=$1/again
  mkdir -p "$dead" "$again"
  copy_script "$dead"
  start_job "$dead" 2
  wait_for_line "$dead/stderr.txt" '^half way' || { kill "$JOB_PID"; return 1; }
  galera_kill 2
  echo go >&7
  end_job 1 || { cat "$dead/stderr.txt"; return 1; }
  check_server_error "$dead" "half way" 2013 HY000 'Lost connection to server during query' \
      'INSERT INTO copies VALUES ( 1001 ) ' 'job.rpt:16: in macro COPY: the connection to the server was lost' || return 1
  wait_for_size 1 2 || return 1
  cluster_expect "copies after the crash" 0 "$(node_value 1 "SELECT count(*) FROM copies")" || return 1

  copy_script "$again"
  echo go | (cd "$again" && timeout 60 "$binary" job.rpt out.txt "$(node_conn 3)" 1 > stdout.txt 2> stderr.txt)
  cluster_expect "exit status on node 3" 0 $? || { cat "$again/stderr.txt"; return 1; }
  cluster_expect "copies from node 3" "3000 4501500" \
      "$(node_value 1 "SELECT count(*), sum(n) FROM copies" | tr '\t' ' ')"
}

start=$SECONDS
galera_start "$tmp" || { echo "could not start the Galera cluster"; exit 1; }
echo "cluster up in $((SECONDS - start)) s"
galera_sql 1 "CREATE TABLE items (n INTEGER PRIMARY KEY, label VARCHAR(20));
              CREATE TABLE journal (node VARCHAR(10), items INTEGER);
              CREATE TABLE copies (n INTEGER PRIMARY KEY)" kcase || exit 1
status=0
rm -rf "$root/galera"
for driver in "${drivers[@]}"; do
  echo "through $driver:"
  cluster_run_tests "$root/galera/$driver" write_read conflicting_commit || status=1
done
# Last: it kills node 2.
cluster_run_tests "$root/galera/node_failure" node_killed_mid_report || status=1
exit $status
