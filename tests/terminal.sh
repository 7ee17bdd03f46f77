#!/usr/bin/env bash
# The job on a terminal, through a pseudo-terminal made by script(1): the
# progress line, --quiet, and .ASK reading the terminal when the script
# comes from standard input (and, without a terminal, finding no answer).
#   terminal.sh BINARY WORKDIR
# Exit status: 0 passed, 1 failed, 77 script(1) is missing.
set -u
binary=$(realpath "$1")
work=$2
command -v script > /dev/null || { echo "SKIPPED: script(1) is missing"; exit 77; }
rm -rf "$work"; mkdir -p "$work"; cd "$work" || exit 1
sqlite3 t.db "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);
              INSERT INTO dual VALUES('X', '2026-12-08 10:30:00');
              CREATE TABLE t(n INTEGER); INSERT INTO t VALUES (1), (2), (3);" || exit 1
cat > ask.rpt <<'RPT'
.DECLARE N 9
.DECLARE A 9
.ASK "answer?" A
.DEFINE S
SELECT n + &A FROM t
INTO N
..
.DEFINE B
.PRINT N
..
.REPORT S B
RPT
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# Run a command line on a pseudo-terminal; once the job has asked, wait
# until it has run for over a second, then answer 5. The screen (without
# carriage returns) in screen.txt, the exit status in STATUS.
on_terminal() {  # command-line
  rm -f keys screen.raw; mkfifo keys
  exec 8<>keys
  timeout 60 script -qec "$1" /dev/null < keys > screen.raw 2>&1 &
  local pid=$! i
  for i in $(seq 1 300); do grep -q 'answer?' screen.raw 2>/dev/null && break; sleep 0.1; done
  sleep 1.1
  echo 5 >&8
  wait "$pid"; STATUS=$?
  exec 8>&-
  tr -d '\r' < screen.raw > screen.txt
}

# The line shows after a second, then is erased before the final messages.
on_terminal "'$binary' ask.rpt out.txt @t.db 1"
[ "$STATUS" = 0 ] || fail "progress: exit status $STATUS"
grep -q $'\e\\[KKelvordantix: 1 rows, 0 pages, 0:01' screen.txt || fail "progress: no status line"
grep -q $'\e\\[KNo. of Pages = 0$' screen.txt || fail "progress: the line was not erased"
[ "$(cat out.txt)" = $'6\n7\n8' ] || fail "progress: report differs"
[ $failed = 0 ] || cat -v screen.txt

# --quiet: no progress and no start or end lines.
on_terminal "'$binary' --quiet ask.rpt out.txt @t.db 1"
[ "$STATUS" = 0 ] || fail "quiet: exit status $STATUS"
if grep -q $'\e\\|Kelvordantix' screen.txt; then fail "quiet: more than the question"; cat -v screen.txt; fi

# The script from standard input: .ASK reads the terminal.
on_terminal "'$binary' - out.txt @t.db 1 < ask.rpt"
[ "$STATUS" = 0 ] || fail "stdin: exit status $STATUS"
[ "$(cat out.txt)" = $'6\n7\n8' ] || fail "stdin: report differs"

# Without a terminal the question finds the end of its input at once.
setsid -w "$binary" - out.txt @t.db 1 < ask.rpt > stdout.txt 2> stderr.txt
STATUS=$?
printf '%s\n' "Kelvordantix: - Job Started ..." "answer?" "Illegal Number" '.ASK "answer?' \
       "-:3: no answer: the end of the input" "Kelvordantix: - Job Aborted ..." |
  diff -u - stderr.txt || fail "no terminal: messages differ"
[ "$STATUS" = 1 ] || fail "no terminal: exit status $STATUS"
exit $failed
