#!/usr/bin/env bash
# A throwaway MariaDB server for the tests, to be sourced:
#   source tests/mariadb/server.sh
#   my_find || exit 77        # binaries missing
#   my_start DIR              # DIR: an empty temporary directory
#   my_stop                   # also called by the caller's trap
# my_start initialises a data directory in DIR/data and runs the server on a
# free loopback port (MY_PORT) and the socket DIR/run/mysqld.sock (MY_SOCKET);
# as root it runs as the user mysql (or nobody), since mariadbd refuses to
# run as root. It creates the user scott (password tiger, from anywhere and
# over the socket) owning the database kcase, and writes an odbc.ini with the
# data source KXMY (Connector/ODBC, database kcase over TCP); ODBCSYSINI and
# ODBCINI point at it. Table names are case-insensitive
# (lower_case_table_names=1), text sorts by code point (utf8mb4_bin), the
# time zone is UTC, and SYSDATE is NOW(): with MY_SYSDATE set (the
# default, 2026-12-08 10:30:00) every session of scott starts with its clock
# fixed there; MY_SYSDATE= leaves the clock running.
# my_new_case makes kcase empty again; my_kill kills the server as a crash
# would and my_restart starts it again on the same port.

MY_PORT=
MY_DIR=
MY_SOCKET=
MY_PID=
MY_USER=
MY_DSN=KXMY
MY_ODBC_LIB=${MY_ODBC_LIB:-libmaodbc.so}
MY_SYSDATE=${MY_SYSDATE-2026-12-08 10:30:00}
MY_SERVERD=
MY_INSTALL_DB=
MY_CLIENT=

