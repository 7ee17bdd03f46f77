# free_port: a port on the loopback address that nothing listens on, for
# the throwaway servers of the tests (pg/pg_server.sh, mariadb/server.sh).
free_port() {
  local port
  for _ in $(seq 1 50); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}
