# shellcheck shell=bash disable=SC2154
# Helpers of the cluster tests, to be sourced with $binary set.

cluster_expect() {  # what expected actual
  if [ "$2" != "$3" ]; then
    echo "$1: expected '$2', got '$3'"
    return 1
  fi
}

# Run WORK/job.rpt unformatted (RptOnly) on the connect string given, in
# a clean libpq environment, and check its exit status.
cluster_run() {  # work expected-status conn
  local status
  (cd "$1" && exec env -u PGHOST -u PGPORT -u PGUSER -u PGPASSWORD -u PGDATABASE -u PGSERVICE \
      -u PGTARGETSESSIONATTRS HOME="$1" timeout 60 "$binary" job.rpt out.txt "$3" 1 \
      < /dev/null > stdout.txt 2> stderr.txt)
  status=$?
  cluster_expect "exit status" "$2" "$status" || { cat "$1/stderr.txt"; return 1; }
}

# Run the named tests in order, each in a fresh folder under ROOT; print
# the result of each and the counts, and give the exit status.
cluster_run_tests() {  # root name...
  local root=$1 name failed=() start
  shift
  rm -rf "$root"
  for name in "$@"; do
    mkdir -p "$root/$name"
    start=$SECONDS
    if "$name" "$root/$name"; then
      echo "PASS $name ($((SECONDS - start)) s)"
    else
      echo "FAIL $name ($((SECONDS - start)) s)"
      failed+=("$name")
    fi
  done
  echo "$(($# - ${#failed[@]})) passed, ${#failed[@]} failed${failed:+: ${failed[*]}}"
  [ ${#failed[@]} -eq 0 ]
}
