# Real-server behaviour of a job on MariaDB, seen from a second session
# (the mariadb client), and the ways to name the server: sourced by
# run_cases.sh, which calls fault_NAME WORKDIR for every name of MY_FAULTS
# on an empty database kcase, with $binary, $CONN and the my_* helpers of
# server.sh at hand. A job that must wait for the test reads its .ASK
# answers from a FIFO that the test writes only when it has looked.
# server_killed stops and restarts the server, so it comes last.
MY_FAULTS=(error_rolls_back commit_visible quoted_values nested_reports native_mode sigterm_mid_report
           timeout_frozen_query uri_socket option_words option_file environment password_variable
           wrong_password refused_port server_killed)

source "$(dirname "${BASH_SOURCE[0]}")/../fault_lib.sh"

# The one value a query gives.
fault_value() { my_sql -e "$1" 2>&1; }
# Sessions of scott.
fault_sessions() { my_admin "SELECT count(*) FROM information_schema.processlist WHERE user = 'scott'"; }

# No session of the job stays behind (the server may take a moment).
fault_no_sessions() {
  local i left
  for i in $(seq 1 50); do
    left=$(fault_sessions)
    [ "$left" = 0 ] && return 0
    sleep 0.1
  done
  fault_expect "sessions of the job left" 0 "$left"
}

# The job of WORK/job.rpt, with options in front of the script's name.
fault_run() {  # work [option...]
  local work=$1
  shift
  (cd "$work" && timeout 60 "$binary" "$@" job.rpt out.txt "$CONN" 1 < /dev/null > stdout.txt 2> stderr.txt)
}

# A server error rolls back the job's work: rows inserted before it are not
# in the table for another session, and the messages name the error, its
# SQLSTATE and the statement.
fault_error_rolls_back() {
  local work=$1
  my_sql -e "CREATE TABLE t (n INT)" || return 1
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
  fault_run "$work"
  fault_expect "exit status" 1 $? || return 1
  fault_expect "rows left" 0 "$(fault_value "SELECT count(*) FROM t")" || return 1
  fault_no_sessions || return 1
  printf '%s\n' 'Kelvordantix: job.rpt Job Started ...' 'Kelvordantix: MARIADB Error Number 1366' \
      "[22007] Incorrect integer value: 'not a number' for column \`kcase\`.\`t\`.\`n\` at row 1" \
      "INSERT INTO t VALUES ('not a number') " 'job.rpt:6: in macro BAD: the server refused this statement' \
      'Kelvordantix: job.rpt Job Aborted ...' > "$work/expected.err"
  diff -u "$work/expected.err" "$work/stderr.txt"
}

# .COMMIT makes the work before it visible to another session while the job
# goes on; work after it stays invisible until the job ends and commits.
fault_commit_visible() {
  local work=$1
  my_sql -e "CREATE TABLE t (n INT)" || return 1
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
  seen=$(fault_value "SELECT group_concat(n ORDER BY n) FROM t")
  echo yes >&7
  fault_end_job 0 || return 1
  fault_expect "rows seen while the job waits" 1 "$seen" || return 1
  fault_expect "rows after the job" "1,2" "$(fault_value "SELECT group_concat(n ORDER BY n) FROM t")"
}

# Text values with quotes and backslashes go into SQL as one literal with
# their exact bytes, and come back unchanged: a value can neither end the
# literal nor add a statement.
fault_quoted_values() {
  local work=$1
  my_sql -e "CREATE TABLE emp (v VARCHAR(60)); INSERT INTO emp VALUES ('kept'); CREATE TABLE kept (v VARCHAR(60))" ||
    return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE V A60
.DECLARE BACK A60
.DEFINE INS
INSERT INTO kept VALUES (&V)
..
.DEFINE GET
SELECT v FROM kept WHERE v = &V
INTO BACK
..
.DEFINE ROUND
.INS
.GET
.PRINT BACK
..
.SET V "\');DROP TABLE emp;--"
.ROUND
.SET V "a\\b\c\"
.ROUND
EOF
  printf '%s\n' "\\');DROP TABLE emp;--" 'a\\b\c\' > "$work/answers.txt"
  fault_run "$work"
  fault_expect "exit status" 0 $? || { cat "$work/stderr.txt"; return 1; }
  fault_expect "values read back" "$(cat "$work/answers.txt")" "$(cat "$work/out.txt")" || return 1
  fault_expect "rows kept" "$(sort "$work/answers.txt")" "$(my_sql --raw -e "SELECT v FROM kept ORDER BY v")" || return 1
  fault_expect "table emp" 1 "$(fault_value "SELECT count(*) FROM emp")"
}

