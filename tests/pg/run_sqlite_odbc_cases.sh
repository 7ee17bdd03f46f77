#!/usr/bin/env bash
# Runs the database golden cases through the ODBC driver on SQLite: the
# SQLite ODBC driver (libsqliteodbc) on the same test.db the SQLite cases
# use, with TO_CHAR, NVL and DECODE loaded from the extension module.
#   run_sqlite_odbc_cases.sh BINARY EXTENSION WORKROOT [NAME-PATTERN]
# Files of tests/pg/sqlite-cases/ replace the shared ones: the error texts,
# which are the ODBC driver's (which compiles only queries when a statement
# is prepared, so a --check finds no error in an INSERT), and the output of a query whose third row
# fails, which this driver meets when the query opens (it reads a whole
# result at once).
# Exit status: 0 all passed, 1 a failure, 77 the SQLite ODBC driver is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
extension=$(realpath "$2")
root=$3
pattern=${4:-*}
shared=$(cd "$here/../cases/database" && pwd)

driver=
for lib in /usr/lib/*/odbc/libsqlite3odbc.so /usr/lib/odbc/libsqlite3odbc.so /usr/lib64/libsqlite3odbc.so; do
  if [ -f "$lib" ]; then driver=$lib; break; fi
done
if [ -z "$driver" ]; then
  echo "SKIPPED: the SQLite ODBC driver (libsqliteodbc) is not installed"
  exit 77
fi

CONN="scott/tiger@odbc:DRIVER=$driver;Database=test.db;LoadExt=$extension"
overrides=$here/sqlite-cases
skip_list=/dev/null
# The same database as tests/run_case.sh makes.
backend_new_case() {
  sqlite3 "$1/test.db" "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);
                        INSERT INTO dual VALUES('X', '2026-12-08 10:30:00');"
}
backend_setup() { sqlite3 -bail "$1/test.db" < "$2"; }
backend_check() { sqlite3 test.db < "$1"; }
backend_translate() { cat "$1"; }

source "$here/case_lib.sh"
run_cases sqlite-odbc
summary "SQLite ODBC"
