#!/usr/bin/env bash
# --check on a run's own command line leaves its output file alone: none is
# created, an earlier report keeps its bytes, inode and time stamp, and an
# output file named like a database, taken as the connection, is not
# written either.
#   check_outfile.sh BINARY WORKDIR
set -u
binary=$(realpath "$1")
work=$2
rm -rf "$work"; mkdir -p "$work"; cd "$work" || exit 1
failed=0
fail() { echo "FAILED: $*"; failed=1; }

sqlite3 test.db "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE); INSERT INTO dual VALUES('X', '2026-12-08');
                 CREATE TABLE emp(ename VARCHAR2(10));" || exit 1
cat > r.rpt <<'RPT'
.DECLARE N A10
.DEFINE NAMES
SELECT ename FROM emp
INTO N
..
.EXECUTE NAMES
&N
RPT
printf 'the report of an earlier run\n' > old.txt
printf 'a report named like a database\n' > totals.db
touch -d '2020-01-02 03:04:05' old.txt totals.db
stamp() { stat -c '%i %s %Y' "$1"; }
old_stamp=$(stamp old.txt) totals_stamp=$(stamp totals.db)

expect() {  # status summary-text args...
  local status=$1 summary=$2
  shift 2
  "$binary" --check "$@" < /dev/null > stdout.txt 2> stderr.txt
  local got=$?
  [ "$got" = "$status" ] || fail "--check $*: exit status $got, expected $status"
  grep -qxF "$summary" stderr.txt || { fail "--check $*: no summary '$summary'"; cat stderr.txt; }
  [ -s stdout.txt ] && fail "--check $*: wrote to standard output"
}
clean='r.rpt: 0 errors, 0 warnings'
unchecked='r.rpt: 0 errors, 0 warnings (SQL not checked: no connection given)'
expect 0 "$unchecked" r.rpt new.txt
expect 0 "$clean" r.rpt new.txt @test.db
expect 0 "$clean" r.rpt F:I:P:2:3:new.txt scott/tiger@test.db 30
expect 0 "$clean" r.rpt new.pdf @test.db 1
expect 0 "$clean" r.rpt old.txt @test.db 2
expect 0 "$clean" r.rpt totals.db @test.db
expect 0 "$unchecked" r.rpt - 
# Alone, a word written as a database is the connection: neither file is
# made or written.
expect 1 'r.rpt: 1 error, 0 warnings' r.rpt totals.db
grep -q 'file is not a database' stderr.txt || fail "totals.db alone: not read as the connection"
expect 1 'r.rpt: 1 error, 0 warnings' r.rpt missing.db
for name in new.txt new.pdf missing.db; do
  [ -e "$name" ] && fail "--check created $name"
done
[ "$(stamp old.txt)" = "$old_stamp" ] || fail "old.txt touched: $(stamp old.txt), was $old_stamp"
[ "$(stamp totals.db)" = "$totals_stamp" ] || fail "totals.db touched: $(stamp totals.db), was $totals_stamp"
[ "$(cat totals.db)" = 'a report named like a database' ] || fail "totals.db rewritten"
leftover=$(ls -A | grep -v -x -e r.rpt -e test.db -e old.txt -e totals.db -e stdout.txt -e stderr.txt)
[ -z "$leftover" ] && exit $failed
fail "files left behind: $leftover"
exit $failed
