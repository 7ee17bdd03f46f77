#!/usr/bin/env bash
# The program built with ThreadSanitizer (in build-tsan, the program and its
# PDF module only), running the jobs that use threads: PDF and HTML reports
# rendered ahead by a second thread and again at the end, left alone,
# stopped by SIGTERM and by --timeout, and a text job stopped by a signal
# (the watchdog thread). Fails on any ThreadSanitizer report.
#   tests/tsan.sh           (TSAN_BUILD=DIR for another build directory)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TSAN_BUILD:-$root/build-tsan}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_MODULE_LINKER_FLAGS=-fsanitize=thread > /dev/null || exit 2
cmake --build "$build" -j"${JOBS:-2}" --target kelvordantix > /dev/null || exit 2
binary=$build/kelvordantix

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
mkdir reports
export TSAN_OPTIONS="log_path=$work/reports/tsan suppressions=$root/tests/tsan.supp second_deadlock_stack=1"
failures=0
fail() { echo "FAIL $current: $*"; failures=$((failures + 1)); }

# 20,000 rows (313 pages), some with characters the report font lacks; in
# wide.db the last row is wider than all before it.
for db in wide narrow; do
  sqlite3 $db.db "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);
    INSERT INTO dual VALUES('X', '2026-12-08 10:30:00');
    CREATE TABLE emp (empno INTEGER, ename VARCHAR2(60));
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000)
    INSERT INTO emp SELECT i, CASE WHEN i = 20000 AND '$db' = 'wide'
      THEN 'the last line, wider than every line before it'
      WHEN i % 500 = 0 THEN '日本語 ' || i ELSE 'NAME' || (i % 9973) END FROM n;"
done
cp "$root/tests/output/listing.rpt" job.rpt

# A job, stopped by SIGTERM after delay seconds unless delay is "none".
run() {  # db ext delay [option]
  current="$1 $2 ${4:-} stop=$3"
  "$binary" ${4:+"$4"} job.rpt "out.$2" "u/p@$1.db" 2> err.txt &
  local job=$!
  if [ "$3" != none ]; then
    for _ in $(seq 1 2000); do grep -q "Job Started" err.txt && break; sleep 0.01; done
    sleep "$3"
    kill -TERM $job 2> /dev/null
  fi
  wait $job
  local status=$?
  case $status in
    0) [ "$3" == none ] || [ -n "${4:-}" ] || grep -q "Job Over" err.txt || fail "exit 0 without Job Over" ;;
    1) grep -q "^Job Stopped" err.txt || fail "exit 1: $(tail -n 2 err.txt | tr '\n' '|')" ;;
    *) fail "exit status $status: $(tail -n 2 err.txt | tr '\n' '|')" ;;
  esac
  [ "$3" != none ] || [ -n "${4:-}" ] || [ $status -eq 0 ] || fail "a job left alone failed"
}

for db in narrow wide; do
  for ext in pdf html; do
    run $db $ext none
    for delay in 0.3 1 2.5; do run $db $ext $delay; done
  done
  run $db pdf none --timeout=1
done
run narrow txt 0.2

reports=$(ls reports)
if [ -n "$reports" ]; then
  current=tsan
  fail "ThreadSanitizer reports:"
  cat reports/*
fi
echo "tsan: $failures failures"
[ $failures -eq 0 ]
