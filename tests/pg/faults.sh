# Real-server behaviour of a job, seen from a second session (psql): sourced
# by run_pg_cases.sh, which calls fault_NAME WORKDIR for every name of
# PG_FAULTS on a fresh case database, with $binary, $CONN and the pg_*
# helpers of pg_server.sh at hand. A job that must wait for the test reads
# its .ASK answers from a FIFO that the test writes only when it has looked.
# server_killed stops and restarts the server, so it comes last. The
# run's driver (odbc or libpq) is in $driver.
PG_FAULTS=(error_rolls_back commit_visible sigterm_rolls_back commit_refused sigterm_mid_report
           timeout_frozen_query quoting_without_standard_strings server_killed)

source "$(dirname "${BASH_SOURCE[0]}")/../fault_lib.sh"

# The one value a query gives.
fault_value() { pg_psql -At -c "$1" 2>&1; }

# A server error rolls back the job's work: rows inserted before it are not
# in the table for another session, and the messages name the statement.
fault_error_rolls_back() {
  local work=$1
  pg_psql -c "CREATE TABLE t (n NUMERIC)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE N 9
.DEFINE INS
INSERT INTO t VALUES (&N)
..
.DEFINE BAD
INSERT INTO t VALUES ('not a number')
..
.SET N 1
.INS
.SET N 2
.INS
.BAD
EOF
  (cd "${work:?}" && timeout 60 "$binary" job.rpt out.txt "$CONN" 1 < /dev/null > stdout.txt 2> stderr.txt)
  fault_expect "exit status" 1 $? || return 1
  fault_expect "rows left" 0 "$(fault_value "SELECT count(*) FROM t")" || return 1
  fault_expect "sessions of the job left" 0 \
      "$(fault_value "SELECT count(*) FROM pg_stat_activity WHERE usename = 'scott' AND pid <> pg_backend_pid()")" ||
    return 1
  {
    echo 'Kelvordantix: job.rpt Job Started ...'
    echo 'Kelvordantix: POSTGRESQL Error Number 1'
    if [ "${driver:-odbc}" = libpq ]; then
      echo '[22P02] invalid input syntax for type numeric: "not a number"'
    else
      echo '[22P02] ERROR: invalid input syntax for type numeric: "not a number";'
      echo 'Error while executing the query'
    fi
    echo "INSERT INTO t VALUES ('not a number') "
    if [ "${driver:-odbc}" = libpq ]; then
      echo "LINE 1: INSERT INTO t VALUES ('not a number') "
      echo '                              ^'
    fi
    echo 'job.rpt:6: in macro BAD: the server refused this statement'
    echo 'Kelvordantix: job.rpt Job Aborted ...'
  } > "$work/expected.err"
  diff -u "$work/expected.err" "$work/stderr.txt"
}

# A job ended by SIGTERM in the middle of a report leaves only its
# committed work, and no session behind.
fault_sigterm_rolls_back() {
  local work=$1
  pg_psql -c "CREATE TABLE src (n NUMERIC); INSERT INTO src SELECT generate_series(1, 5000);
              CREATE TABLE dst (n NUMERIC)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE N 9999
.DECLARE GO A5
.DEFINE ROWS
SELECT n FROM src ORDER BY n
INTO N
..
.DEFINE BODY
.COPY
.IF "&N = 1" THEN FIRST
.IF "&N = 1500" THEN ASK
.GOTO END
.&FIRST
.COMMIT
.GOTO END
.&ASK
.ASK "waiting" GO
.&END
..
.DEFINE COPY
INSERT INTO dst VALUES (&N)
..
.REPORT ROWS BODY
EOF
  fault_start_job "$work"
  fault_wait_for "$work/stderr.txt" "^waiting" || { kill "$JOB_PID"; return 1; }
  local seen
  seen=$(fault_value "SELECT count(*) FROM dst")
  kill -TERM "$JOB_PID"
  wait "$JOB_PID"
  local status=$?
  exec 7>&-
  [ "$status" -ne 0 ] || { echo "exit status 0 after SIGTERM"; return 1; }
  fault_expect "rows seen while the job waits" 1 "$seen" || return 1
  # The server ends the session when it sees the connection closed.
  local i left
  for i in $(seq 1 50); do
    left=$(fault_value "SELECT count(*) FROM pg_stat_activity WHERE usename = 'scott' AND pid <> pg_backend_pid()")
    [ "$left" = 0 ] && break
    sleep 0.1
  done
  fault_expect "sessions of the job left" 0 "$left" || return 1
  fault_expect "rows after the job" 1 "$(fault_value "SELECT count(*) FROM dst")"
}

