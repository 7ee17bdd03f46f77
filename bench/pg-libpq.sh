#!/usr/bin/env bash
# The million-row employee report from a PostgreSQL server: the program
# through libpq and through psqlODBC, against psql -At printing the same
# rows with the server's to_char for the date. One throwaway server (as the
# tests start it), interleaved rounds; per run the median, min and max wall
# seconds, the median CPU seconds of the client (not the server's), its
# peak RSS, and the ratio of medians to psql.
#   bench/pg-libpq.sh [BINARY] [ROWS]      RUNS=N rounds (default 5)
set -u
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "${1:-build/kelvordantix}")
rows=${2:-1000000}
runs=${RUNS:-5}
time_bin=${TIME_BIN:-/usr/bin/time}

source "$here/../tests/pg/pg_server.sh"
pg_find > /dev/null || PG_NEED_ODBC=0 pg_find || exit 1
work=$(mktemp -d /tmp/kelvordantix_bench.XXXXXX)
trap 'pg_stop; [ "${KEEP:-0}" = 1 ] || rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
pg_start "$work" || { echo "could not start PostgreSQL"; exit 1; }
pg_new_case

pg_psql -v ON_ERROR_STOP=1 <<SQL || exit 1
CREATE TABLE emp (empno INTEGER, ename VARCHAR(20), job VARCHAR(10), deptno INTEGER,
                  sal NUMERIC(9,2), hiredate DATE);
INSERT INTO emp
SELECT 1000 + n, upper(substr(md5(n::text), 1, 4 + n % 5)),
       (ARRAY['CLERK', 'SALESMAN', 'MANAGER', 'ANALYST', 'PRESIDENT'])[1 + n % 5],
       10 * (1 + n % 4), (80000 + (n::bigint * 7919) % 9920000) / 100.0, DATE '1980-01-01' + (n * 31) % 16000
FROM generate_series(1, $rows) n;
VACUUM ANALYZE emp;
SQL

cat > "$work/report.rpt" <<'RPT'
.REM Employee listing: one row per employee in a table of six columns,
.REM with a centred title and page numbers on every 66-line page.
.DEFINE EMPSEL
SELECT EMPNO, ENAME, JOB, DEPTNO, SAL, HIREDATE FROM EMP
INTO NO, NAME, JOB, DEPT, SAL, HIRED
..
.DEFINE EMPLINE
.PRINT NO
.NC
.PRINT NAME
.NC
.PRINT JOB
.NC
.PRINT DEPT
.NC
.PRINT SAL
.NC
.PRINT HIRED
.NC
..
.DECLARE NO 99999999
.DECLARE NAME A20
.DECLARE JOB A10
.DECLARE DEPT 99
.DECLARE SAL 99,999.99
.DECLARE HIRED A10
.SPN 0 66 0 1 .
.TTL 68 EMPLOYEE LISTING .
.DT 0 1 8 10 29 31 40 42 45 47 56 58 68 .
.T 0
.REPORT EMPSEL EMPLINE
.TE
RPT

# psqlODBC streaming through a cursor, as the README advises.
cat >> "$work/odbc/odbc.ini" <<EOF
[KXBENCH]
Driver = $PG_ODBC_DRIVER
Servername = 127.0.0.1
Port = $PG_PORT
Database = kcase
UseDeclareFetch = 1
Fetch = 1000
EOF

names=(psql-to_char kx-libpq)
outputs=(psql.txt libpq.txt)
commands=(
  "psql -X -At -h 127.0.0.1 -p $PG_PORT -U scott -d kcase -c \"SELECT empno, ename, job, deptno, sal, to_char(hiredate, 'dd/mm/yyyy') FROM emp\" > psql.txt"
  "'$binary' report.rpt libpq.txt 'scott/tiger@postgresql://127.0.0.1:$PG_PORT/kcase' 2> /dev/null"
)
if [ -n "$PG_ODBC_DRIVER" ]; then
  names+=(kx-odbc)
  outputs+=(odbc.txt)
  commands+=("'$binary' report.rpt odbc.txt scott/tiger@odbc:KXBENCH 2> /dev/null")
fi
export PGPASSWORD=tiger

walls=() cpus=() rss=()
run_one() {  # index
  local start end
  start=$(date +%s%N)
  (cd "$work" && "$time_bin" -f '%M %U %S' -o "$work/time.txt" bash -c "${commands[$1]}") ||
    { echo "${names[$1]} failed:" >&2; cat "$work/time.txt" >&2; }
  end=$(date +%s%N)
  walls[$1]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }') "
  local kib user sys
  read -r kib user sys < <(tail -n 1 "$work/time.txt")
  cpus[$1]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }') "
  [ -z "${rss[$1]:-}" ] || [ "$kib" -gt "${rss[$1]}" ] && rss[$1]=$kib
}
median() { tr ' ' '\n' | grep . | sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

for i in "${!names[@]}"; do run_one "$i"; done   # warm-up
walls=() cpus=() rss=()
for ((round = 1; round <= runs; round++)); do
  for i in "${!names[@]}"; do run_one "$i"; done
  echo "  round $round/$runs done" >&2
done

echo "== $rows rows, $runs rounds"
printf '%-14s %8s %8s %8s %8s %9s %6s %9s\n' run med_s min_s max_s cpu_s rss_MiB ratio lines
reference=$(median <<< "${walls[0]}")
for i in "${!names[@]}"; do
  med=$(median <<< "${walls[$i]}")
  printf '%-14s %8.3f %8.3f %8.3f %8.2f %9.1f %6.2f %9d\n' "${names[$i]}" "$med" \
      "$(tr ' ' '\n' <<< "${walls[$i]}" | grep . | sort -g | head -n 1)" \
      "$(tr ' ' '\n' <<< "${walls[$i]}" | grep . | sort -g | tail -n 1)" "$(median <<< "${cpus[$i]}")" \
      "$(awk -v k="${rss[$i]}" 'BEGIN { print k / 1024 }')" "$(awk -v a="$med" -v b="$reference" 'BEGIN { print a / b }')" \
      "$(wc -l < "$work/${outputs[$i]}")"
done
