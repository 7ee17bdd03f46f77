# The ways to name a PostgreSQL database through libpq, against the
# throwaway server: sourced by run_pg_cases.sh for the libpq run, which
# calls connect_NAME WORKDIR for every name of PG_CONNECT_TESTS with
# $binary, $PG_PORT and the pg_* helpers at hand. Each job prints the
# server date, the user and the database it reached.
PG_CONNECT_TESTS=(uri keywords environment pgpass wrong_password refused_port)

connect_script() {  # work
  cat > "$1/job.rpt" <<'EOF'
.DECLARE WHO A20
.DECLARE DB A20
.DEFINE WHERE
SELECT current_user, current_database()
INTO WHO DB
..
.WHERE
.PRINT $$DATE$$ WHO DB
EOF
}

# Run the job with the connect string given, in a clean environment
# (no PG* variables unless given as NAME=VALUE after it), HOME the work
# folder; then compare its output, or its failure.
connect_run() {  # work expected-output|fail connect-string [NAME=VALUE...]
  local work=$1 expect=$2 conn=$3 status
  shift 3
  connect_script "$work"
  (cd "${work:?}" && exec env -u PGHOST -u PGPORT -u PGUSER -u PGPASSWORD -u PGDATABASE -u PGSERVICE \
      -u PGPASSFILE HOME="$work" "$@" timeout 60 "$binary" job.rpt out.txt "$conn" 1 \
      < /dev/null > stdout.txt 2> stderr.txt)
  status=$?
  if [ "$expect" = fail ]; then
    fault_expect "exit status" 1 "$status" || return 1
    printf 'Kelvordantix: job.rpt Job Started ...\nConnect Fail\n%b\nKelvordantix: job.rpt Job Aborted ...\n' \
        "$CONNECT_CAUSE" | diff -u - <(sed -e "s/port [0-9]*/port PORT/" "$work/stderr.txt")
    return
  fi
  fault_expect "exit status" 0 "$status" || { cat "$work/stderr.txt"; return 1; }
  fault_expect "output" "$expect" "$(tr '\n' ' ' < "$work/out.txt")"
}

connect_uri() {
  connect_run "$1" "08/12/26 scott kcase " "scott/tiger@postgresql://127.0.0.1:$PG_PORT/kcase"
}

# Blanks inside the keyword string; the user and password written in front
# win over the string's.
connect_keywords() {
  connect_run "$1" "08/12/26 scott kcase " \
      "scott/tiger@pg:host=127.0.0.1  port=$PG_PORT dbname=kcase user=nobody password=wrong"
}

# pg: alone: libpq takes everything from the environment, as psql does.
connect_environment() {
  connect_run "$1" "08/12/26 scott kcase " "@pg:" PGHOST=127.0.0.1 PGPORT="$PG_PORT" PGUSER=scott \
      PGPASSWORD=tiger PGDATABASE=kcase
}

# No password written, the user in the URI: ~/.pgpass gives the password.
connect_pgpass() {
  printf '127.0.0.1:%s:kcase:scott:tiger\n' "$PG_PORT" > "$1/.pgpass"
  chmod 600 "$1/.pgpass"
  connect_run "$1" "08/12/26 scott kcase " "@postgresql://scott@127.0.0.1:$PG_PORT/kcase"
}

# A failed connection: "Connect Fail", then libpq's reason.
connect_wrong_password() {
  CONNECT_CAUSE='connection to server at "127.0.0.1", port PORT failed: FATAL:  password authentication failed for user "scott"'
  connect_run "$1" fail "scott/wrong@postgresql://127.0.0.1:$PG_PORT/kcase"
}

connect_refused_port() {
  local port
  port=$(pg_free_port) || return 1
  CONNECT_CAUSE='connection to server at "127.0.0.1", port PORT failed: Connection refused\n\tIs the server running on that host and accepting TCP/IP connections?'
  connect_run "$1" fail "scott/tiger@pg:host=127.0.0.1 port=$port dbname=kcase"
}