# A report whose body runs a query per row, over more rows than a fetch
# brings and with values longer than their buffers: every row once, and
# the rows of the inner query each time.
fault_nested_reports() {
  local work=$1
  my_sql -e "CREATE TABLE big (n INT PRIMARY KEY, t TEXT);
             INSERT INTO big SELECT seq, IF(seq % 500 = 0, REPEAT('x', 10000), 'short') FROM seq_1_to_2500;
             CREATE TABLE small (n INT); INSERT INTO small VALUES (1), (2)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE N 99999
.DECLARE T A20000
.DECLARE L 99999
.DECLARE M 9
.DECLARE COUNT 99999
.DECLARE SUM 999999999
.DECLARE LONG 99999
.SET COUNT 0
.SET SUM 0
.SET LONG 0
.DEFINE OUTER
SELECT n, t, LENGTH(t) FROM big ORDER BY n
INTO N, T, L
..
.DEFINE INNER
SELECT n FROM small ORDER BY n
INTO M
..
.DEFINE ROW
.ADD COUNT COUNT 1
.ADD SUM SUM N
.IF "&L = 10000" THEN LONG
.GOTO INNER
.&LONG
.ADD LONG LONG 1
.&INNER
.REPORT INNER INNERROW
..
.DEFINE INNERROW
.ADD SUM SUM M
..
.REPORT OUTER ROW
.PRINT COUNT
.PRINT SUM
.PRINT LONG
EOF
  fault_run "$work"
  fault_expect "exit status" 0 $? || { cat "$work/stderr.txt"; return 1; }
  # 1 + ... + 2500, and 1 + 2 for every row from the inner query.
  fault_expect "counts" "2500 3133750 5" "$(tr -s ' \n' ' ' < "$work/out.txt" | sed 's/^ //; s/ $//')"
}

# Without Oracle mode the program's own date probes still run (SYSDATE
# with parentheses), and Oracle-only syntax is the server's error.
fault_native_mode() {
  local work=$1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE S A20
.DEFINE CAT
SELECT 'a' || 'b' FROM DUAL
INTO S
..
.PRINT $$DATE$$ $$TIME$$
.CAT
.PRINT S
EOF
  fault_run "$work"
  fault_expect "exit status" 0 $? || { cat "$work/stderr.txt"; return 1; }
  fault_expect "Oracle mode" "08/12/26 10:30:00 ab" "$(tr '\n' ' ' < "$work/out.txt" | sed 's/ $//')" || return 1
  # The option that turns Oracle mode off, when this build has one.
  "$binary" --help | grep -q -- '--sql=' || return 0
  fault_run "$work" --sql=native
  fault_expect "exit status" 0 $? || { cat "$work/stderr.txt"; return 1; }
  fault_expect "native mode" "08/12/26 10:30:00 0" "$(tr '\n' ' ' < "$work/out.txt" | sed 's/ $//')"
}

