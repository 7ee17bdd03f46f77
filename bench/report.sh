#!/usr/bin/env bash
# Rows per second of a realistic report: a million-row table printed through
# .REPORT with three columns in the Combined mode, against the sqlite3 shell
# printing the same query, on the same machine in the same run.
#   bench/report.sh [BINARY] [ROWS]
set -eu
binary=$(realpath "${1:-build/kelvordantix}")
rows=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

sqlite3 bench.db <<SQL
CREATE TABLE sale(id INTEGER, customer VARCHAR2(20), amount NUMBER(9,2), sold DATE);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO sale SELECT i, 'CUSTOMER ' || (i % 997), (i % 10000) / 7.0,
                        date('2020-01-01', '+' || (i % 1500) || ' days') FROM n;
SQL

cat > report.rpt <<'RPT'
.DECLARE ID 9999999
.DECLARE CUSTOMER A20
.DECLARE AMOUNT 9,999,999.99
.DECLARE SOLD A10
.DECLARE TOTAL 999,999,999.99
.SET TOTAL 0
.DEFINE SALES
SELECT ID, CUSTOMER, AMOUNT, SOLD FROM SALE
INTO ID, CUSTOMER, AMOUNT, SOLD
..
.DEFINE LINE
.PRINT ID
.NC
.PRINT CUSTOMER
.NC
.PRINT SOLD
.NC
.R
.PRINT AMOUNT
.NC
.ADD TOTAL TOTAL AMOUNT
..
.SPN 0 70 0 1
.TTL 72 Sales of all customers .
.DT 0 1 10 12 33 35 46 48 72 .
.T 0
.REPORT SALES LINE
.TE
.PRINT TOTAL
RPT

time_of() {  # command... ; prints seconds
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null 2>&1
  end=$(date +%s.%N)
  awk "BEGIN { print $end - $start }"
}
ours=$(time_of "$binary" report.rpt report.out x/x@bench.db)
shell=$(time_of sqlite3 bench.db "SELECT id, customer, amount, sold FROM sale")
printf 'rows: %d\n' "$rows"
printf 'kelvordantix report: %.2f s (%.0f rows/s), %d lines\n' "$ours" "$(awk "BEGIN { print $rows / $ours }")" "$(wc -l < report.out)"
printf 'sqlite3 shell:       %.2f s (%.0f rows/s)\n' "$shell" "$(awk "BEGIN { print $rows / $shell }")"
