# The golden-case runner for an ODBC back end, to be sourced after setting:
#   binary, root (work root), pattern, here (tests/pg), shared (the shared
#   database cases), overrides (a folder whose files replace shared ones),
#   optionally overrides_first (a folder whose files replace both) and
#   skip_list_extra (a second skip list), CONN (the connect string for
#   {conn}), skip_list, and the hooks
#   backend_new_case WORK, backend_setup WORK SQLFILE, backend_check SQLFILE
#   (prints the check's result as "a|b" lines, like the sqlite3 shell) and
#   backend_translate SQLFILE (shared setup SQL for this database).
# Then run_cases runs every case; summary prints the counts and gives the
# exit status.

passed=0 failures=() skipped=0

# The file for a case's extension: the back end's own one first.
pick() {  # name ext
  if [ -n "${overrides_first:-}" ] && [ -f "$overrides_first/$1.$2" ]; then echo "$overrides_first/$1.$2"
  elif [ -f "$overrides/$1.$2" ]; then echo "$overrides/$1.$2"
  elif [ -f "$shared/$1.$2" ]; then echo "$shared/$1.$2"
  fi
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

# One case: the same steps as tests/run_case.sh, on the back end.
run_case() {  # name input work
  local name=$1 input=$2 work=$3 args stdin status expect sql check
  rm -rf "$work"; mkdir -p "$work"
  cp "$input" "$work/$name.rpt"
  failed=0
  backend_new_case "$work" || { echo "could not create the case database"; failed=1; return; }
  if [ -n "$(pick "$name" sql)" ] && [ "$(pick "$name" sql)" != "$shared/$name.sql" ]; then
    sql=$(pick "$name" sql)
  elif [ -f "$shared/$name.sql" ]; then
    backend_translate "$shared/$name.sql" > "$work/setup.sql"; sql=$work/setup.sql
  else
    sql=
  fi
  if [ -n "$sql" ] && ! backend_setup "$work" "$sql" > "$work/setup.log" 2>&1; then
    echo "setup SQL failed:"; cat "$work/setup.log"; failed=1; return
  fi

  args="{in} {out} {conn} 1"
  [ -n "$(pick "$name" args)" ] && args=$(head -n 1 "$(pick "$name" args)")
  args=${args//\{in\}/$name.rpt}
  args=${args//\{out\}/out.txt}
  args=${args//\{conn\}/$CONN}
  stdin=$(pick "$name" stdin); stdin=${stdin:-/dev/null}
  [ -n "$(pick "$name" before)" ] && cp "$(pick "$name" before)" "$work/out.txt"
  # shellcheck disable=SC2086
  (cd "${work:?}" && timeout 60 "$binary" $args < "$stdin" > stdout.txt 2> stderr.txt)
  status=$?

  expect=0
  [ -n "$(pick "$name" status)" ] && expect=$(tr -d ' \n' < "$(pick "$name" status)")
  if [ "$status" != "$expect" ]; then echo "exit status $status, expected $expect"; failed=1; fi
  # The report of a job that is to fail is none: a shared expected report
  # is not this back end's when its override says the server refuses.
  [ "$expect" = 0 ] && compare "$(pick "$name" out)" "$work/out.txt" "output file"
  # A failed job writes no report: the earlier one stays, or there is none.
  if [ "$status" != 0 ]; then
    if [ -n "$(pick "$name" before)" ]; then
      compare "$(pick "$name" before)" "$work/out.txt" "earlier report"
    elif [ -e "$work/out.txt" ]; then
      echo "output file written by a failed job"; failed=1
    fi
  fi
  if ls -A "$work" | grep -q '^\.out\.txt\.'; then echo "temporary report left behind"; failed=1; fi
  # Nor is the shared standard error: the server's message is its own.
  local err; err=$(pick "$name" err)
  if [ "$expect" != 0 ] && [ "$err" = "$shared/$name.err" ] && [ "$(pick "$name" status)" != "$shared/$name.status" ]; then err=; fi
  compare "$err" "$work/stderr.txt" "standard error"
  compare "$(pick "$name" stdout)" "$work/stdout.txt" "standard output"
  check=$(pick "$name" check)
  if [ -n "$check" ]; then
    (cd "${work:?}" && backend_check "$check") > "$work/checked.txt" 2>&1
    compare "$(pick "$name" checked)" "$work/checked.txt" "database content"
  fi
  if [ $failed -ne 0 ]; then echo "--- standard error was:"; head -c 3000 "$work/stderr.txt"; fi
}

record() {  # label
  if [ $failed -eq 0 ]; then passed=$((passed + 1)); else failures+=("$1"); fi
}

# Every shared case and every case of the overrides folder with its own
# script, unless the skip list names it (first word of a line).
run_cases() {  # work-subfolder
  local names name
  names=$(for input in "$shared"/*.rpt "$overrides"/*.rpt ${overrides_first:+"$overrides_first"/*.rpt}; do
            [ -f "$input" ] && basename "$input" .rpt
          done | sort -u)
  for name in $names; do
    # shellcheck disable=SC2053
    [[ $name == $pattern ]] || continue
    if grep -q "^$name[[:space:]]" "$skip_list" ${skip_list_extra:+"$skip_list_extra"} 2>/dev/null; then
      skipped=$((skipped + 1)); continue
    fi
    echo "=== case $name"
    run_case "$name" "$(pick "$name" rpt)" "$root/$1/$name"
    record "case $name"
  done
}

summary() {  # label
  echo
  [ ${#failures[@]} -eq 0 ] || printf 'FAILED: %s\n' "${failures[@]}"
  echo "$1: ${passed} passed, ${#failures[@]} failed, ${skipped} skipped"
  [ ${#failures[@]} -eq 0 ]
}
