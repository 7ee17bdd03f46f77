#!/usr/bin/env bash
# The million-row report side by side with what a user would otherwise run,
# on the same rows, in one interleaved session: every round runs every row
# of the table once (starting one further each round, so that a drift in
# the machine's speed hits all alike), after one warm-up round. Prints the
# median wall and CPU seconds, the largest peak RSS and the ratio of median
# wall times to the floor, as a Markdown table.
#
#   bench/run.sh [ROWS] [BINARY]
#
# ROWS employees (default 1000000; a few thousand for a quick run), BINARY
# the program (default build/kelvordantix). RUNS=N rounds (default 5),
# NOPG=1 leaves PostgreSQL out, NOMY=1 MariaDB, KEEP=1 keeps the work
# folder and its outputs. Needs sqlite3, cc, awk, GNU time; the PostgreSQL
# rows need the server programs and psqlODBC, the MariaDB rows the server
# and Connector/ODBC, started as the tests start them.
#
# CPU counts every process of a row (both ends of a pipe) but not the
# PostgreSQL or MariaDB server's. The machine is shared: compare ratios from one run,
# never seconds from different runs.
set -u
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=${1:-1000000}
kx=$(realpath "${2:-$root/build/kelvordantix}")
runs=${RUNS:-5}
case $rows in '' | *[!0-9]* | 0) echo "run.sh: ROWS must be a positive number" >&2; exit 2 ;; esac
[ -x "$kx" ] || { echo "run.sh: no program at $kx (build it first)" >&2; exit 2; }

work=$(mktemp -d /tmp/kelvordantix_bench.XXXXXX)
chmod 755 "$work"
cleanup() {
  declare -F pg_stop > /dev/null && pg_stop
  declare -F my_stop > /dev/null && my_stop
  if [ "${KEEP:-0}" = 1 ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cd "$work" && mkdir out

QUERY="SELECT EMPNO, ENAME, JOB, DEPTNO, SAL, HIREDATE FROM EMP"
MY_QUERY="SELECT empno, ename, job, deptno, FORMAT(sal, 2), DATE_FORMAT(hiredate, '%d/%m/%Y') FROM emp"
PG_QUERY="SELECT empno, ename, job, deptno, to_char(sal, 'FM99,999.00'), to_char(hiredate, 'DD/MM/YYYY') FROM emp"

sed "s/:ROWS/$rows/" "$here/emp.sql" | sqlite3 emp.db > /dev/null || exit 1
cc -O2 -o floor "$here/floor.c" -lsqlite3 -lm || exit 1
cp "$here/report.rpt" report.rpt

# --- the rows of the table ---------------------------------------------------

names=() checks=() commands=()
# row NAME CHECK COMMAND: COMMAND runs in the work folder and writes
# out/NAME.txt; CHECK "pages" means its output must be floor-report's pages
# byte for byte (checked after the warm-up round), "-" nothing.
row() { names+=("$1"); checks+=("$2"); commands+=("$3"); }

# PostgreSQL as the tests run it, with the rows copied from emp.db into the
# database kbench and the data source KXBENCH (fetching through a cursor, as
# the README advises). The table is stored in EMPNO order and every scan
# starts at its beginning, so that the pages are the same as SQLite's.
# False when the server cannot be started.
start_postgres() {
  [ "${NOPG:-0}" = 1 ] && return 1
  source "$root/tests/pg/pg_server.sh"
  pg_find > /dev/null || return 1
  pg_start "$work/pg" > /dev/null || return 1
  pg_admin "CREATE DATABASE kbench TEMPLATE kbase OWNER scott" > /dev/null &&
  psql -X -q -v ON_ERROR_STOP=1 -h "$PG_DIR/run" -p "$PG_PORT" -U scott -d kbench \
       -c "CREATE TABLE emp (empno INTEGER, ename VARCHAR(20), job VARCHAR(10), deptno INTEGER,
                             sal NUMERIC(9,2), hiredate DATE)" || return 1
  sqlite3 -csv emp.db "$QUERY" |
    psql -X -q -v ON_ERROR_STOP=1 -h "$PG_DIR/run" -p "$PG_PORT" -U scott -d kbench \
         -c "\\copy emp FROM STDIN WITH (FORMAT csv)" -c "CREATE INDEX emp_no ON emp (empno)" \
         -c "CLUSTER emp USING emp_no" -c "DROP INDEX emp_no" -c "VACUUM ANALYZE emp" \
         -c "ALTER DATABASE kbench SET synchronize_seqscans = off" || return 1
  cat >> "$ODBCINI" <<EOF
[KXBENCH]
Driver = $PG_ODBC_DRIVER
Servername = 127.0.0.1
Port = $PG_PORT
Database = kbench
UseDeclareFetch = 1
Fetch = 1000
EOF
  PG_URL="postgresql://127.0.0.1:$PG_PORT/kbench"
}

# MariaDB as the tests run it, the rows copied from emp.db into kcase (the
# primary key keeps them in EMPNO order), and the data source KXMYBENCH in
# Oracle mode, as the native driver's sessions are. False when the server
# cannot be started.
start_mariadb() {
  [ "${NOMY:-0}" = 1 ] && return 1
  source "$root/tests/mariadb/server.sh"
  my_find > /dev/null || return 1
  MY_SYSDATE= my_start "$work/my" > /dev/null || return 1
  sqlite3 -csv emp.db "$QUERY" > emp.csv
  my_sql --local-infile=1 -e "CREATE TABLE emp (empno INT PRIMARY KEY, ename VARCHAR(20), job VARCHAR(10),
                                                deptno INT, sal DECIMAL(9,2), hiredate DATE);
      LOAD DATA LOCAL INFILE 'emp.csv' INTO TABLE emp FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"'" ||
    return 1
  rm emp.csv
  cat >> "$ODBCINI" <<EOF
[KXMYBENCH]
Driver = $MY_ODBC_DRIVER
Server = 127.0.0.1
Port = $MY_PORT
Database = kcase
InitStmt = SET SESSION sql_mode = CONCAT(@@sql_mode, ',ORACLE')
EOF
  MY_URL="mariadb://127.0.0.1:$MY_PORT/kcase"
}

