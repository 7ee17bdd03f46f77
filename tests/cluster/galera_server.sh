#!/usr/bin/env bash
# A throwaway three-node MariaDB Galera cluster on loopback, to be sourced:
#   source tests/cluster/galera_server.sh
#   galera_find || exit 77    # programs missing
#   galera_start DIR          # DIR: an empty temporary directory
#   galera_stop               # every node; also called by the caller's trap
# Each node has its own port for clients (GALERA_PORT[N]), for group
# communication, for incremental state transfer (IST) and for the rsync of
# a full state transfer (SST), all on 127.0.0.1. Node 1 bootstraps the
# cluster; nodes 2 and 3 join it one after the other with empty data directories and
# take the whole state (an SST by rsync) from it in turn. The user
# scott (password tiger) owns the database kcase. An odbc.ini names the
# data sources KXGALERA1 to KXGALERA3 (MariaDB Connector/ODBC), one per
# node, whose sessions read what the cluster committed before them
# (wsrep_sync_wait = 1); ODBCSYSINI and ODBCINI point at it. Servers run
# as nobody when the tests run as root (mariadbd drops to that user
# itself, so GALERA_PID is the server's own process).

GALERA_PROVIDER=${GALERA_PROVIDER:-/usr/lib/galera/libgalera_smm.so}
GALERA_ODBC_LIB=${GALERA_ODBC_LIB:-libmaodbc.so}
GALERA_DIR=
GALERA_USER=()    # --user=nobody when the tests run as root
GALERA_PORT=()    # client port of node N (1 to 3)
GALERA_PID=()     # server process of node N, empty when it is down
GALERA_TAKEN=     # ports handed out by galera_free_port