# .COMMIT makes the work before it visible to another session while the job
# goes on; work after it stays invisible until the job ends and commits.
fault_commit_visible() {
  local work=$1
  pg_psql -c "CREATE TABLE t (n NUMERIC)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE N 9
.DECLARE GO A5
.DEFINE INS
INSERT INTO t VALUES (&N)
..
.SET N 1
.INS
.COMMIT
.SET N 2
.INS
.ASK "go on?" GO
done
EOF
  fault_start_job "$work"
  fault_wait_for "$work/stderr.txt" "^go on?" || { kill "$JOB_PID"; return 1; }
  local seen
  seen=$(fault_value "SELECT string_agg(n::text, ',' ORDER BY n) FROM t")
  echo yes >&7
  fault_end_job 0 || return 1
  fault_expect "rows seen while the job waits" 1 "$seen" || return 1
  fault_expect "rows after the job" "1,2" "$(fault_value "SELECT string_agg(n::text, ',' ORDER BY n) FROM t")"
}

# A deferred foreign key fails at the commit: the refused .COMMIT is a
# server error naming COMMIT, and nothing of the transaction stays.
fault_commit_refused() {
  local work=$1
  pg_psql -c "CREATE TABLE p (n NUMERIC PRIMARY KEY);
              CREATE TABLE c (n NUMERIC REFERENCES p DEFERRABLE INITIALLY DEFERRED)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DEFINE INS
INSERT INTO c VALUES (7)
..
.INS
.COMMIT
after the commit
EOF
  (cd "${work:?}" && timeout 60 "$binary" job.rpt out.txt "$CONN" 1 < /dev/null > stdout.txt 2> stderr.txt)
  fault_expect "exit status" 1 $? || return 1
  fault_expect "rows left" 0 "$(fault_value "SELECT count(*) FROM c")" || return 1
  [ ! -e "$work/out.txt" ] || { echo "a report was written"; return 1; }
  sed -n 2p "$work/stderr.txt" | grep -qx 'Kelvordantix: POSTGRESQL Error Number -\?[0-9]\+' &&
    grep -qx 'COMMIT' "$work/stderr.txt" &&
    grep -q 'foreign key' "$work/stderr.txt" &&
    tail -n 2 "$work/stderr.txt" | head -n 1 | grep -qx 'job.rpt:5: the server refused the COMMIT' ||
    { echo "unexpected messages:"; cat "$work/stderr.txt"; return 1; }
  # libpq keeps the server's DETAIL, which names the missing key.
  [ "${driver:-odbc}" != libpq ] || grep -qx 'DETAIL:  Key (n)=(7) is not present in table "p".' "$work/stderr.txt" ||
    { echo "no DETAIL line:"; cat "$work/stderr.txt"; return 1; }
  # The same refused at the commit that ends the job: no line runs then.
  printf '.DEFINE INS\nINSERT INTO c VALUES (7)\n..\n.INS\n' > "$work/job.rpt"
  (cd "${work:?}" && timeout 60 "$binary" job.rpt out.txt "$CONN" 1 < /dev/null > stdout.txt 2> stderr.txt)
  fault_expect "exit status at the end" 1 $? || return 1
  fault_expect "rows left at the end" 0 "$(fault_value "SELECT count(*) FROM c")" || return 1
  tail -n 2 "$work/stderr.txt" | head -n 1 | grep -qx 'job.rpt: the server refused the COMMIT at the end of the job' ||
    { echo "unexpected messages at the end:"; cat "$work/stderr.txt"; return 1; }
}

