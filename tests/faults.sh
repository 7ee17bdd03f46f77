#!/usr/bin/env bash
# Faults a job meets from outside, on SQLite: a signal in the middle of a
# report, a signal or the time limit in the middle of a statement, the
# database locked by another process past the busy timeout (a write
# waiting, and a commit refused), a database file corrupt in the middle of
# a report, and trace output that cannot be written. Every failed
# job must exit 1, keep the committed work only, and leave the previous
# report as it was, with no temporary file beside it.
#   faults.sh BINARY
set -u
binary=$(realpath "$1")
work=$(mktemp -d)
trap 'exec 7>&- 8>&- 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 2
failures=0

fail() { echo "FAIL $current: $*"; failures=$((failures + 1)); }
expect() {  # what expected actual
  [ "$2" == "$3" ] || fail "$1: expected '$2', got '$3'"
}
# A fresh database with dual and a table t; the old report in out.txt.
fresh() {
  rm -rf ./* .[!.]* 2>/dev/null
  sqlite3 test.db "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);
                   INSERT INTO dual VALUES('X', '2026-12-08 10:30:00');
                   CREATE TABLE t (n NUMBER, s VARCHAR2(200));"
  echo "the report of the run before" > out.txt
}
report_kept() {
  expect "previous report" "the report of the run before" "$(cat out.txt)"
  expect "files left" "err.txt job.rpt out.txt std.txt test.db" "$(ls -A | grep -v -e '^answers$' -e '^lock$' | tr '\n' ' ' | sed 's/ $//')"
}
count() { sqlite3 test.db "SELECT count(*) FROM t $1"; }
# Wait (at most 30 s) until a file holds a line matching a pattern.
wait_for() {  # file pattern
  for _ in $(seq 1 300); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "timed out waiting for '$2' in $1"
  return 1
}

# A signal while the job loops after committing one row and writing
# another: the committed row stays, the other is rolled back. The job reads
# one .ASK answer from a FIFO first, so the signal comes when it is surely
# running. (SIGINT is ignored by background jobs of a script.)
for signal in TERM HUP; do
current=sig${signal,,}_mid_report
fresh
cat > job.rpt <<'RPT'
.DECLARE N 9
.DECLARE GO A2
.DEFINE INS
INSERT INTO t VALUES (&N, NULL)
..
.SET N 1
.INS
.COMMIT
.SET N 2
.INS
written before the signal
.ASK "Go?" GO
.&AGAIN
.GOTO AGAIN
RPT
mkfifo answers
exec 7<>answers
"$binary" job.rpt out.txt scott/tiger@test.db 1 < answers > std.txt 2> err.txt &
job=$!
wait_for err.txt "Go?"
echo go >&7
kill -$signal $job
wait $job
expect "exit status" 1 $?
exec 7>&-
expect "rows kept" "1" "$(sqlite3 test.db 'SELECT group_concat(n) FROM t')"
expect "messages" "Job Stopped: signal SIG$signal"$'\nKelvordantix: job.rpt Job Aborted ...' "$(tail -n 2 err.txt)"
report_kept
done

# A stop while a statement runs (an endless recursive query, in a SELECT
# macro and in the probe of .IF): the statement is interrupted and the job
# says only why it stopped, with no server error for the interrupted
# statement, well before the program would end itself.
for stop in timeout HUP; do
current=stop_in_a_statement_$stop
fresh
cat > job.rpt <<'RPT'
.DECLARE N 9999999999
.DECLARE GO A2
.DEFINE INS
INSERT INTO t VALUES (1, NULL)
..
.DEFINE ENDLESS
SELECT count(*) FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c)
INTO N
..
.INS
.ASK "Go?" GO
.IF "&GO = 'if' AND (SELECT count(*) FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c)) > 0" THEN END
.ENDLESS
.&END
RPT
mkfifo answers
exec 7<>answers
started=$SECONDS
if [ $stop = timeout ]; then
  echo go >&7
  "$binary" --timeout=1 job.rpt out.txt scott/tiger@test.db 1 < answers > std.txt 2> err.txt
  status=$?
  reason="--timeout=1 reached"
else
  "$binary" job.rpt out.txt scott/tiger@test.db 1 < answers > std.txt 2> err.txt &
  job=$!
  wait_for err.txt "Go?"
  echo if >&7
  sleep 0.5
  kill -HUP $job
  wait $job
  status=$?
  reason="signal SIGHUP"
fi
exec 7>&-
expect "exit status" 1 $status
[ $((SECONDS - started)) -lt 5 ] || fail "the statement was not interrupted: $((SECONDS - started)) s"
expect "messages" "Kelvordantix: job.rpt Job Started ..."$'\nGo?\n'"Job Stopped: $reason"$'\nKelvordantix: job.rpt Job Aborted ...' \
  "$(cat err.txt)"
expect "rows" 0 "$(count "")"
report_kept
done

# A signal while the job waits for the console: the job cannot come back,
# so the program ends itself (at once on a second signal, else after the
# grace time) with the same lines; the rollback is SQLite's, when the file
# is next opened.
current=signal_at_the_console
fresh
cat > job.rpt <<'RPT'
.DECLARE GO A2
.DEFINE INS
INSERT INTO t VALUES (1, NULL)
..
.INS
written before the signal
.ASK "Go?" GO
RPT
mkfifo answers
exec 7<>answers
"$binary" job.rpt out.txt scott/tiger@test.db 1 < answers > std.txt 2> err.txt &
job=$!
wait_for err.txt "Go?"
kill -TERM $job
sleep 0.5
kill -TERM $job 2> /dev/null
wait $job
expect "exit status" 1 $?
exec 7>&-
expect "rows" 0 "$(count "")"
expect "messages" $'Job Stopped: signal SIGTERM\nKelvordantix: job.rpt Job Aborted ...' "$(tail -n 2 err.txt)"
rm -f test.db-journal
report_kept

# Another process reads the database (a shared lock) until told to stop:
# the job's commit cannot take the file and is refused after the busy
# timeout, as a server error naming COMMIT.
current=commit_refused_by_lock
fresh
mkfifo lock
exec 8<>lock
sqlite3 test.db < lock > lock.out 2>&1 &
holder=$!
echo "BEGIN; SELECT 'reading', count(*) FROM t;" >&8
wait_for lock.out reading
cat > job.rpt <<'RPT'
.DEFINE INS
INSERT INTO t VALUES (1, NULL)
..
.INS
.COMMIT
RPT
"$binary" job.rpt out.txt scott/tiger@test.db 1 < /dev/null > std.txt 2> err.txt
expect "exit status" 1 $?
printf "COMMIT;\n.quit\n" >&8
wait $holder
exec 8>&-
rm -f lock.out
expect "messages" $'Kelvordantix: SQLITE Error Number 5\ndatabase is locked\nCOMMIT\njob.rpt:5: the server refused the COMMIT\nKelvordantix: job.rpt Job Aborted ...' \
  "$(tail -n 5 err.txt)"
expect "rows" 0 "$(count "")"
report_kept

# Another process writes (a reserved lock): the job's INSERT waits out the
# busy timeout and fails as a server error.
current=write_locked
fresh
printf '.DEFINE INS\nINSERT INTO t VALUES (1, NULL)\n..\n.INS\n' > job.rpt
mkfifo lock
exec 8<>lock
sqlite3 test.db < lock > lock.out 2>&1 &
holder=$!
echo "BEGIN IMMEDIATE; SELECT 'writing';" >&8
wait_for lock.out writing
"$binary" job.rpt out.txt scott/tiger@test.db 1 < /dev/null > std.txt 2> err.txt
expect "exit status" 1 $?
printf "ROLLBACK;\n.quit\n" >&8
wait $holder
exec 8>&-
rm -f lock.out
expect "messages" $'Kelvordantix: SQLITE Error Number 5\ndatabase is locked\nINSERT INTO t VALUES (1, NULL) \njob.rpt:2: in macro INS: the server refused this statement\nKelvordantix: job.rpt Job Aborted ...' \
  "$(tail -n 5 err.txt)"
report_kept

# The pages at the end of the file are overwritten: the report starts and
# fails half way, as a server error of its query.
current=corrupt_mid_report
fresh
sqlite3 test.db "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000)
                 INSERT INTO t SELECT x, printf('%0100d', x) FROM c;"
size=$(stat -c %s test.db)
dd if=/dev/urandom of=test.db bs=1024 seek=$((size / 1024 - 20)) count=16 conv=notrunc status=none
cat > job.rpt <<'RPT'
.DECLARE N 99999
.DEFINE SEL
SELECT n FROM t
INTO N
..
.DEFINE BODY
.PRINT N
..
.REPORT SEL BODY
RPT
"$binary" job.rpt out.txt scott/tiger@test.db 1 < /dev/null > std.txt 2> err.txt
expect "exit status" 1 $?
grep -q "^Kelvordantix: SQLITE Error Number 11" err.txt || fail "no corruption error: $(cat err.txt)"
report_kept

# The trace cannot be written: the job fails and its work is rolled back.
for target in full closed; do
  current=trace_$target
  fresh
  printf '.DEFINE INS\nINSERT INTO t VALUES (1, NULL)\n..\n.INS\nline .N\n' > job.rpt
  if [ $target = full ]; then
    "$binary" job.rpt out.txt scott/tiger@test.db 2 < /dev/null > /dev/full 2> err.txt
    status=$?
    reason="No space left on device"
  else
    "$binary" job.rpt out.txt scott/tiger@test.db 2 < /dev/null >&- 2> err.txt
    status=$?
    reason="Bad file descriptor"
  fi
  expect "exit status" 1 $status
  touch std.txt
  expect "messages" "Trace Write Fail: standard output: $reason" "$(sed -n 2p err.txt)"
  expect "rows" 0 "$(count "")"
  report_kept
done

[ $failures -eq 0 ] || exit 1
