#!/usr/bin/env bash
# Runs one golden case against the binary and compares what it produced.
#   run_case.sh BINARY CASE_INPUT WORKROOT
# CASE_INPUT is tests/cases/GROUP/NAME.rpt or .rpf; its sibling files with the
# same stem give the arguments, setup SQL, standard input and the expected
# output file, standard error, standard output, exit status and database
# content (see tests/README.md).
set -u
binary=$(realpath "$1")
# The case's own path, symbolic links kept: a case may link to an example.
input=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
root=$3
stem=${input%.*}
ext=${input##*.}
name=$(basename "$stem")
group=$(basename "$(dirname "$stem")")
work="$root/$group/$name"
rm -rf "$work"
mkdir -p "$work"
cp "$input" "$work/$name.$ext"
cd "$work" || exit 2

# Every case gets a database whose dual table fixes the date and time.
sqlite3 test.db "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);
                 INSERT INTO dual VALUES('X', '2026-12-08 10:30:00');" || exit 2
if [ -f "$stem.sql" ]; then
  sqlite3 -bail test.db < "$stem.sql" || { echo "setup SQL failed"; exit 2; }
fi

if [ -f "$stem.args" ]; then
  args=$(head -n 1 "$stem.args")
elif [ "$ext" = rpf ]; then
  args="{in} {out}"
else
  args="{in} {out} {conn} 1"
fi
args=${args//\{in\}/$name.$ext}
args=${args//\{out\}/out.txt}
args=${args//\{conn\}/scott/tiger@test.db}

stdin=/dev/null
[ -f "$stem.stdin" ] && stdin="$stem.stdin"
# The report of an earlier run, which a failing job must leave as it was.
[ -f "$stem.before" ] && cp "$stem.before" out.txt
# shellcheck disable=SC2086
timeout 60 "$binary" $args < "$stdin" > stdout.txt 2> stderr.txt
status=$?

failed=0
expect_status=0
[ -f "$stem.status" ] && expect_status=$(tr -d ' \n' < "$stem.status")
if [ "$status" != "$expect_status" ]; then
  echo "exit status $status, expected $expect_status"
  failed=1
fi
compare() {  # expected-file actual-file label
  if [ -f "$1" ]; then
    if [ ! -f "$2" ]; then
      echo "$3: no file written"; failed=1
    elif ! cmp -s "$1" "$2"; then
      echo "$3 differs:"; diff -u --text "$1" "$2" | head -n 60; failed=1
    fi
  fi
}
compare "$stem.out" out.txt "output file"
# A failed job writes no report: the earlier one stays, or there is none.
if [ "$status" != 0 ]; then
  if [ -f "$stem.before" ]; then
    compare "$stem.before" out.txt "earlier report"
  elif [ -e out.txt ]; then
    echo "output file written by a failed job"; failed=1
  fi
fi
if ls -A | grep -q '^\.out\.txt\.'; then
  echo "temporary report left behind:"; ls -A; failed=1
fi
compare "$stem.err" stderr.txt "standard error"
compare "$stem.stdout" stdout.txt "standard output"
if [ -f "$stem.check" ]; then
  sqlite3 test.db < "$stem.check" > checked.txt 2>&1
  compare "$stem.checked" checked.txt "database content"
fi
if [ $failed -ne 0 ]; then
  echo "--- standard error was:"; head -c 3000 stderr.txt
fi
exit $failed
