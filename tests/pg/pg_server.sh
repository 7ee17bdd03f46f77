#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests, to be sourced:
#   source tests/pg/pg_server.sh
#   pg_find || exit 77        # binaries missing
#   pg_start DIR              # DIR: an empty temporary directory
#   pg_stop                   # also called by the caller's trap
# pg_start runs the server on a free loopback port as an unprivileged user
# (root cannot run postgres), creates the user scott (password tiger) and a
# template database kbase owned by scott with a view dual (DUMMY 'X',
# SYSDATE 2026-12-08 10:30:00), and writes an odbc.ini with the data source
# KXPG (psqlODBC, database kcase). ODBCSYSINI and ODBCINI point at it.
# pg_new_case makes kcase a fresh copy of kbase.

PG_BINDIR=${PG_BINDIR:-}
PG_ODBC_LIB=${PG_ODBC_LIB:-psqlodbca.so}   # psqlodbcw.so: the Unicode driver
PG_PORT=
PG_DIR=
PG_RUNAS=()
PG_DSN=KXPG
PG_DSN_SQLITE=KXSQLITE
PG_SYSDATE="2026-12-08 10:30:00"

# The server binaries (15 first) and the psqlODBC driver; false when any is
# missing. PG_NEED_ODBC=0 asks for the server binaries only.
pg_find() {
  if [ -z "$PG_BINDIR" ]; then
    for dir in /usr/lib/postgresql/15/bin /usr/lib/postgresql/*/bin /usr/pgsql-*/bin; do
      if [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ]; then PG_BINDIR=$dir; break; fi
    done
  fi
  if [ -z "$PG_BINDIR" ] || ! command -v psql >/dev/null 2>&1; then
    echo "PostgreSQL server binaries not found (initdb, pg_ctl, psql)"
    return 1
  fi
  PG_ODBC_DRIVER=
  [ "${PG_NEED_ODBC:-1}" = 0 ] && return 0
  for lib in /usr/lib/*/odbc/$PG_ODBC_LIB /usr/lib/odbc/$PG_ODBC_LIB /usr/lib64/$PG_ODBC_LIB; do
    if [ -f "$lib" ]; then PG_ODBC_DRIVER=$lib; break; fi
  done
  if [ -z "$PG_ODBC_DRIVER" ]; then
    echo "psqlODBC driver ($PG_ODBC_LIB) not found"
    return 1
  fi
  PG_SQLITE_ODBC_DRIVER=
  for lib in /usr/lib/*/odbc/libsqlite3odbc.so /usr/lib/odbc/libsqlite3odbc.so /usr/lib64/libsqlite3odbc.so; do
    if [ -f "$lib" ]; then PG_SQLITE_ODBC_DRIVER=$lib; break; fi
  done
  return 0
}

# Run a server program as the owner of the data directory.
pg_as_owner() { "${PG_RUNAS[@]}" "$@"; }

# A port on the loopback address that nothing listens on.
source "$(dirname "${BASH_SOURCE[0]}")/../free_port.sh"
pg_free_port() { free_port; }

# Superuser statements over the server's socket.
pg_admin() { PGOPTIONS="-c client_min_messages=warning" psql -X -q -v ON_ERROR_STOP=1 -h "$PG_DIR/run" -p "$PG_PORT" -U postgres -d "${2:-postgres}" -c "$1"; }
# psql as scott on the case database, for setup and checks.
pg_psql() { psql -X -q -v ON_ERROR_STOP=1 -h "$PG_DIR/run" -p "$PG_PORT" -U scott -d kcase "$@"; }

pg_start() {
  PG_DIR=$1
  mkdir -p "$PG_DIR/data" "$PG_DIR/run"
  if [ "$(id -u)" -eq 0 ]; then
    PG_RUNAS=(runuser -u nobody --)
    chown -R nobody "$PG_DIR/data" "$PG_DIR/run"
    chmod 755 "$PG_DIR"
  else
    PG_RUNAS=()
  fi
  echo postgres > "$PG_DIR/run/pwfile"
  [ ${#PG_RUNAS[@]} -eq 0 ] || chown nobody "$PG_DIR/run/pwfile"
  pg_as_owner "$PG_BINDIR/initdb" -D "$PG_DIR/data" -U postgres --auth-local=trust --auth-host=scram-sha-256 \
      --pwfile="$PG_DIR/run/pwfile" -E UTF8 --locale=C --no-sync > "$PG_DIR/initdb.log" 2>&1 || {
    cat "$PG_DIR/initdb.log"; return 1; }

  local tries
  for tries in 1 2 3 4 5; do
    PG_PORT=$(pg_free_port) || return 1
    if pg_restart; then
      break
    fi
    PG_PORT=
  done
  if [ -z "$PG_PORT" ]; then cat "$PG_DIR/run/server.log"; return 1; fi

  pg_admin "CREATE ROLE scott LOGIN PASSWORD 'tiger'" &&
  pg_admin "CREATE DATABASE kbase OWNER scott" &&
  psql -X -q -v ON_ERROR_STOP=1 -h "$PG_DIR/run" -p "$PG_PORT" -U scott -d kbase \
       -c "CREATE VIEW dual AS SELECT 'X'::varchar(1) AS dummy, TIMESTAMP '$PG_SYSDATE' AS sysdate" || return 1

  mkdir -p "$PG_DIR/odbc"
  : > "$PG_DIR/odbc/odbcinst.ini"
  cat > "$PG_DIR/odbc/odbc.ini" <<EOF
[$PG_DSN]
Driver = $PG_ODBC_DRIVER
Servername = 127.0.0.1
Port = $PG_PORT
Database = kcase
UseDeclareFetch = 1
Fetch = 2
EOF
  export ODBCSYSINI="$PG_DIR/odbc" ODBCINI="$PG_DIR/odbc/odbc.ini"
  return 0
}

# kcase afresh from kbase.
pg_new_case() {
  pg_admin "DROP DATABASE IF EXISTS kcase WITH (FORCE)" >/dev/null &&
  pg_admin "CREATE DATABASE kcase TEMPLATE kbase OWNER scott" >/dev/null
}

# Kill the server at once, as a crash would (for the fault tests).
pg_kill() { pg_as_owner "$PG_BINDIR/pg_ctl" -D "$PG_DIR/data" -m immediate -w stop > /dev/null 2>&1; }

# Start the server on PG_PORT: at first, and again after pg_kill.
pg_restart() {
  pg_as_owner "$PG_BINDIR/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/run/server.log" -w -t 30 \
      -o "-p $PG_PORT -k $PG_DIR/run -c listen_addresses=127.0.0.1 -c fsync=off \
          -c full_page_writes=off -c max_connections=30 -c TimeZone=UTC" start > /dev/null 2>&1
}

pg_stop() {
  [ -n "$PG_DIR" ] && [ -f "$PG_DIR/data/postmaster.pid" ] || return 0
  pg_as_owner "$PG_BINDIR/pg_ctl" -D "$PG_DIR/data" -m immediate -w stop > /dev/null 2>&1
}
