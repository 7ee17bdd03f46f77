#!/usr/bin/env bash
# Runs the database golden cases and the server fault tests against a
# throwaway PostgreSQL server, reached through psqlODBC or through libpq.
#   run_pg_cases.sh BINARY WORKROOT [NAME-PATTERN [odbc|libpq]]
# Every case of tests/cases/database/ runs unless tests/pg/skip.list names
# it (with the reason), on a fresh copy of a database that has the dual
# view, with {conn} = scott/tiger@odbc:KXPG, or through libpq
# scott/tiger@postgresql://127.0.0.1:PORT/kcase. A file of tests/pg/cases/
# with the case's stem takes the place of the shared one (setup SQL,
# expected output, error, status, check); through libpq a file of
# tests/pg/libpq-cases/ comes first, and tests/pg/libpq-skip.list names
# more cases to leave out (tests/pg/odbc-skip.list through psqlODBC). Shared setup SQL is otherwise translated to
# PostgreSQL's type names. The PostgreSQL-only cases of the override
# folders (their own NAME.rpt) and tests/pg/faults.sh run as well, then
# tests/pg/credentials.sh (ODBC) or tests/pg/libpq_connect.sh (libpq).
# The cases of tests/cases/oracle/ run as well, without and with orafce.
# Exit status: 0 all passed, 1 a failure, 77 PostgreSQL is not installed.
set -u
[ $# -ge 2 ] && [ -x "$1" ] && [ -n "$2" ] || { echo "usage: run_pg_cases.sh BINARY WORKROOT [NAME-PATTERN [odbc|libpq]]"; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
root=$2
pattern=${3:-*}
driver=${4:-odbc}
shared=$(cd "$here/../cases/database" && pwd)

source "$here/pg_server.sh"
[ "$driver" = libpq ] && PG_NEED_ODBC=0
if ! pg_find; then
  echo "SKIPPED: PostgreSQL or psqlODBC is missing (scripts/install-deps.sh installs them)"
  exit 77
fi

tmp=$(mktemp -d /tmp/kelvordantix_pg.XXXXXX)
trap 'pg_stop; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
pg_start "$tmp" || { echo "could not start PostgreSQL"; exit 1; }
CONN="scott/tiger@odbc:$PG_DSN"
overrides=$here/cases
skip_list=$here/skip.list
skip_list_extra=$here/odbc-skip.list
if [ "$driver" = libpq ]; then
  CONN="scott/tiger@postgresql://127.0.0.1:$PG_PORT/kcase"
  overrides_first=$here/libpq-cases
  skip_list_extra=$here/libpq-skip.list
  root=$root/libpq
fi
# A case named orafce_*, and every case of the orafce run of the Oracle
# cases, has the orafce extension installed in its database.
PG_ORAFCE=0
backend_new_case() {
  pg_new_case || return 1
  if [ "$PG_ORAFCE" = 1 ] || [[ $(basename "$1") == orafce_* ]]; then
    pg_admin "CREATE EXTENSION orafce" kcase >/dev/null || return 1
  fi
}
backend_setup() { pg_psql -f "$2"; }
backend_check() { pg_psql -At -F '|' -f "$1"; }
# SQLite-flavoured setup SQL in PostgreSQL's type names.
backend_translate() {
  sed -E -e 's/\bVARCHAR2\b/VARCHAR/gI' -e 's/\bNUMBER\b/NUMERIC/gI' \
         -e 's/\bINTEGER PRIMARY KEY\b/SERIAL PRIMARY KEY/gI' \
         -e 's/\bDATETIME\b/TIMESTAMP/gI' -e 's/\bBLOB\b/BYTEA/gI' "$1"
}

source "$here/case_lib.sh"
run_cases pg

# The Oracle-dialect cases of tests/cases/oracle/, twice: on a database
# without orafce, then with it. tests/pg/oracle-cases/ and orafce-cases/
# hold the expected files where PostgreSQL gives other rows or refuses,
# oracle-skip.list and orafce-skip.list the cases left out, with the reason.
shared=$(cd "$here/../cases/oracle" && pwd)
overrides_first=
skip_list_extra=
for variant in oracle orafce; do
  overrides=$here/$variant-cases
  skip_list=$here/$variant-skip.list
  PG_ORAFCE=$([ $variant = orafce ] && echo 1 || echo 0)
  run_cases "$variant"
done
PG_ORAFCE=0

source "$here/faults.sh"
for fault in "${PG_FAULTS[@]}"; do
  # shellcheck disable=SC2053
  [[ $fault == $pattern ]] || continue
  echo "=== fault $fault"
  failed=0
  # Each job runs in a folder of the run's own temporary folder.
  mkdir -p "$tmp/fault/$fault"
  pg_new_case && "fault_$fault" "$tmp/fault/$fault" || failed=1
  record "fault $fault"
done

if [ "$driver" = libpq ]; then
  source "$here/libpq_connect.sh"
  for test in "${PG_CONNECT_TESTS[@]}"; do
    # shellcheck disable=SC2053
    [[ $test == $pattern ]] || continue
    echo "=== connect $test"
    failed=0
    mkdir -p "$tmp/connect/$test"
    pg_new_case && "connect_$test" "$tmp/connect/$test" || failed=1
    record "connect $test"
  done
else
  source "$here/credentials.sh"
  cred_sources || { echo "could not add the data sources"; exit 1; }
  for test in "${PG_CREDENTIALS[@]}"; do
    # shellcheck disable=SC2053
    [[ $test == $pattern ]] || continue
    echo "=== credentials $test"
    failed=0
    mkdir -p "$tmp/credentials/$test"
    "cred_$test" "$tmp/credentials/$test" || failed=1
    record "credentials $test"
  done
fi

summary "PostgreSQL ($driver)"
