#!/usr/bin/env bash
# Runs the database golden cases and the server fault tests against a
# throwaway PostgreSQL server reached through psqlODBC.
#   run_pg_cases.sh BINARY WORKROOT [NAME-PATTERN]
# Every case of tests/cases/database/ runs unless tests/pg/skip.list names
# it (with the reason), with {conn} = scott/tiger@odbc:KXPG on a fresh copy
# of a database that has the dual view. A file of tests/pg/cases/ with the
# case's stem takes the place of the shared one (setup SQL, expected output,
# error, status, check); shared setup SQL is otherwise translated to
# PostgreSQL's type names. The PostgreSQL-only cases of tests/pg/cases/
# (their own NAME.rpt) and tests/pg/faults.sh run as well.
# Exit status: 0 all passed, 1 a failure, 77 PostgreSQL is not installed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
root=$2
pattern=${3:-*}
shared=$(cd "$here/../cases/database" && pwd)

source "$here/pg_server.sh"
if ! pg_find; then
  echo "SKIPPED: PostgreSQL or psqlODBC is missing (scripts/install-deps.sh installs them)"
  exit 77
fi

tmp=$(mktemp -d /tmp/kelvordantix_pg.XXXXXX)
trap 'pg_stop; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
pg_start "$tmp" || { echo "could not start PostgreSQL"; exit 1; }
CONN="scott/tiger@odbc:$PG_DSN"

# The file for a case's extension: the PostgreSQL one first.
pick() {  # name ext
  if [ -f "$here/cases/$1.$2" ]; then echo "$here/cases/$1.$2"
  elif [ -f "$shared/$1.$2" ]; then echo "$shared/$1.$2"
  fi
}

# SQLite-flavoured setup SQL in PostgreSQL's type names.
translate_sql() {
  sed -E -e 's/\bVARCHAR2\b/VARCHAR/gI' -e 's/\bNUMBER\b/NUMERIC/gI' \
         -e 's/\bDATETIME\b/TIMESTAMP/gI' -e 's/\bBLOB\b/BYTEA/gI' "$1"
}

compare() {  # expected-file actual-file label
  if [ -n "$1" ]; then
    if [ ! -f "$2" ]; then
      echo "$3: no file written"; failed=1
    elif ! cmp -s "$1" "$2"; then
      echo "$3 differs:"; diff -u --text "$1" "$2" | head -n 60; failed=1
    fi
  fi
}

# One case: the same steps as run_case.sh, on the server.
run_case() {  # name input
  local name=$1 input=$2 work="$root/pg/$1" args stdin status expect sql check
  rm -rf "$work"; mkdir -p "$work"
  cp "$input" "$work/$name.rpt"
  failed=0
  pg_new_case || { echo "could not create the case database"; failed=1; return; }
  if [ -f "$here/cases/$name.sql" ]; then
    sql=$here/cases/$name.sql
  elif [ -f "$shared/$name.sql" ]; then
    translate_sql "$shared/$name.sql" > "$work/setup.sql"; sql=$work/setup.sql
  else
    sql=
  fi
  if [ -n "$sql" ] && ! pg_psql -f "$sql" > "$work/setup.log" 2>&1; then
    echo "setup SQL failed:"; cat "$work/setup.log"; failed=1; return
  fi

  args="{in} {out} {conn} 1"
  [ -n "$(pick "$name" args)" ] && args=$(head -n 1 "$(pick "$name" args)")
  args=${args//\{in\}/$name.rpt}
  args=${args//\{out\}/out.txt}
  args=${args//\{conn\}/$CONN}
  stdin=$(pick "$name" stdin); stdin=${stdin:-/dev/null}
  # shellcheck disable=SC2086
  (cd "$work" && timeout 60 "$binary" $args < "$stdin" > stdout.txt 2> stderr.txt)
  status=$?

  expect=0
  [ -n "$(pick "$name" status)" ] && expect=$(tr -d ' \n' < "$(pick "$name" status)")
  if [ "$status" != "$expect" ]; then echo "exit status $status, expected $expect"; failed=1; fi
  compare "$(pick "$name" out)" "$work/out.txt" "output file"
  compare "$(pick "$name" err)" "$work/stderr.txt" "standard error"
  compare "$(pick "$name" stdout)" "$work/stdout.txt" "standard output"
  check=$(pick "$name" check)
  if [ -n "$check" ]; then
    pg_psql -At -F '|' -f "$check" > "$work/checked.txt" 2>&1
    compare "$(pick "$name" checked)" "$work/checked.txt" "database content"
  fi
  if [ $failed -ne 0 ]; then echo "--- standard error was:"; head -c 3000 "$work/stderr.txt"; fi
}

passed=0 failures=() skipped=0
record() {  # label
  if [ $failed -eq 0 ]; then passed=$((passed + 1)); else failures+=("$1"); fi
}

mkdir -p "$root/pg"
names=$(for input in "$shared"/*.rpt "$here"/cases/*.rpt; do
           [ -f "$input" ] && basename "$input" .rpt
         done | sort -u)
for name in $names; do
  input=$(pick "$name" rpt)
  # shellcheck disable=SC2053
  [[ $name == $pattern ]] || continue
  if grep -q "^$name[[:space:]]" "$here/skip.list" 2>/dev/null; then
    skipped=$((skipped + 1)); continue
  fi
  echo "=== case $name"
  run_case "$name" "$input"
  record "case $name"
done

source "$here/faults.sh"
for fault in "${PG_FAULTS[@]}"; do
  # shellcheck disable=SC2053
  [[ $fault == $pattern ]] || continue
  echo "=== fault $fault"
  failed=0
  rm -rf "$root/pg/$fault"; mkdir -p "$root/pg/$fault"
  pg_new_case && "fault_$fault" "$root/pg/$fault" || failed=1
  record "fault $fault"
done

echo
[ ${#failures[@]} -eq 0 ] || printf 'FAILED: %s\n' "${failures[@]}"
echo "PostgreSQL: ${passed} passed, ${#failures[@]} failed, ${skipped} skipped"
[ ${#failures[@]} -eq 0 ]
