#!/usr/bin/env bash
# PDF and HTML jobs that are stopped, or end on their own, while their pages
# are rendered: a thread renders the pages while the job runs, and at the
# end the whole document is rendered again when the last line is wider than
# the first pages'. A stopped job must end with exactly one "Job Stopped"
# and one "Job Aborted" line, exit 1, keep the previous report and leave no
# temporary; a job left alone must end "Job Over" with a complete document.
# The window of the ending is short, so each kind of stop is tried a number
# of times (ROUNDS, default 4), on ROWS rows (default 300,000).
#   stops.sh BINARY
set -u
binary=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
rounds=${ROUNDS:-4}
rows=${ROWS:-300000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
failures=0
trials=0
stopped=0

fail() { echo "FAIL $current: $*"; failures=$((failures + 1)); }

# In wide.db the last row is wider than all before it.
for db in wide narrow; do
  sqlite3 $db.db "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);
    INSERT INTO dual VALUES('X', '2026-12-08 10:30:00');
    CREATE TABLE emp (empno INTEGER, ename VARCHAR2(60));
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
    INSERT INTO emp SELECT i, CASE WHEN i = $rows AND '$db' = 'wide'
      THEN 'the last line, wider than every line before it' ELSE 'NAME' || (i % 9973) END FROM n;"
done
cp "$here/listing.rpt" job.rpt
# The wide PDF is rendered again at its end, and a stop then must come in
# time: its job has four times the rows, for a window of some tenths of a
# second however fast the pages are rendered.
cp wide.db wider.db
sqlite3 wider.db "INSERT INTO emp SELECT empno + $rows, ename FROM emp; INSERT INTO emp SELECT empno + 2 * $rows, ename FROM emp;"

echo "the report of the run before" > before.txt
# Start a job into out.EXT over the previous report; its pid in $job.
start() {  # db ext [option]
  cp before.txt "out.$2"
  "$binary" ${3:+"$3"} job.rpt "out.$2" "u/p@$1.db" 2> err.txt &
  job=$!
}

# Wait until the job has started (it then takes the stop signals).
wait_started() {
  for _ in $(seq 1 4000); do
    grep -q "Job Started" err.txt && return
    sleep 0.005
  done
}

# The report being made: a hidden temporary, or an unnamed file (O_TMPFILE)
# seen through one of the job's descriptors; empty while there is none.
report_path() {  # ext
  local fd
  for fd in .out."$1".*; do [ -e "$fd" ] && { echo "$fd"; return; }; done
  for fd in /proc/"$job"/fd/*; do
    [[ $(readlink "$fd" 2>/dev/null) == "$PWD/#"*" (deleted)" ]] && { echo "$fd"; return; }
  done
}

# Wait until the job writes its document (the report being made has bytes);
# once found, the report is polled with the shell's own test, as the window
# of a fast job is short.
wait_rendering() {  # ext
  local path=
  for _ in $(seq 1 4000); do
    [ -n "$path" ] || path=$(report_path "$1")
    [ -n "$path" ] && [ -s "$path" ] && return
    kill -0 "$job" 2>/dev/null || return
    [ -n "$path" ] || sleep 0.005
  done
}

# The job has ended as a stopped job ends, or, unless the stop surely came
# in time (must), as a finished one; reason is the "Job Stopped" cause, or
# none for a job that was not stopped.
check_end() {  # ext reason [must]
  wait "$job"
  status=$?
  trials=$((trials + 1))
  left=$(ls -A | grep -c '^\.out\.')
  if [ "$left" -ne 0 ]; then
    fail "temporary report left ($(ls -A | grep '^\.out\.' | tr '\n' ' '))"
    rm -f .out.*
  fi
  if [ "$2" == none ] || { [ $status -eq 0 ] && [ -z "${3:-}" ] && ! grep -q "Job Stopped" err.txt; }; then
    [ $status -eq 0 ] && grep -q "Job Over" err.txt || fail "exit status $status: $(tail -n 2 err.txt | tr '\n' '|')"
    return
  fi
  [ $status -eq 1 ] || fail "exit status $status: $(tail -n 2 err.txt | tr '\n' '|')"
  expected="Job Stopped: $2"$'\n'"Kelvordantix: job.rpt Job Aborted ..."
  [ "$(grep -c "^Job Stopped" err.txt)" -eq 1 ] || fail "Job Stopped printed $(grep -c "^Job Stopped" err.txt) times"
  [ "$(grep -c "Job Aborted" err.txt)" -eq 1 ] || fail "Job Aborted printed $(grep -c "Job Aborted" err.txt) times"
  [ "$(tail -n 2 err.txt)" == "$expected" ] || fail "last lines: $(tail -n 2 err.txt | tr '\n' '|')"
  cmp -s before.txt "out.$1" || fail "previous report not kept"
  stopped=$((stopped + 1))
}

# Left alone, every job ends well (the ending once crashed on its own).
for db in wide narrow; do
  for ext in pdf html; do
    current=plain_${db}_$ext
    start $db $ext
    check_end $ext "none"
    [ $status -eq 0 ] || continue
    if [ $ext == pdf ] && command -v pdfinfo > /dev/null; then
      pages=$(pdfinfo out.pdf 2> /dev/null | awk '/^Pages:/ { print $2 }')
      [ "$pages" == $(((rows + 63) / 64)) ] || fail "$pages pages instead of $(((rows + 63) / 64))"
    fi
    [ $ext == html ] && { tail -n 1 out.html | grep -q '</html>' || fail "HTML incomplete"; }
  done
done

# SIGTERM once the document is being written, and at random points of the
# job: every stop must be honoured cleanly. When a PDF has just begun to be
# rendered again (the wide report) the stop must come in time; an HTML
# document, and the narrow report, reach the report file only in the short
# copy of the rendered document at the end, which a stop may miss.
for ((r = 0; r < rounds; r++)); do
  for db in wide narrow; do
    for ext in pdf html; do
      current=sigterm_rendering_${db}_${ext}_$r
      start "$([ $db == wide ] && [ $ext == pdf ] && echo wider || echo $db)" $ext
      wait_rendering $ext
      kill -TERM "$job" 2> /dev/null
      check_end $ext "signal SIGTERM" "$([ $db == wide ] && [ $ext == pdf ] && echo must)"
      current=sigterm_any_${db}_${ext}_$r
      start $db $ext
      wait_started
      sleep "0.$((RANDOM % 5))"  # within the job: a PDF of these rows takes well under a second
      kill -TERM "$job" 2> /dev/null
      check_end $ext "signal SIGTERM"
    done
  done
done
[ $stopped -ge $((rounds * 4)) ] || fail "only $stopped of $((rounds * 8)) stops came before the end"

# --timeout in a job that renders for longer than the limit.
current=timeout_pdf
sqlite3 wide.db "INSERT INTO emp SELECT empno + $rows, ename FROM emp; INSERT INTO emp SELECT empno + 2 * $rows, ename FROM emp;"
start wide pdf --timeout=1
check_end pdf "--timeout=1 reached" must

echo "$trials jobs, $stopped stopped, $failures failures"
[ $failures -eq 0 ]
