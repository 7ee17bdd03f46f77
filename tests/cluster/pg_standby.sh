#!/usr/bin/env bash
# Reports on a PostgreSQL primary and its streaming standby, both throwaway
# servers on loopback, reached through libpq multi-host URIs:
#   pg_standby.sh BINARY WORKROOT
# A report reads on the standby (target_session_attrs=prefer-standby) and a
# write there is the server's read-only error; with the primary down the
# second host of the URI is used, a job that must write finds no writable
# server, and once the standby is promoted the next job writes on it.
# Exit status: 0 all passed, 1 a failure, 77 PostgreSQL is not installed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
root=$2

source "$here/../pg/pg_server.sh"
PG_NEED_ODBC=0
if ! pg_find || [ ! -x "$PG_BINDIR/pg_basebackup" ]; then
  echo "SKIPPED: PostgreSQL server programs are missing (scripts/install-deps.sh installs them)"
  exit 77
fi
source "$here/cluster_lib.sh"

tmp=$(mktemp -d /tmp/kelvordantix_standby.XXXXXX)
chmod 755 "$tmp"
PRIMARY_DIR=$tmp/primary STANDBY_DIR=$tmp/standby
STANDBY_PORT=
trap 'PG_DIR=$STANDBY_DIR pg_stop; PG_DIR=$PRIMARY_DIR pg_stop; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

# The pg_* helpers of pg_server.sh act on the server of PG_DIR and PG_PORT;
# these run them on one of the two.
on_primary() { PG_DIR=$PRIMARY_DIR PG_PORT=$PRIMARY_PORT "$@"; }
on_standby() { PG_DIR=$STANDBY_DIR PG_PORT=$STANDBY_PORT "$@"; }

