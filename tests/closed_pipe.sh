#!/usr/bin/env bash
# A report written into a pipe whose reader goes away fails the job with a
# message naming the file, instead of the process dying silently.
set -u
binary=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for i in $(seq 1 3000); do echo "line $i of a report longer than the pipe will take .NC"; done > report.rpf
mkfifo pipe
head -c 10 pipe > /dev/null &
"$binary" report.rpf pipe > /dev/null 2> stderr.txt
status=$?
wait
expected=$'Kelvordantix: report.rpf Job Started ...\nOutput File Write Fail: pipe: Broken pipe\nKelvordantix: report.rpf Job Aborted ...'
if [ "$status" -ne 1 ] || [ "$(cat stderr.txt)" != "$expected" ]; then
  echo "exit status $status, standard error:"; cat stderr.txt
  exit 1
fi
