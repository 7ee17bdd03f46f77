#!/usr/bin/env bash
# The report file's edges: a file-size limit, report names of the longest
# length, a file system without free inodes, a directory that refuses new
# files, a kill that cannot be caught, planted symbolic links in a shared
# directory, a report the job may not write, and the owner and mode of a
# replaced report. A failed job exits 1 and leaves the previous report as
# it was, with no temporary file beside it. The cases that need a second
# user or a mount run as root only, and say when they are skipped.
#   report_file.sh BINARY
set -u
binary=$(realpath "$1")
work=$(mktemp -d)
mounted=""
cleanup() {
  exec 7>&- 2>/dev/null
  [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
cd "$work" || exit 2
failures=0

fail() { echo "FAIL $current: $*"; failures=$((failures + 1)); }
expect() {  # what expected actual
  [ "$2" == "$3" ] || fail "$1: expected '$2', got '$3'"
}
skip() { echo "SKIP $current: $*"; }
# A fresh directory d (mode 755) holding a database with dual and t, the
# old report in d/out.txt, a report of one page (good.rpf) and one that
# fails half way (bad.rpf).
fresh() {
  rm -rf d && mkdir d && chmod 755 d && cd d || exit 2
  sqlite3 test.db "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);
                   INSERT INTO dual VALUES('X', '2026-12-08 10:30:00');
                   CREATE TABLE t (n NUMBER);"
  echo "the report of the run before" > out.txt
  printf 'new report .N\n' > good.rpf
  printf 'half a report .N\n.T 5\n' > bad.rpf
  cd ..
}
hidden() { ls -A "$1" | grep '^\.' | tr '\n' ' '; }
kept() {  # file
  expect "previous report" "the report of the run before" "$(cat "$1")"
  expect "temporary files" "" "$(hidden "$(dirname "$1")")"
}
as_root() { [ "$(id -u)" -eq 0 ] || { skip "needs root"; return 1; }; }
as_nobody() { runuser -u nobody -- "$@"; }
# Wait (at most 30 s) until a file holds a line matching a pattern.
wait_for() {  # file pattern
  for _ in $(seq 1 300); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "timed out waiting for '$2' in $1"
  return 1
}

# A report larger than the file-size limit: the write fails and says so,
# the job's insert is rolled back, and the process is not killed.
current=file_size_limit
fresh
cat > d/job.rpt <<'RPT'
.DECLARE N 99999
.DEFINE INS
INSERT INTO t VALUES (1)
..
.DEFINE SEL
SELECT x FROM c
INTO N
..
.DEFINE BODY
.PRINT N
a line of the report that makes it larger than the limit, some sixty bytes long
..
.INS
.REPORT SEL BODY
RPT
sqlite3 d/test.db "CREATE TABLE c AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000) SELECT x FROM c;"
(cd d && ulimit -f 64 && exec "$binary" job.rpt out.txt scott/tiger@test.db 1 < /dev/null > std.txt 2> err.txt)
expect "exit status" 1 $?
expect "messages" $'Output File Write Fail: out.txt: File too large\nKelvordantix: job.rpt Job Aborted ...' "$(tail -n 2 d/err.txt)"
expect "rows" 0 "$(sqlite3 d/test.db 'SELECT count(*) FROM t')"
kept d/out.txt

# Report names of 250 to 255 bytes: the temporary name still fits, so a
# failing job keeps the old report and a good one replaces it.
for length in 250 253 255; do
  current=name_of_$length
  fresh
  name=$(printf 'r%.0s' $(seq 1 $((length - 4)))).txt
  cp d/out.txt "d/$name"
  (cd d && "$binary" bad.rpf "$name" > /dev/null 2> err.txt)
  expect "failing job's status" 1 $?
  kept "d/$name"
  (cd d && "$binary" good.rpf "$name" > /dev/null 2> err.txt)
  expect "good job's status" 0 $?
  expect "new report" "new report" "$(head -n 1 "d/$name")"
  expect "temporary files" "" "$(hidden d)"
done
# A name with multi-byte characters, cut at a character's start.
current=name_of_255_in_utf8
fresh
name=$(printf 'é%.0s' $(seq 1 125))r.txt
echo "the report of the run before" > "d/$name"
(cd d && "$binary" good.rpf "$name" > /dev/null 2> err.txt)
expect "good job's status" 0 $?
expect "new report" "new report" "$(head -n 1 "d/$name")"
expect "temporary files" "" "$(hidden d)"

# A kill that cannot be caught: where the file system has unnamed files
# the job leaves nothing; elsewhere (the README says so) it leaves its
# hidden temporary, and the old report in either case.
current=sigkill_mid_report
fresh
printf '.DECLARE GO A2\nwritten before the kill\n.ASK "Go?" GO\n' > d/job.rpt
mkfifo d/answers
exec 7<> d/answers
(cd d && exec "$binary" job.rpt out.txt scott/tiger@test.db 1 < answers > std.txt 2> err.txt) &
job=$!
wait_for d/err.txt "Go?"
expect "report while the job runs" "the report of the run before" "$(cat d/out.txt)"
named=$(hidden d)
# (the shell's notice of the killed job is not wanted)
exec 3>&2 2> /dev/null
kill -KILL $job
wait $job
exec 2>&3 3>&-
exec 7>&-
rm -f d/answers
unnamed=$(python3 -c 'import os, sys; os.close(os.open(sys.argv[1], os.O_TMPFILE | os.O_WRONLY))' d 2> /dev/null && echo yes)
if [ -z "$named" ] || [ "$unnamed" = yes ]; then
  kept d/out.txt
else
  echo "NOTE $current: no unnamed files here, the kill leaves $named"
  expect "previous report" "the report of the run before" "$(cat d/out.txt)"
fi

# A directory that refuses new files: the report is written in place,
# where the job may write the file.
current=directory_refuses_new_files
if as_root; then
  fresh
  chmod 555 d
  chmod 666 d/out.txt
  (cd d && as_nobody "$binary" good.rpf out.txt > /dev/null 2> err.txt)
  expect "status" 0 $?
  expect "new report" "new report" "$(head -n 1 d/out.txt)"
  expect "temporary files" "" "$(hidden d)"
  chmod 755 d
fi

# A file system without free inodes: no temporary file can be made, so the
# job fails before it writes, with the cause, and the old report stays.
current=no_free_inodes
if as_root; then
  fresh
  mkdir full
  if mount -t tmpfs -o size=1m,nr_inodes=16,mode=755 tmpfs full 2> /dev/null; then
    mounted=$work/full
    cp d/good.rpf d/out.txt full/
    for n in $(seq 1 20); do touch full/f$n 2> /dev/null || break; done
    (cd full && "$binary" good.rpf out.txt > /dev/null 2> ../err.txt)
    expect "status" 1 $?
    expect "messages" $'Output File Open Fail\nout.txt: No space left on device\nKelvordantix: good.rpf Job Aborted ...' \
      "$(tail -n 3 err.txt)"
    kept full/out.txt
    umount full && mounted=""
  else
    skip "tmpfs cannot be mounted"
  fi
fi

# Symbolic links in a shared directory (mode 1777, as /tmp): another user's
# link is not followed; the job's own link, or one of the directory's
# owner, is, and so is a dangling one, whose target is made.
current=links_in_a_shared_directory
if as_root; then
  fresh
  mkdir -m 700 d/private
  echo secret > d/private/secret
  mkdir -m 1777 d/shared
  as_nobody ln -s ../private/secret d/shared/daily.txt
  (cd d && "$binary" good.rpf shared/daily.txt > /dev/null 2> err.txt)
  expect "another user's link: status" 1 $?
  expect "another user's link: messages" \
    $'Output File Open Fail\nshared/daily.txt: Permission denied (another user\'s symbolic link in a sticky shared directory)' \
    "$(grep -A 1 '^Output File Open Fail$' d/err.txt)"
  expect "another user's link: target" secret "$(cat d/private/secret)"
  as_nobody ln -s ../private/made d/shared/dangling.txt
  (cd d && "$binary" good.rpf shared/dangling.txt > /dev/null 2> err.txt)
  expect "another user's dangling link: status" 1 $?
  [ -e d/private/made ] && fail "another user's dangling link was followed"
  ln -s ../private/secret d/shared/own.txt
  ln -s ../private/created d/shared/own_dangling.txt
  for link in own own_dangling; do
    (cd d && "$binary" good.rpf shared/$link.txt > /dev/null 2> err.txt)
    expect "$link link: status" 0 $?
    [ -L d/shared/$link.txt ] || fail "$link link replaced by a file"
  done
  expect "own link: target" "new report" "$(head -n 1 d/private/secret)"
  expect "own dangling link: target" "new report" "$(head -n 1 d/private/created)"
  chown nobody d/shared
  (cd d && "$binary" good.rpf shared/daily.txt > /dev/null 2> err.txt)
  expect "the directory owner's link: status" 0 $?
  expect "temporary files" "" "$(hidden d/shared)$(hidden d/private)"
fi

# A report the job may not write is refused as opening it would be, in a
# directory where the job could make new files.
current=report_not_writable
if as_root; then
  fresh
  chown nobody d
  chown nobody d/out.txt && chmod 444 d/out.txt
  (cd d && as_nobody "$binary" good.rpf out.txt > /dev/null 2> err.txt)
  expect "read-only: status" 1 $?
  expect "read-only: messages" $'Output File Open Fail\nout.txt: Permission denied' "$(grep -A 1 '^Output File Open Fail$' d/err.txt)"
  kept d/out.txt
  chown root d/out.txt && chmod 644 d/out.txt
  (cd d && as_nobody "$binary" good.rpf out.txt > /dev/null 2> err.txt)
  expect "another owner's: status" 1 $?
  kept d/out.txt
  expect "owner" root "$(stat -c %U d/out.txt)"
fi

# A replaced report keeps its owner, group and mode.
current=owner_and_mode_kept
if as_root; then
  fresh
  chown nobody:nogroup d/out.txt && chmod 640 d/out.txt
  (cd d && "$binary" good.rpf out.txt > /dev/null 2> err.txt)
  expect "status" 0 $?
  expect "new report" "new report" "$(head -n 1 d/out.txt)"
  expect "owner, group, mode" "nobody nogroup 640" "$(stat -c '%U %G %a' d/out.txt)"
fi

[ $failures -eq 0 ] || exit 1