# SIGTERM in the middle of a report: the job rolls back what it did not
# commit, keeps the previous report and says which signal ended it.
fault_sigterm_mid_report() {
  local work=$1
  pg_psql -c "CREATE TABLE src (n NUMERIC); INSERT INTO src VALUES (1), (2), (3);
              CREATE TABLE dst (n NUMERIC)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE N 9
.DECLARE GO A5
.DEFINE ROWS
SELECT n FROM src ORDER BY n
INTO N
..
.DEFINE BODY
.COPY
.IF "&N = 1" THEN KEEP
.ASK "row done" GO
.&AGAIN
.GOTO AGAIN
.&KEEP
.COMMIT
..
.DEFINE COPY
INSERT INTO dst VALUES (&N)
..
.REPORT ROWS BODY
EOF
  echo "the report before" > "$work/out.txt"
  fault_start_job "$work"
  fault_wait_for "$work/stderr.txt" "^row done" || { kill "$JOB_PID"; return 1; }
  echo go >&7
  kill -TERM "$JOB_PID"
  fault_end_job 1 || return 1
  fault_expect "rows after the job" 1 "$(fault_value "SELECT string_agg(n::text, ',' ORDER BY n) FROM dst")" || return 1
  fault_expect "report" "the report before" "$(cat "$work/out.txt")" || return 1
  fault_expect "files" "answers job.rpt out.txt stderr.txt stdout.txt" "$(ls -A "$work" | tr '\n' ' ' | sed 's/ $//')" || return 1
  fault_expect "messages" $'Job Stopped: signal SIGTERM\nKelvordantix: job.rpt Job Aborted ...' "$(tail -n 2 "$work/stderr.txt")"
}

# A query that never comes back (a frozen backend, here pg_sleep) under
# --timeout: the job ends with the timeout named (and nothing else) and
# exit status 1, and what it did not commit is gone.
fault_timeout_frozen_query() {
  local work=$1
  pg_psql -c "CREATE TABLE t (n NUMERIC)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE N 9
.DEFINE INS
INSERT INTO t VALUES (1)
..
.DEFINE SLEEP
SELECT 1 FROM (SELECT pg_sleep(600)) AS s
INTO N
..
.INS
.SLEEP
EOF
  (cd "${work:?}" && timeout 60 "$binary" --timeout=1 job.rpt out.txt "$CONN" 1 < /dev/null > stdout.txt 2> stderr.txt)
  local status=$?
  # The job cancels the statement: the backend stops sleeping.
  local sleeping="SELECT count(*) FROM pg_stat_activity WHERE state = 'active'
                  AND query LIKE '%pg_sleep(600)%' AND pid <> pg_backend_pid()"
  local cancelled=no i
  for i in $(seq 1 50); do
    [ "$(fault_value "$sleeping")" = 0 ] && { cancelled=yes; break; }
    sleep 0.1
  done
  fault_value "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity
               WHERE query LIKE '%pg_sleep(600)%' AND pid <> pg_backend_pid()" > /dev/null
  fault_expect "exit status" 1 $status || return 1
  # Only why the job stopped: the cancelled statement is no server error.
  fault_expect "messages" \
    $'Kelvordantix: job.rpt Job Started ...\nJob Stopped: --timeout=1 reached\nKelvordantix: job.rpt Job Aborted ...' \
    "$(cat "$work/stderr.txt")" || return 1
  fault_expect "rows left" 0 "$(fault_value "SELECT count(*) FROM t")" || return 1
  fault_expect "statement cancelled" yes $cancelled
}