row floor-print  -     "./floor print emp.db > out/floor-print.txt"
row floor-report pages "./floor report emp.db > out/floor-report.txt"
row sqlite3-awk  pages "sqlite3 -list emp.db '$QUERY' | awk -f '$here/report.awk' > out/sqlite3-awk.txt"
row kx-combined  pages "'$kx' report.rpt out/kx-combined.txt u/p@sqlite:emp.db"
row kx-rptonly   -     "'$kx' report.rpt out/kx-rptonly.txt u/p@sqlite:emp.db 1"
if start_postgres; then
  row psql-to_char -   "PGPASSWORD=tiger psql -X -At -h 127.0.0.1 -p $PG_PORT -U scott -d kbench -c \"$PG_QUERY\" > out/psql-to_char.txt"
  row kx-odbc-pg   pages "'$kx' report.rpt out/kx-odbc-pg.txt scott/tiger@odbc:KXBENCH"
  row kx-libpq-pg  pages "'$kx' report.rpt out/kx-libpq-pg.txt scott/tiger@$PG_URL"
else
  echo "PostgreSQL rows left out (NOPG=1, or no server could be started)" >&2
fi
if start_mariadb; then
  row mariadb-B    -     "mariadb --no-defaults -B -N -h 127.0.0.1 -P $MY_PORT -u scott -ptiger kcase -e \"$MY_QUERY\" > out/mariadb-B.txt"
  row kx-odbc-my   pages "'$kx' report.rpt out/kx-odbc-my.txt scott/tiger@odbc:KXMYBENCH"
  row kx-native-my pages "'$kx' report.rpt out/kx-native-my.txt scott/tiger@$MY_URL"
else
  echo "MariaDB rows left out (NOMY=1, or no server could be started)" >&2
fi

# --- running them --------------------------------------------------------------

count=${#names[@]}
declare -a walls cpus rsss
. "$here/lib.sh"

for ((i = 0; i < count; i++)); do run_row "$i"; done
for ((i = 0; i < count; i++)); do walls[$i]=""; cpus[$i]=""; rsss[$i]=""; done
for ((i = 0; i < count; i++)); do
  if [ "${checks[$i]}" = pages ] && ! cmp -s out/floor-report.txt "out/${names[$i]}.txt"; then
    echo "row ${names[$i]}: its pages differ from floor-report's" >&2
    checks[$i]=DIFFERS
  fi
done
for ((round = 0; round < runs; round++)); do
  for ((k = 0; k < count; k++)); do run_row $(((round + k) % count)); done
  echo "round $((round + 1))/$runs done" >&2
done

# --- the table -------------------------------------------------------------------

floor=$(median <<< "${walls[0]}")
echo "$rows rows, $runs rounds (medians), $(date -u +%Y-%m-%d); $(nproc) cores," \
     "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo
echo "| row | wall s | CPU s | peak RSS MiB | ratio to floor | pages |"
echo "|---|---:|---:|---:|---:|---|"
for ((i = 0; i < count; i++)); do
  wall=$(median <<< "${walls[$i]}")
  cpu=$(median <<< "${cpus[$i]}")
  rss=$(tr ' ' '\n' <<< "${rsss[$i]}" | grep . | sort -n | tail -n 1)
  awk -v n="${names[$i]}" -v w="$wall" -v c="$cpu" -v r="$rss" -v f="$floor" -v p="${checks[$i]}" \
      'BEGIN { printf "| %s | %.2f | %.2f | %.1f | %.2f | %s |\n", n, w / 1000, c / 1000, r / 1024, w / f,
               p == "pages" ? "same" : p }'
done
