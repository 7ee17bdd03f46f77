#!/usr/bin/env bash
# Oracle compatibility on MariaDB through ODBC (Connector/ODBC), on a
# throwaway server (tests/mariadb/server.sh):
#   oracle_odbc.sh BINARY WORKROOT
# Every oracle-cases/NAME.rpt runs on an empty kcase after NAME.sql (if
# any), as scott/tiger@odbc:KXMY with the arguments of NAME.args (default
# "{in} {out} {conn} 1"); its output file must be NAME.out.
# Exit status: 0 all passed, 1 a failure, 77 MariaDB or its ODBC driver is
# not installed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
root=$2
source "$here/server.sh"
if ! my_find; then
  echo "SKIPPED: MariaDB or Connector/ODBC is missing (scripts/install-deps.sh installs them)"
  exit 77
fi
tmp=$(mktemp -d /tmp/kelvordantix_my.XXXXXX)
trap 'my_stop; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
my_start "$tmp" || { echo "could not start MariaDB"; exit 1; }

passed=0 failures=()
for input in "$here"/oracle-cases/*.rpt; do
  name=$(basename "$input" .rpt)
  stem=${input%.rpt}
  work=$root/$name
  rm -rf "$work"; mkdir -p "$work"; cp "$input" "$work/"
  echo "=== case $name"
  failed=0
  my_new_case
  if [ -f "$stem.sql" ] && ! my_sql < "$stem.sql" > "$work/setup.log" 2>&1; then
    echo "setup SQL failed:"; cat "$work/setup.log"; failed=1
  fi
  args="{in} {out} {conn} 1"
  [ -f "$stem.args" ] && args=$(head -n 1 "$stem.args")
  args=${args//\{in\}/$name.rpt}
  args=${args//\{out\}/out.txt}
  args=${args//\{conn\}/scott/tiger@odbc:$MY_DSN}
  # shellcheck disable=SC2086
  (cd "$work" && timeout 60 "$binary" $args < /dev/null > stdout.txt 2> stderr.txt)
  status=$?
  [ "$status" = 0 ] || { echo "exit status $status"; failed=1; }
  if ! cmp -s "$stem.out" "$work/out.txt"; then
    echo "output file differs:"; diff -u --text "$stem.out" "$work/out.txt" | head -n 40; failed=1
  fi
  if [ $failed -ne 0 ]; then echo "--- standard error was:"; head -c 3000 "$work/stderr.txt"; failures+=("$name")
  else passed=$((passed + 1)); fi
done
echo
[ ${#failures[@]} -eq 0 ] || printf 'FAILED: %s\n' "${failures[@]}"
echo "MariaDB (ODBC, Oracle mode): $passed passed, ${#failures[@]} failed"
[ ${#failures[@]} -eq 0 ]
