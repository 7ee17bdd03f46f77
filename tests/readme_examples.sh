#!/usr/bin/env bash
# The README's examples run as written, on the demo database grown to
# thousands of employees, and their pages fit 80 columns.
#   readme_examples.sh BINARY SOURCEDIR WORKDIR
set -u
binary=$(realpath "$1")
source=$(realpath "$2")
work=$3
rm -rf "$work"; mkdir -p "$work"; cd "$work" || exit 1
sqlite3 demo.db < "$source/examples/demo.sql" || exit 1
sqlite3 demo.db "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 3000)
                 INSERT INTO emp (empno, ename, job, sal, deptno)
                 SELECT 10000 + n, 'E' || n, 'CLERK', 1000 + n % 500, 20 FROM c;" || exit 1
# The first fenced block after a heading of the README.
block() { awk -v h="$1" '$0 == h { on = 1; next } on && /^```/ { if (inside) exit; inside = 1; next } inside' \
            "$source/README.md"; }
failed=0
run() {  # name heading args...
  local name=$1 heading=$2
  shift 2
  block "$heading" > "$name"
  [ -s "$name" ] || { echo "$heading: no example found"; failed=1; return; }
  if ! "$binary" -q "$name" out.txt "$@" 2> err.txt; then
    echo "$heading: the example fails:"; cat err.txt; failed=1; return
  fi
  # Visible width: an underline row ends in a carriage return before its text.
  local width
  width=$(sed 's/.*\r//' out.txt | awk '{ if (length > m) m = length } END { print m + 0 }')
  [ "$width" -le 80 ] || { echo "$heading: lines of $width columns"; failed=1; }
}
run first.rpt "## Your first report" @demo.db
run brief.rpt "## RPT in brief" scott/tiger@demo.db
run brief.rpf "## RPF in brief"
exit $failed