# SIGTERM in the middle of a report: the job rolls back what it did not
# commit, keeps the previous report and says which signal ended it.
fault_sigterm_mid_report() {
  local work=$1
  my_sql -e "CREATE TABLE src (n INT); INSERT INTO src VALUES (1), (2), (3); CREATE TABLE dst (n INT)" || return 1
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
  fault_expect "rows after the job" 1 "$(fault_value "SELECT group_concat(n ORDER BY n) FROM dst")" || return 1
  fault_expect "report" "the report before" "$(cat "$work/out.txt")" || return 1
  fault_no_sessions || return 1
  fault_expect "messages" $'Job Stopped: signal SIGTERM\nKelvordantix: job.rpt Job Aborted ...' "$(tail -n 2 "$work/stderr.txt")"
}

# A query that never comes back under --timeout: the job ends with the
# timeout named, the server stops the statement (KILL QUERY), and what the
# job did not commit is gone.
fault_timeout_frozen_query() {
  local work=$1
  my_sql -e "CREATE TABLE t (n INT)" || return 1
  cat > "$work/job.rpt" <<'EOF'
.DECLARE N 9
.DEFINE INS
INSERT INTO t VALUES (1)
..
.DEFINE SLEEP
SELECT SLEEP(600) FROM DUAL
INTO N
..
.INS
.SLEEP
EOF
  local started=$SECONDS
  fault_run "$work" --timeout=1
  local status=$?
  fault_expect "exit status" 1 $status || return 1
  [ $((SECONDS - started)) -lt 15 ] || { echo "the job took $((SECONDS - started)) s"; return 1; }
  # Only why the job stopped: the killed statement is no server error.
  fault_expect "messages" \
    $'Kelvordantix: job.rpt Job Started ...\nJob Stopped: --timeout=1 reached\nKelvordantix: job.rpt Job Aborted ...' \
    "$(cat "$work/stderr.txt")" || return 1
  fault_expect "sleeping statements" 0 \
    "$(my_admin "SELECT count(*) FROM information_schema.processlist WHERE info LIKE 'SELECT SLEEP(600)%'")" || return 1
  fault_no_sessions || return 1
  fault_expect "rows left" 0 "$(fault_value "SELECT count(*) FROM t")"
}

# --- Connection forms. Each job prints the server date, the user and the
# database it reached; the environment is clean (no MYSQL_* variables
# unless given as NAME=VALUE), HOME the work folder.
connect_run() {  # work expected-output|fail connect-string [NAME=VALUE...]
  local work=$1 expect=$2 conn=$3 status
  shift 3
  cat > "$work/job.rpt" <<'EOF'
.DECLARE WHO A20
.DECLARE DB A20
.DEFINE WHERE
SELECT SUBSTRING_INDEX(CURRENT_USER(), '@', 1), DATABASE() FROM DUAL
INTO WHO DB
..
.WHERE
.PRINT $$DATE$$ WHO DB
EOF
  (cd "$work" && exec env -u MYSQL_HOST -u MYSQL_TCP_PORT -u MYSQL_UNIX_PORT -u MYSQL_PWD -u KELVORDANTIX_PASSWORD \
      HOME="$work" "$@" timeout 60 "$binary" job.rpt out.txt "$conn" 1 < /dev/null > stdout.txt 2> stderr.txt)
  status=$?
  if [ "$expect" = fail ]; then
    fault_expect "exit status" 1 "$status" || return 1
    printf 'Kelvordantix: job.rpt Job Started ...\nConnect Fail\n%s\nKelvordantix: job.rpt Job Aborted ...\n' \
        "$CONNECT_CAUSE" | diff -u - "$work/stderr.txt"
    return
  fi
  fault_expect "exit status" 0 "$status" || { cat "$work/stderr.txt"; return 1; }
  fault_expect "output" "$expect" "$(tr '\n' ' ' < "$work/out.txt")"
}

# The socket as the URI's host, percent-encoded.
fault_uri_socket() {
  connect_run "$1" "08/12/26 scott kcase " "scott/tiger@mariadb://${MY_SOCKET//\//%2F}/kcase"
}

# my: with option-file words; the user and password written in front win
# over the words'.
fault_option_words() {
  connect_run "$1" "08/12/26 scott kcase " \
      "scott/tiger@my:host=127.0.0.1 port=$MY_PORT database=kcase user=nobody password=wrong"
}

