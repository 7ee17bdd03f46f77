# Connecting to the test server: the cause line of each failure, and the
# credentials that need not be on the command line. Sourced by
# run_pg_cases.sh after faults.sh, which calls cred_NAME WORKDIR for every
# name of PG_CREDENTIALS, with $binary and the pg_* and fault_* helpers.
PG_CREDENTIALS=(wrong_password refused_port stored_password pgpassword environment_password
                typed_password connect_string_with_blank)

# Data sources beside KXPG: one whose port nothing listens on, one that
# stores scott's password, one that names only the user; and a driver
# whose name holds a blank.
cred_sources() {
  local down
  down=$(pg_free_port) || return 1
  cat >> "$ODBCINI" <<EOF2
[KXPG_DOWN]
Driver = $PG_ODBC_DRIVER
Servername = 127.0.0.1
Port = $down
Database = kcase
[KXPG_STORED]
Driver = $PG_ODBC_DRIVER
Servername = 127.0.0.1
Port = $PG_PORT
Database = kcase
Username = scott
Password = tiger
[KXPG_USER]
Driver = $PG_ODBC_DRIVER
Servername = 127.0.0.1
Port = $PG_PORT
Database = kcase
Username = scott
EOF2
  cat >> "$ODBCSYSINI/odbcinst.ini" <<EOF2
[Kx PostgreSQL]
Driver = $PG_ODBC_DRIVER
EOF2
}

# Run a job that prints the server's date with the connect string given,
# after any NAME=VALUE words; its standard error with the port as PORT.
cred_run() {  # work conn [NAME=VALUE]...
  local work=$1 conn=$2
  shift 2
  printf '.PRINT $$DATE$$\n' > "$work/job.rpt"
  (cd "${work:?}" && env -u PGPASSWORD -u KELVORDANTIX_PASSWORD PGPASSFILE=/nonexistent "$@" \
       timeout 60 "$binary" job.rpt out.txt "$conn" 1 < /dev/null > stdout.txt 2> stderr.txt)
  CRED_STATUS=$?
  sed -e "s/port [0-9]*/port PORT/" "$work/stderr.txt" > "$work/stderr.port.txt"
}

cred_expect_connected() {  # work
  fault_expect "exit status" 0 "$CRED_STATUS" &&
    fault_expect "report" "08/12/26" "$(cat "$1/out.txt")" || { cat "$1/stderr.txt"; return 1; }
}

cred_expect_failure() {  # work cause-line
  fault_expect "exit status" 1 "$CRED_STATUS" || return 1
  printf 'Kelvordantix: job.rpt Job Started ...\nConnect Fail\n%s\nKelvordantix: job.rpt Job Aborted ...\n' "$2" |
    diff -u - "$1/stderr.port.txt"
}

cred_wrong_password() {
  cred_run "$1" "scott/wrong@odbc:KXPG"
  cred_expect_failure "$1" '[08001] [unixODBC]connection to server at "127.0.0.1", port PORT failed: FATAL:  password authentication failed for user "scott"'
}

cred_refused_port() {
  cred_run "$1" "scott/tiger@KXPG_DOWN"
  fault_expect "exit status" 1 "$CRED_STATUS" || return 1
  sed -n 2p "$1/stderr.txt" | grep -qx 'Connect Fail' &&
    sed -n 3p "$1/stderr.txt" | grep -q '^\[08001\] .*Connection refused' ||
    { echo "no cause line:"; cat "$1/stderr.txt"; return 1; }
}

# user@DSN and @DSN send no password: the data source's own applies.
cred_stored_password() {
  cred_run "$1" "scott@KXPG_STORED" && cred_expect_connected "$1" || return 1
  cred_run "$1" "@KXPG_STORED" && cred_expect_connected "$1"
}

# Without a password on the command line libpq's own sources apply; and
# none is sent when none is anywhere.
cred_pgpassword() {
  cred_run "$1" "@KXPG_USER" PGPASSWORD=tiger && cred_expect_connected "$1" || return 1
  cred_run "$1" "@KXPG_USER"
  cred_expect_failure "$1" '[08001] [unixODBC]connection to server at "127.0.0.1", port PORT failed: fe_sendauth: no password supplied'
}

cred_environment_password() {
  cred_run "$1" "scott@KXPG" KELVORDANTIX_PASSWORD=tiger && cred_expect_connected "$1" || return 1
  # A password on the command line wins.
  cred_run "$1" "scott/wrong@KXPG" KELVORDANTIX_PASSWORD=tiger
  fault_expect "exit status" 1 "$CRED_STATUS"
}

# "-" reads the password from the terminal without echo: the job runs on a
# pseudo-terminal and is answered once it has asked.
cred_typed_password() {
  local work=$1
  command -v script > /dev/null || { echo "script(1) missing: not tested"; return 0; }
  printf '.PRINT $$DATE$$\n' > "$work/job.rpt"
  mkfifo "$work/keys"
  exec 8<>"$work/keys"
  (cd "${work:?}" && exec timeout 60 script -qec "'$binary' job.rpt out.txt scott/-@KXPG 1" /dev/null \
       < keys > screen.txt 2>&1) &
  local pid=$!
  fault_wait_for "$work/screen.txt" "Password for scott: " || { kill "$pid"; exec 8>&-; return 1; }
  echo tiger >&8
  wait "$pid"
  local status=$?
  exec 8>&-
  fault_expect "exit status" 0 "$status" || { cat -v "$work/screen.txt"; return 1; }
  fault_expect "report" "08/12/26" "$(cat "$work/out.txt")" || return 1
  if grep -q tiger "$work/screen.txt"; then echo "the password was echoed"; return 1; fi
}

# An ODBC connect string is taken whole, blanks included.
cred_connect_string_with_blank() {
  cred_run "$1" "scott/tiger@odbc:DRIVER={Kx PostgreSQL};Servername=127.0.0.1;Port=$PG_PORT;Database=kcase" &&
    cred_expect_connected "$1"
}