# The server, mariadb-install-db, the mariadb client and Connector/ODBC;
# false when any is missing. MY_NEED_ODBC=0 asks for the server and the
# client only.
my_find() {
  local name dir lib
  for name in mariadbd mysqld; do
    for dir in /usr/sbin /usr/libexec /usr/bin /usr/local/sbin; do
      if [ -z "$MY_SERVERD" ] && [ -x "$dir/$name" ]; then MY_SERVERD=$dir/$name; fi
    done
  done
  MY_INSTALL_DB=$(command -v mariadb-install-db || command -v mysql_install_db)
  MY_CLIENT=$(command -v mariadb || command -v mysql)
  if [ -z "$MY_SERVERD" ] || [ -z "$MY_INSTALL_DB" ] || [ -z "$MY_CLIENT" ]; then
    echo "MariaDB server binaries not found (mariadbd, mariadb-install-db, mariadb)"
    return 1
  fi
  MY_ODBC_DRIVER=
  [ "${MY_NEED_ODBC:-1}" = 0 ] && return 0
  for lib in /usr/lib/*/odbc/$MY_ODBC_LIB /usr/lib/odbc/$MY_ODBC_LIB /usr/lib64/$MY_ODBC_LIB; do
    if [ -f "$lib" ]; then MY_ODBC_DRIVER=$lib; break; fi
  done
  if [ -z "$MY_ODBC_DRIVER" ]; then
    echo "MariaDB Connector/ODBC ($MY_ODBC_LIB) not found"
    return 1
  fi
  return 0
}

# A port on the loopback address that nothing listens on.
source "$(dirname "${BASH_SOURCE[0]}")/../free_port.sh"
my_free_port() { free_port; }

# Statements as the server's root over the socket: my_admin "SQL" [DB].
my_admin() { "$MY_CLIENT" --no-defaults -S "$MY_SOCKET" -u root -N -B ${2:+"$2"} -e "$1"; }
# The mariadb client as scott on kcase over the socket, for setup and checks
# (batch output: tab-separated, no column names); further arguments as the
# client takes them, e.g. my_sql -e "SELECT ..." or my_sql < file.sql.
my_sql() { "$MY_CLIENT" --no-defaults -S "$MY_SOCKET" -u scott -ptiger -N -B kcase "$@"; }

my_start() {
  MY_DIR=$1
  MY_SOCKET=$MY_DIR/run/mysqld.sock
  mkdir -p "$MY_DIR/data" "$MY_DIR/run" "$MY_DIR/tmp" || return 1
  local user=()
  if [ "$(id -u)" -eq 0 ]; then
    MY_USER=nobody
    getent passwd mysql > /dev/null && MY_USER=mysql
    chown -R "$MY_USER" "$MY_DIR/data" "$MY_DIR/run" "$MY_DIR/tmp"
    chmod 755 "$MY_DIR"
    user=(--user="$MY_USER")
  fi
  # The options of both the installation and the server; no other option
  # file is read.
  cat > "$MY_DIR/my.cnf" <<EOF
[mariadbd]
datadir = $MY_DIR/data
tmpdir = $MY_DIR/tmp
socket = $MY_SOCKET
pid-file = $MY_DIR/run/mysqld.pid
log-error = $MY_DIR/run/server.log
bind-address = 127.0.0.1
skip-name-resolve
lower_case_table_names = 1
character-set-server = utf8mb4
collation-server = utf8mb4_bin
default-time-zone = +00:00
sysdate-is-now
max_connections = 60
innodb_buffer_pool_size = 64M
innodb_log_file_size = 48M
# A commit survives the server's process being killed (not the machine's
# crash).
innodb_flush_log_at_trx_commit = 2
innodb_doublewrite = 0
skip-log-bin
EOF
  "$MY_INSTALL_DB" --defaults-file="$MY_DIR/my.cnf" "${user[@]}" --skip-test-db \
      --auth-root-authentication-method=normal > "$MY_DIR/install.log" 2>&1 || {
    cat "$MY_DIR/install.log"; return 1; }

  local tries
  for tries in 1 2 3 4 5; do
    MY_PORT=$(my_free_port) || return 1
    if my_restart; then break; fi
    MY_PORT=
  done
  if [ -z "$MY_PORT" ]; then tail -n 30 "$MY_DIR/run/server.log"; return 1; fi

  # Every session of scott has the fixed clock; root's are exempt.
  local clock=
  [ -n "$MY_SYSDATE" ] && clock="SET GLOBAL init_connect = 'SET timestamp = UNIX_TIMESTAMP(''$MY_SYSDATE'')';"
  my_admin "DELETE FROM mysql.global_priv WHERE User = '';
            FLUSH PRIVILEGES;
            CREATE USER scott@'%' IDENTIFIED BY 'tiger';
            CREATE USER scott@localhost IDENTIFIED BY 'tiger';
            CREATE DATABASE kcase;
            GRANT ALL ON kcase.* TO scott@'%';
            GRANT ALL ON kcase.* TO scott@localhost;
            $clock" || return 1

  mkdir -p "$MY_DIR/odbc"
  : > "$MY_DIR/odbc/odbcinst.ini"
  cat > "$MY_DIR/odbc/odbc.ini" <<EOF
[$MY_DSN]
Driver = $MY_ODBC_DRIVER
Server = 127.0.0.1
Port = $MY_PORT
Database = kcase
EOF
  export ODBCSYSINI="$MY_DIR/odbc" ODBCINI="$MY_DIR/odbc/odbc.ini"
  return 0
}

# kcase empty again.
my_new_case() {
  my_admin "DROP DATABASE IF EXISTS kcase; CREATE DATABASE kcase" > /dev/null
}

# Start the server on MY_PORT, at first and again after my_kill; waits
# until it answers on its socket (at most 30 seconds).
my_restart() {
  rm -f "$MY_SOCKET"
  # Started from a subshell, so that the caller's shell neither waits for
  # the server nor reports its end.
  MY_PID=$("$MY_SERVERD" --defaults-file="$MY_DIR/my.cnf" ${MY_USER:+--user="$MY_USER"} --port="$MY_PORT" \
      < /dev/null > /dev/null 2>&1 & echo $!)
  local i
  for i in $(seq 1 300); do
    if [ -S "$MY_SOCKET" ] && my_admin "SELECT 1" > /dev/null 2>&1; then return 0; fi
    if ! kill -0 "$MY_PID" 2> /dev/null; then break; fi
    sleep 0.1
  done
  # Not up: most likely the port was taken meanwhile.
  my_halt KILL
  return 1
}

# Send the server a signal and wait until it has gone (at most 30 seconds,
# then it is killed).
my_halt() {  # signal
  [ -n "$MY_PID" ] || return 0
  kill -"$1" "$MY_PID" 2> /dev/null
  local i
  for i in $(seq 1 300); do
    kill -0 "$MY_PID" 2> /dev/null || break
    sleep 0.1
  done
  kill -KILL "$MY_PID" 2> /dev/null
  MY_PID=
}

# Kill the server at once, as a crash would (for the fault tests).
my_kill() { my_halt KILL; }

my_stop() { my_halt TERM; }