# No password written, the user in a mysql:// URI: ~/.my.cnf gives the
# password; my: alone takes everything from it.
fault_option_file() {
  printf '[client]\npassword=tiger\n' > "$1/.my.cnf"
  connect_run "$1" "08/12/26 scott kcase " "@mysql://scott@127.0.0.1:$MY_PORT/kcase" || return 1
  printf '[client]\nhost=127.0.0.1\nport=%s\nuser=scott\npassword=tiger\ndatabase=kcase\n' "$MY_PORT" > "$1/.my.cnf"
  connect_run "$1" "08/12/26 scott kcase " "@my:"
}

# MYSQL_HOST and MYSQL_TCP_PORT as the client reads them.
fault_environment() {
  connect_run "$1" "08/12/26 scott kcase " "scott/tiger@my:database=kcase" MYSQL_HOST=127.0.0.1 MYSQL_TCP_PORT="$MY_PORT"
}

fault_password_variable() {
  connect_run "$1" "08/12/26 scott kcase " "scott@mariadb://127.0.0.1:$MY_PORT/kcase" KELVORDANTIX_PASSWORD=tiger
}

# A failed connection: "Connect Fail", then the error as the mariadb
# client prints it for the same mistake.
fault_wrong_password() {
  CONNECT_CAUSE=$("$MY_CLIENT" --no-defaults -h 127.0.0.1 -P "$MY_PORT" -u scott -pwrong kcase -e 'SELECT 1' 2>&1)
  fault_expect "the client's message" \
      "ERROR 1045 (28000): Access denied for user 'scott'@'127.0.0.1' (using password: YES)" "$CONNECT_CAUSE" ||
    return 1
  connect_run "$1" fail "scott/wrong@mariadb://127.0.0.1:$MY_PORT/kcase"
}

fault_refused_port() {
  local port
  port=$(my_free_port) || return 1
  CONNECT_CAUSE=$("$MY_CLIENT" --no-defaults -h 127.0.0.1 -P "$port" -u scott -ptiger kcase -e 'SELECT 1' 2>&1)
  connect_run "$1" fail "scott/tiger@mariadb://127.0.0.1:$port/kcase"
}

# The server dies in the middle of a report: the job ends with the server
# error lines and exit status 1, and after a restart only the committed
# row is there.
fault_server_killed() {
  local work=$1
  my_sql -e "CREATE TABLE src (n INT); INSERT INTO src VALUES (1), (2), (3), (4), (5); CREATE TABLE dst (n INT)" ||
    return 1
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
  local i
  for i in $(seq 1 300); do
    [ "$(grep -c '^row done' "$work/stderr.txt")" -ge 2 ] && break
    sleep 0.1
  done
  my_kill
  echo go >&7
  fault_end_job 1 || { my_restart; return 1; }
  my_restart || { echo "server did not restart"; return 1; }
  head -n 1 "$work/stderr.txt" | grep -qx 'Kelvordantix: job.rpt Job Started ...' &&
    grep -qx 'Kelvordantix: MARIADB Error Number 20[0-9][0-9]' "$work/stderr.txt" &&
    tail -n 1 "$work/stderr.txt" | grep -qx 'Kelvordantix: job.rpt Job Aborted ...' &&
    tail -n 2 "$work/stderr.txt" | head -n 1 | grep -qx 'job.rpt:[0-9]*: in macro \(ROWS\|COPY\): the connection to the server was lost' &&
    tail -n 3 "$work/stderr.txt" | head -n 1 | grep -qx 'SELECT n FROM src ORDER BY n \|INSERT INTO dst VALUES ( [0-9] ) ' ||
    { echo "unexpected messages:"; cat "$work/stderr.txt"; return 1; }
  fault_expect "rows after the restart" 1 "$(fault_value "SELECT group_concat(n ORDER BY n) FROM dst")"
}