# The primary with kcase holding 3,000 items, then a standby cloned from it
# by pg_basebackup -R (which writes the primary_conninfo and the
# standby.signal that make it follow the primary).
start_servers() {
  pg_start "$PRIMARY_DIR" || return 1
  PRIMARY_PORT=$PG_PORT
  pg_new_case &&
  pg_psql -c "CREATE TABLE items (n INTEGER PRIMARY KEY, label VARCHAR(20));
              INSERT INTO items SELECT g, 'item ' || g FROM generate_series(1, 3000) g;
              CREATE TABLE journal (note VARCHAR(40))" || return 1
  mkdir -p "$STANDBY_DIR/run" && mkdir -m 700 "$STANDBY_DIR/data" || return 1
  [ ${#PG_RUNAS[@]} -eq 0 ] || chown nobody "$STANDBY_DIR/run" "$STANDBY_DIR/data"
  pg_as_owner "$PG_BINDIR/pg_basebackup" -h "$PRIMARY_DIR/run" -p "$PRIMARY_PORT" -U postgres \
      -D "$STANDBY_DIR/data" -R -X stream --checkpoint=fast --no-sync > "$tmp/basebackup.log" 2>&1 ||
    { cat "$tmp/basebackup.log"; return 1; }
  local tries
  for tries in 1 2 3 4 5; do
    STANDBY_PORT=$(pg_free_port) || return 1
    on_standby pg_restart && return 0
  done
  cat "$STANDBY_DIR/run/server.log"
  return 1
}

# Wait (at most 30 s) until the standby has replayed all the primary wrote.
wait_for_replay() {
  local lsn
  lsn=$(on_primary pg_psql -At -c "SELECT pg_current_wal_lsn()") || return 1
  for _ in $(seq 1 300); do
    [ "$(on_standby pg_psql -At -c "SELECT pg_last_wal_replay_lsn() >= '$lsn'")" = t ] && return 0
    sleep 0.1
  done
  echo "the standby did not catch up"
  return 1
}

uri() {  # host-ports [parameters]
  echo "scott/tiger@postgresql://$1/kcase${2:+?$2}"
}

# The job that says where it runs: the server's port, whether it is a
# standby, what it sees of the data; then, when .IF finds items, a report
# over every item with a nested query per row.
reader_script() {
  cat > "$1/job.rpt" <<'EOF'
.DECLARE PORT 99999
.DECLARE STANDBY 9
.DECLARE ITEMS 99999
.DECLARE NOTES 99
.DECLARE N 9999
.DECLARE LABEL A20
.DEFINE WHERE
SELECT inet_server_port(), pg_is_in_recovery(),
       (SELECT count(*) FROM items), (SELECT count(*) FROM journal)
INTO PORT STANDBY ITEMS NOTES
..
.DEFINE ALL
SELECT n FROM items ORDER BY n
INTO N
..
.DEFINE LABEL_OF
SELECT label FROM items WHERE n = &N
INTO LABEL
..
.DEFINE LINE
.LABEL_OF
.PRINT N LABEL
..
.WHERE
.PRINT $$DATE$$ PORT STANDBY ITEMS NOTES
.IF "&ITEMS > 0" THEN LIST
.GOTO END
.&LIST
.REPORT ALL LINE
.&END
EOF
}

# The first five lines of the reader's report: date, port, standby flag,
# item and journal counts.
reader_head() {  # work
  head -n 5 "$1/out.txt" | sed 's/^ *//' | tr '\n' ' '
}

# The reader's report must be the head given and then every item.
check_reader() {  # work expected-head
  cluster_expect "where the job ran" "$2" "$(reader_head "$1")" || return 1
  diff <(seq 1 3000 | awk '{ printf "%d\nitem %d\n", $1, $1 }') <(tail -n +6 "$1/out.txt") > /dev/null ||
    { echo "the report of the items differs"; return 1; }
}

# prefer-standby picks the standby though the primary comes first, and the
# whole report (three cursor batches) runs there.
standby_read() {
  reader_script "$1"
  cluster_run "$1" 0 "$(uri "127.0.0.1:$PRIMARY_PORT,127.0.0.1:$STANDBY_PORT" target_session_attrs=prefer-standby)" || return 1
  check_reader "$1" "08/12/26 $STANDBY_PORT 1 3000 0 "
}

# A write on the standby: the server's error, the job aborted.
standby_write() {
  cat > "$1/job.rpt" <<'EOF'
.DEFINE NOTE
INSERT INTO journal VALUES ('written on the standby')
..
.NOTE
EOF
  cluster_run "$1" 1 "$(uri "127.0.0.1:$PRIMARY_PORT,127.0.0.1:$STANDBY_PORT" target_session_attrs=prefer-standby)" || return 1
  # The statement as sent: its lines joined, each followed by a blank.
  printf '%s\n' 'Kelvordantix: job.rpt Job Started ...' 'Kelvordantix: POSTGRESQL Error Number 1' \
      '[25006] cannot execute INSERT in a read-only transaction' \
      "INSERT INTO journal VALUES ('written on the standby') " 'job.rpt:2: in macro NOTE: the server refused this statement' \
      'Kelvordantix: job.rpt Job Aborted ...' |
    diff -u - "$1/stderr.txt"
}

writer_script() {  # work note
  cat > "$1/job.rpt" <<EOF
.DECLARE PORT 99999
.DEFINE NOTE
INSERT INTO journal VALUES ('$2')
..
.DEFINE WHERE
SELECT inet_server_port()
INTO PORT
..
.NOTE
.WHERE
.PRINT PORT
EOF
}

writer_uri() { uri "127.0.0.1:$PRIMARY_PORT,127.0.0.1:$STANDBY_PORT" target_session_attrs=read-write; }

# A job that writes names both hosts with read-write: it runs on the
# primary, and its row reaches the standby.
primary_write() {
  writer_script "$1" "before the failover"
  cluster_run "$1" 0 "$(writer_uri)" || return 1
  cluster_expect "port" "$PRIMARY_PORT" "$(tr -d ' \n' < "$1/out.txt")" || return 1
  wait_for_replay || return 1
  cluster_expect "rows on the standby" 1 "$(on_standby pg_psql -At -c "SELECT count(*) FROM journal")"
}

# The primary down (a crash): the reader's first host refuses, the second
# serves the report.
first_host_down() {
  on_primary pg_kill
  reader_script "$1"
  cluster_run "$1" 0 "$(uri "127.0.0.1:$PRIMARY_PORT,127.0.0.1:$STANDBY_PORT")" || return 1
  check_reader "$1" "08/12/26 $STANDBY_PORT 1 3000 1 "
}

# With the primary down the writer finds no host it may write on: libpq's
# reason for each host, in the order tried.
no_writable_host() {
  writer_script "$1" "while the primary is down"
  cluster_run "$1" 1 "$(writer_uri)" || return 1
  printf '%s\n' 'Kelvordantix: job.rpt Job Started ...' 'Connect Fail' \
      'connection to server at "127.0.0.1", port PRIMARY failed: Connection refused' \
      '	Is the server running on that host and accepting TCP/IP connections?' \
      'connection to server at "127.0.0.1", port STANDBY failed: session is read-only' \
      'Kelvordantix: job.rpt Job Aborted ...' |
    diff -u - <(sed -e "s/port $PRIMARY_PORT /port PRIMARY /" -e "s/port $STANDBY_PORT /port STANDBY /" "$1/stderr.txt")
}

# The standby promoted between two jobs: the same writer URI now reaches
# it, and its row is committed there.
promoted_standby() {
  on_standby pg_as_owner "$PG_BINDIR/pg_ctl" -D "$STANDBY_DIR/data" -w -t 30 promote > /dev/null ||
    { echo "promotion failed"; return 1; }
  writer_script "$1" "after the failover"
  cluster_run "$1" 0 "$(writer_uri)" || return 1
  cluster_expect "port" "$STANDBY_PORT" "$(tr -d ' \n' < "$1/out.txt")" || return 1
  cluster_expect "rows after the failover" "before the failover,after the failover" \
      "$(on_standby pg_psql -At -c "SELECT string_agg(note, ',' ORDER BY note DESC) FROM journal")"
}

start_servers || { echo "could not start the primary and the standby"; exit 1; }
wait_for_replay || exit 1
# In this order: the last three fail the primary over to the standby.
cluster_run_tests "$root/pg_standby" standby_read standby_write primary_write first_host_down \
    no_writable_host promoted_standby
