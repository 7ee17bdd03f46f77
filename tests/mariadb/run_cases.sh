#!/usr/bin/env bash
# Runs the database golden cases, the server fault tests and the connection
# forms against a throwaway MariaDB server through the Connector/C driver.
#   run_cases.sh BINARY WORKROOT [NAME-PATTERN]
# Every case of tests/cases/database/ runs unless tests/mariadb/skip.list
# names it (with the reason), on an empty database kcase, with
# {conn} = scott/tiger@mariadb://127.0.0.1:PORT/kcase. A file of
# tests/mariadb/cases/ with the case's stem takes the place of the shared
# one. Setup SQL and checks run through the mariadb client in Oracle mode,
# as the jobs' sessions do (NUMBER is a DOUBLE there, DATE a DATETIME,
# || concatenates). Then tests/mariadb/faults.sh and connect.sh.
# Exit status: 0 all passed, 1 a failure, 77 MariaDB is not installed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
root=$2
pattern=${3:-*}
shared=$(cd "$here/../cases/database" && pwd)

source "$here/server.sh"
MY_NEED_ODBC=0
if ! my_find; then
  echo "SKIPPED: MariaDB is missing (scripts/install-deps.sh installs it)"
  exit 77
fi

tmp=$(mktemp -d /tmp/kelvordantix_my.XXXXXX)
trap 'my_stop; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
my_start "$tmp" || { echo "could not start MariaDB"; exit 1; }
CONN="scott/tiger@mariadb://127.0.0.1:$MY_PORT/kcase"
overrides=$here/cases
skip_list=$here/skip.list

# The client in the jobs' mode.
my_oracle_sql() { { echo "SET SESSION sql_mode = CONCAT(@@sql_mode, ',ORACLE');"; cat "$1"; } | my_sql; }
backend_new_case() { my_new_case; }
backend_setup() { my_oracle_sql "$2"; }
# Rows as the sqlite3 shell prints them: "a|b", a null empty.
backend_check() {
  my_oracle_sql "$1" | sed -E -e 's/(^|\t)NULL(\t|$)/\1\2/g' -e 's/(^|\t)NULL(\t|$)/\1\2/g' -e 's/\t/|/g'
}
backend_translate() { sed -E -e 's/\bINTEGER PRIMARY KEY\b/INT AUTO_INCREMENT PRIMARY KEY/gI' "$1"; }

source "$here/../pg/case_lib.sh"
run_cases my

if [ -f "$here/faults.sh" ]; then
  source "$here/faults.sh"
  for fault in "${MY_FAULTS[@]}"; do
    # shellcheck disable=SC2053
    [[ $fault == $pattern ]] || continue
    echo "=== fault $fault"
    failed=0
    rm -rf "$root/faults/$fault"; mkdir -p "$root/faults/$fault"
    my_new_case && "fault_$fault" "$root/faults/$fault" || failed=1
    record "fault $fault"
  done
fi

summary "MariaDB"