galera_find() {
  local program
  PATH=$PATH:/usr/sbin    # mariadbd
  # rsync and ss (or lsof) serve the state transfer script.
  for program in mariadbd mariadb-install-db mariadb rsync; do
    command -v "$program" > /dev/null 2>&1 || { echo "$program not found"; return 1; }
  done
  command -v ss > /dev/null 2>&1 || command -v lsof > /dev/null 2>&1 || { echo "ss or lsof not found"; return 1; }
  [ -f "$GALERA_PROVIDER" ] || { echo "the Galera provider $GALERA_PROVIDER is missing"; return 1; }
  GALERA_ODBC_DRIVER=
  for lib in /usr/lib/*/odbc/$GALERA_ODBC_LIB /usr/lib/odbc/$GALERA_ODBC_LIB /usr/lib64/$GALERA_ODBC_LIB; do
    if [ -f "$lib" ]; then GALERA_ODBC_DRIVER=$lib; break; fi
  done
  return 0
}

# Statements as root over node N's socket.
galera_sql() {  # node sql [mariadb options...]
  local node=$1 sql=$2
  shift 2
  mariadb --no-defaults -S "$GALERA_DIR/node$node/mysqld.sock" -u root -N -B "$@" -e "$sql"
}

# One free loopback port not handed out before in this run.
galera_free_port() {
  local port
  for _ in $(seq 1 50); do
    port=$((20000 + RANDOM % 40000))
    case " $GALERA_TAKEN " in *" $port "*) continue ;; esac
    if ! (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then
      GALERA_TAKEN="$GALERA_TAKEN $port"
      echo "$port"
      return 0
    fi
  done
  return 1
}

# The configuration of node N: group communication on GMCAST[N], IST on
# its port + 1 (the provider's own rule), rsync for SST on SST[N]. The
# timeouts are short so that the others drop a node that has died within
# seconds, not half a minute.
galera_config() {  # node
  local n=$1 dir=$GALERA_DIR/node$1
  cat > "$dir/my.cnf" <<EOF
[mariadbd]
datadir=$dir/data
socket=$dir/mysqld.sock
pid-file=$dir/mysqld.pid
log-error=$dir/error.log
tmpdir=$dir/tmp
port=${GALERA_PORT[$n]}
bind-address=127.0.0.1
skip-name-resolve
performance_schema=OFF
innodb_buffer_pool_size=24M
innodb_log_file_size=16M
innodb_flush_log_at_trx_commit=0
binlog_format=ROW
default_storage_engine=InnoDB
innodb_autoinc_lock_mode=2
max_connections=30
wsrep_on=ON
wsrep_provider=$GALERA_PROVIDER
wsrep_cluster_name=kelvordantix_test
wsrep_cluster_address=gcomm://127.0.0.1:${GALERA_GMCAST[1]},127.0.0.1:${GALERA_GMCAST[2]},127.0.0.1:${GALERA_GMCAST[3]}
wsrep_node_name=node$n
wsrep_node_address=127.0.0.1:${GALERA_GMCAST[$n]}
wsrep_node_incoming_address=127.0.0.1:${GALERA_PORT[$n]}
wsrep_provider_options="gmcast.listen_addr=tcp://127.0.0.1:${GALERA_GMCAST[$n]};ist.recv_addr=127.0.0.1:$((GALERA_GMCAST[$n] + 1));gcache.size=16M;evs.keepalive_period=PT0.5S;evs.suspect_timeout=PT5S;evs.inactive_timeout=PT10S;evs.install_timeout=PT7S"
wsrep_sst_method=rsync
wsrep_sst_receive_address=127.0.0.1:${GALERA_SST[$n]}
EOF
}

# Start node N in the background; --wsrep-new-cluster makes it a new cluster.
galera_launch() {  # node [--wsrep-new-cluster]
  local dir=$GALERA_DIR/node$1
  mariadbd --defaults-file="$dir/my.cnf" "${GALERA_USER[@]}" "${@:2}" > /dev/null 2>&1 &
  GALERA_PID[$1]=$!
}

# Wait (at most 60 s) until node N serves clients as a synced member.
galera_wait_synced() {  # node
  for _ in $(seq 1 600); do
    [ "$(galera_sql "$1" "SELECT variable_value FROM information_schema.global_status
                          WHERE variable_name = 'wsrep_local_state_comment'" 2>/dev/null)" = Synced ] && return 0
    kill -0 "${GALERA_PID[$1]}" 2>/dev/null || break
    sleep 0.1
  done
  echo "node $1 did not join the cluster:"
  tail -n 30 "$GALERA_DIR/node$1/error.log"
  return 1
}

# Ports, the data directory of node 1, the cluster, the user, the
# database and the data sources.
galera_start() {  # dir
  GALERA_DIR=$1
  local n
  GALERA_GMCAST=() GALERA_SST=()
  for n in 1 2 3; do
    mkdir -p "$GALERA_DIR/node$n/data" "$GALERA_DIR/node$n/tmp"
    GALERA_PORT[$n]=$(galera_free_port) && GALERA_SST[$n]=$(galera_free_port) || return 1
    # The IST port is the group port + 1: both must be free.
    while :; do
      GALERA_GMCAST[$n]=$(galera_free_port) || return 1
      (exec 3<>/dev/tcp/127.0.0.1/$((GALERA_GMCAST[$n] + 1))) 2>/dev/null || break
    done
    GALERA_TAKEN="$GALERA_TAKEN $((GALERA_GMCAST[$n] + 1))"
  done
  for n in 1 2 3; do galera_config $n; done
  if [ "$(id -u)" -eq 0 ]; then
    GALERA_USER=(--user=nobody)
    chmod 755 "$GALERA_DIR"
    chown -R nobody "$GALERA_DIR"/node*
  fi
  mariadb-install-db --no-defaults "${GALERA_USER[@]}" --datadir="$GALERA_DIR/node1/data" \
      --auth-root-authentication-method=normal --skip-test-db > "$GALERA_DIR/install.log" 2>&1 ||
    { cat "$GALERA_DIR/install.log"; return 1; }
  galera_launch 1 --wsrep-new-cluster
  galera_wait_synced 1 &&
  galera_sql 1 "CREATE USER scott@'%' IDENTIFIED BY 'tiger';
                CREATE DATABASE kcase; GRANT ALL ON kcase.* TO scott@'%'" || return 1
  # One joiner at a time: node 1 is the donor of both state transfers.
  galera_launch 2
  galera_wait_synced 2 || return 1
  galera_launch 3
  galera_wait_synced 3 || return 1

  mkdir -p "$GALERA_DIR/odbc"
  : > "$GALERA_DIR/odbc/odbcinst.ini"
  : > "$GALERA_DIR/odbc/odbc.ini"
  for n in 1 2 3; do
    cat >> "$GALERA_DIR/odbc/odbc.ini" <<EOF
[KXGALERA$n]
Driver = $GALERA_ODBC_DRIVER
Server = 127.0.0.1
Port = ${GALERA_PORT[$n]}
Database = kcase
InitStmt = SET SESSION wsrep_sync_wait = 1
EOF
  done
  export ODBCSYSINI="$GALERA_DIR/odbc" ODBCINI="$GALERA_DIR/odbc/odbc.ini"
}

# Kill node N at once, as a crash would.
galera_kill() {  # node
  [ -n "${GALERA_PID[$1]:-}" ] || return 0
  kill -KILL "${GALERA_PID[$1]}" 2> /dev/null
  wait "${GALERA_PID[$1]}" 2> /dev/null
  GALERA_PID[$1]=
}

# Shut node N down cleanly (at most 10 s, then killed).
galera_shutdown() {  # node
  [ -n "${GALERA_PID[$1]:-}" ] || return 0
  kill -TERM "${GALERA_PID[$1]}" 2> /dev/null
  for _ in $(seq 1 100); do
    kill -0 "${GALERA_PID[$1]}" 2> /dev/null || { wait "${GALERA_PID[$1]}"; GALERA_PID[$1]=; return 0; }
    sleep 0.1
  done
  echo "node $1 did not shut down"
  galera_kill "$1"
  return 1
}

# Every node that runs, in turn.
galera_stop() {
  local n
  for n in 3 2 1; do galera_shutdown $n; done
}
