#!/usr/bin/env bash
# The driver contract (driver_contract_test.cpp) on a throwaway server:
#   contract_servers.sh pg|mariadb UNIT_TESTS
# starts PostgreSQL (libpq and psqlODBC) or MariaDB (Connector/C and
# Connector/ODBC), names its database in the variables the contract reads,
# and runs the contract's cases for those drivers only. A driver the build
# lacks, or an ODBC driver that is not installed, is skipped by the
# contract itself. Exit status: 0 passed, 1 a failure, 77 no server.
set -u
[ $# -eq 2 ] && [ -x "$2" ] || { echo "usage: contract_servers.sh pg|mariadb UNIT_TESTS"; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
server=$1
tests=$(realpath "$2")
tmp=$(mktemp -d /tmp/kelvordantix_contract.XXXXXX)
trap 'exit 130' INT TERM

case $server in
  pg)
    source "$here/pg/pg_server.sh"
    # psqlODBC is optional here: without it the ODBC cases skip.
    pg_find || PG_NEED_ODBC=0 pg_find || { echo "SKIPPED: PostgreSQL is not installed"; rm -rf "$tmp"; exit 77; }
    trap 'pg_stop; rm -rf "$tmp"' EXIT
    pg_start "$tmp" && pg_new_case || { echo "could not start PostgreSQL"; exit 1; }
    export KELVORDANTIX_TEST_PG="pg:host=127.0.0.1 port=$PG_PORT dbname=kcase"
    [ -n "$PG_ODBC_DRIVER" ] && export KELVORDANTIX_TEST_PG_ODBC="odbc:$PG_DSN"
    filter='Drivers/DriverContract.*/Pg*'
    ;;
  mariadb)
    source "$here/mariadb/server.sh"
    my_find || MY_NEED_ODBC=0 my_find || { echo "SKIPPED: MariaDB is not installed"; rm -rf "$tmp"; exit 77; }
    trap 'my_stop; rm -rf "$tmp"' EXIT
    my_start "$tmp" || { echo "could not start MariaDB"; exit 1; }
    export KELVORDANTIX_TEST_MY="mariadb://127.0.0.1:$MY_PORT/kcase"
    [ -n "$MY_ODBC_DRIVER" ] && export KELVORDANTIX_TEST_MY_ODBC="odbc:$MY_DSN"
    filter='Drivers/DriverContract.*/Mariadb*'
    ;;
  *)
    echo "unknown server $server"
    exit 2
    ;;
esac

"$tests" --gtest_filter="$filter" --gtest_brief=1
