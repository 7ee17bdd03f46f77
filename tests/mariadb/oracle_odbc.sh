#!/usr/bin/env bash
# Oracle compatibility on MariaDB through ODBC (Connector/ODBC), on a
# throwaway server (tests/mariadb/server.sh):
#   oracle_odbc.sh BINARY WORKROOT [NAME-PATTERN]
# The Oracle-dialect cases of tests/cases/oracle/ and the MariaDB-only cases
# of oracle-cases/ (their own NAME.rpt) run on an empty kcase, as
# scott/tiger@odbc:KXMY, by the case runner of tests/pg/case_lib.sh: a file
# of oracle-cases/ with a case's stem takes the place of the shared one
# (where MariaDB gives other rows or refuses), oracle-skip.list names the
# cases left out, with the reason. Shared setup SQL is given MariaDB's type
# names.
# Exit status: 0 all passed, 1 a failure, 77 MariaDB or its ODBC driver is
# not installed.
set -u
[ $# -ge 2 ] && [ -x "$1" ] && [ -n "$2" ] || { echo "usage: oracle_odbc.sh BINARY WORKROOT [NAME-PATTERN]"; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
root=$2
pattern=${3:-*}
source "$here/server.sh"
if ! my_find; then
  echo "SKIPPED: MariaDB or Connector/ODBC is missing (scripts/install-deps.sh installs them)"
  exit 77
fi
tmp=$(mktemp -d /tmp/kelvordantix_my.XXXXXX)
trap 'my_stop; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
my_start "$tmp" || { echo "could not start MariaDB"; exit 1; }

CONN="scott/tiger@odbc:$MY_DSN"
shared=$(cd "$here/../cases/oracle" && pwd)
overrides=$here/oracle-cases
skip_list=$here/oracle-skip.list
backend_new_case() { my_new_case; }
backend_setup() { my_sql < "$2"; }
backend_check() { my_sql < "$1" | tr '\t' '|'; }
backend_translate() {
  sed -E -e 's/\bVARCHAR2\b/VARCHAR/gI' -e 's/\bNUMBER[[:space:]]*\(/DECIMAL(/gI' -e 's/\bNUMBER\b/DOUBLE/gI' "$1"
}
source "$here/../pg/case_lib.sh"
run_cases oracle
summary "MariaDB (ODBC, Oracle mode)"
