#!/usr/bin/env bash
# The same report as text, PDF and HTML: wall and CPU seconds and peak memory
# of each, and their ratios to text, in one interleaved run.
#   bench/pages.sh [BINARY] [ROWS]      RUNS=n rounds (default 3)
set -eu
binary=$(realpath "${1:-build/kelvordantix}")
rows=${2:-1000000}
runs=${RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

sqlite3 bench.db <<SQL
CREATE TABLE emp(empno INTEGER, ename VARCHAR2(20), job VARCHAR2(10), sal NUMBER(9,2), hired DATE);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO emp SELECT 1000 + i, 'NAME' || (i % 9973), substr('CLERKANALYSTMANAGER', 1 + 5 * (i % 3), 7),
                       (i % 100000) / 7.0, date('1980-01-01', '+' || (i % 15000) || ' days') FROM n;
SQL

cat > listing.rpt <<'RPT'
.DECLARE NO 99999999
.DECLARE NAME A20
.DECLARE JOB A10
.DECLARE SAL 99,999.99
.DECLARE HIRED A10
.DEFINE EMPSEL
SELECT EMPNO, ENAME, JOB, SAL, HIRED FROM EMP
INTO NO, NAME, JOB, SAL, HIRED
..
.DEFINE EMPLINE
.PRINT NO
.NC
.PRINT NAME
.NC
.PRINT JOB
.NC
.R
.PRINT SAL
.NC
.PRINT HIRED
.NC
..
.SPN 0 66 0 1 .
.TTLU 68 EMPLOYEE LISTING .
.DT 0 1 8 10 29 31 40 42 51 53 68 .
.T 0
.REPORT EMPSEL EMPLINE
.TE
RPT

measure() {  # format -> "wall cpu rss_kib"
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%U %S %M' -o time.txt "$binary" listing.rpt "report.$1" u/p@bench.db 2>/dev/null
  end=$(date +%s%N)
  read -r user sys rss < time.txt
  awk -v s="$start" -v e="$end" -v u="$user" -v y="$sys" -v m="$rss" 'BEGIN { printf "%.2f %.2f %d\n", (e - s) / 1e9, u + y, m }'
}

for format in txt pdf html; do : > "$format.runs"; done
for ((r = 1; r <= runs; r++)); do
  for format in txt pdf html; do measure "$format" >> "$format.runs"; done
done
median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
text_wall=$(cut -d' ' -f1 txt.runs | median)
text_cpu=$(cut -d' ' -f2 txt.runs | median)
echo "$rows rows, $(pdfinfo report.pdf 2>/dev/null | awk '/^Pages:/ { print $2 }') pages, $runs rounds"
printf '%-5s %9s %9s %10s %9s %9s\n' format wall_s cpu_s peak_MiB wall_x cpu_x
for format in txt pdf html; do
  wall=$(cut -d' ' -f1 "$format.runs" | median)
  cpu=$(cut -d' ' -f2 "$format.runs" | median)
  rss=$(cut -d' ' -f3 "$format.runs" | sort -g | tail -1)
  awk -v f="$format" -v w="$wall" -v c="$cpu" -v m="$rss" -v tw="$text_wall" -v tc="$text_cpu" \
    'BEGIN { printf "%-5s %9.2f %9.2f %10.1f %9.2f %9.2f\n", f, w, c, m / 1024, w / tw, c / tc }'
done
