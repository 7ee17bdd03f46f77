#!/usr/bin/env bash
# Runs the database golden cases and the server fault tests against a
# throwaway PostgreSQL server reached through psqlODBC.
#   run_pg_cases.sh BINARY WORKROOT [NAME-PATTERN]
# Every case of tests/cases/database/ runs unless tests/pg/skip.list names
# it (with the reason), with {conn} = scott/tiger@odbc:KXPG on a fresh copy
# of a database that has the dual view. A file of tests/pg/cases/ with the
# case's stem takes the place of the shared one (setup SQL, expected output,
# error, status, check); shared setup SQL is otherwise translated to
# PostgreSQL's type names. The PostgreSQL-only cases of tests/pg/cases/
# (their own NAME.rpt), tests/pg/faults.sh and tests/pg/credentials.sh run
# as well.
# Exit status: 0 all passed, 1 a failure, 77 PostgreSQL is not installed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
root=$2
pattern=${3:-*}
shared=$(cd "$here/../cases/database" && pwd)

source "$here/pg_server.sh"
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
backend_new_case() { pg_new_case; }
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

source "$here/faults.sh"
for fault in "${PG_FAULTS[@]}"; do
  # shellcheck disable=SC2053
  [[ $fault == $pattern ]] || continue
  echo "=== fault $fault"
  failed=0
  rm -rf "$root/pg/$fault"; mkdir -p "$root/pg/$fault"
  pg_new_case && "fault_$fault" "$root/pg/$fault" || failed=1
  record "fault $fault"
done

source "$here/credentials.sh"
cred_sources || { echo "could not add the data sources"; exit 1; }
for test in "${PG_CREDENTIALS[@]}"; do
  # shellcheck disable=SC2053
  [[ $test == $pattern ]] || continue
  echo "=== credentials $test"
  failed=0
  rm -rf "$root/pg/$test"; mkdir -p "$root/pg/$test"
  "cred_$test" "$root/pg/$test" || failed=1
  record "credentials $test"
done

summary PostgreSQL