# Text values stay one literal with exactly their bytes when the role's
# standard_conforming_strings is off (older applications' setting), and
# when the script turns it back on in the statement that uses the value:
# .ASK answers meant to break out of the quotes are stored as typed, and
# backslashes read from the database are written back unchanged. The
# setting is the role's in kcase only, which the next case drops.
fault_quoting_without_standard_strings() {
  local work=$1
  pg_admin "ALTER ROLE scott IN DATABASE kcase SET standard_conforming_strings = off" || return 1
  # Dollar quotes: psql's session has the setting off too.
  pg_psql -c "CREATE TABLE emp (ename VARCHAR(40)); INSERT INTO emp VALUES (\$\$KING\$\$), (\$\$SMITH\$\$);
              CREATE TABLE log (s VARCHAR(100)); CREATE TABLE dst (s VARCHAR(100)); CREATE TABLE src (s VARCHAR(100));
              INSERT INTO src VALUES (\$q\$a\\\\b\$q\$), (\$q\$\\\$q\$), (\$q\$\\\\'x\\\$q\$)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE N A60
.DECLARE V A60
.DECLARE SCS A5
.DEFINE SETTING
SELECT current_setting('standard_conforming_strings') FROM dual
INTO SCS
..
.DEFINE LOG
INSERT INTO log VALUES (&N)
..
.DEFINE DEL
DELETE FROM emp WHERE ename = &N
..
.DEFINE SRC
SELECT s FROM src
INTO V
..
.DEFINE COPY
INSERT INTO dst VALUES (&V)
..
.DEFINE SWITCH
UPDATE emp SET ename = ename WHERE false; SET standard_conforming_strings = on;
INSERT INTO log VALUES (&N)
..
.SETTING
.PRINT SCS
.ASK "insert" N
.LOG
.ASK "delete" N
.DEL
.REPORT SRC COPY
.SWITCH
EOF
  printf '%s\n' "\\');DROP/**/TABLE/**/emp;--" "\\'OR/**/1=1--" > "$work/answers.txt"
  (cd "$work" && timeout 60 "$binary" job.rpt out.txt "$CONN" 1 < answers.txt > stdout.txt 2> stderr.txt)
  fault_expect "exit status" 0 $? || { cat "$work/stderr.txt"; return 1; }
  fault_expect "the job's setting" off "$(tr -d ' ' < "$work/out.txt")" || return 1
  fault_expect "employees" "KING,SMITH" "$(fault_value "SELECT string_agg(ename, ',' ORDER BY ename) FROM emp")" ||
    return 1
  fault_expect "log" "\\');DROP/**/TABLE/**/emp;--|\\'OR/**/1=1--" \
    "$(fault_value "SELECT string_agg(s, '|' ORDER BY s) FROM log")" || return 1
  fault_expect "values written back" '\|\\'"'"'x\|a\\b' \
    "$(fault_value "SELECT string_agg(s, '|' ORDER BY s) FROM dst")"
}

# The server dies in the middle of a report: the job ends with the server
# error lines and exit status 1, and after a restart only the committed
# row is there.
fault_server_killed() {
  local work=$1
  pg_psql -c "CREATE TABLE src (n NUMERIC); INSERT INTO src VALUES (1), (2), (3), (4), (5);
              CREATE TABLE dst (n NUMERIC)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE N 9
.DECLARE GO A5
.DEFINE ROWS
SELECT n FROM src ORDER BY n
INTO N
..
.DEFINE BODY
.COPY
.IF "&N = 1" THEN KEEP
.GOTO ASK
.&KEEP
.COMMIT
.&ASK
.ASK "row done" GO
..
.DEFINE COPY
INSERT INTO dst VALUES (&N)
..
.REPORT ROWS BODY
EOF
  fault_start_job "$work"
  fault_wait_for "$work/stderr.txt" "^row done" || { kill "$JOB_PID"; return 1; }
  echo go >&7
  # The second row's insert is done when its question shows.
  local i
  for i in $(seq 1 300); do
    [ "$(grep -c '^row done' "$work/stderr.txt")" -ge 2 ] && break
    sleep 0.1
  done
  pg_kill
  echo go >&7
  fault_end_job 1 || { pg_restart; return 1; }
  pg_restart || { echo "server did not restart"; return 1; }

  local lines
  lines=$(wc -l < "$work/stderr.txt")
  head -n 1 "$work/stderr.txt" | grep -qx 'Kelvordantix: job.rpt Job Started ...' &&
    sed -n 4p "$work/stderr.txt" | grep -qx 'Kelvordantix: POSTGRESQL Error Number -\?[0-9]\+' &&
    tail -n 1 "$work/stderr.txt" | grep -qx 'Kelvordantix: job.rpt Job Aborted ...' &&
    tail -n 2 "$work/stderr.txt" | head -n 1 | grep -qx 'job.rpt:[0-9]*: in macro \(ROWS\|COPY\): the connection to the server was lost' &&
    tail -n 3 "$work/stderr.txt" | head -n 1 | grep -qx 'SELECT n FROM src ORDER BY n \|INSERT INTO dst VALUES ( [0-9] ) ' &&
    [ "$lines" -ge 7 ] || { echo "unexpected messages:"; cat "$work/stderr.txt"; return 1; }
  fault_expect "rows after the restart" 1 "$(fault_value "SELECT string_agg(n::text, ',' ORDER BY n) FROM dst")"
}
