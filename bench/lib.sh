# What the benchmark scripts share: rows of commands run and timed in one
# interleaved session. A script fills the arrays names and commands (each
# command writes out/NAME.txt in the work folder), sets count, then calls
# run_row for every round; walls, cpus (milliseconds) and rsss (KiB) collect
# one value a round, separated by blanks.

# Runs row i once; appends its wall and CPU seconds and peak RSS (KiB).
run_row() {
  local i=$1 t0 t1 user sys rss
  rm -f "out/${names[$i]}.txt"
  t0=$(date +%s%N)
  if ! /usr/bin/time -f '%U %S %M' -o time.txt bash -c "${commands[$i]}" 2> "out/${names[$i]}.err"; then
    echo "row ${names[$i]} failed: ${commands[$i]}" >&2
    cat "out/${names[$i]}.err" >&2
    exit 1
  fi
  t1=$(date +%s%N)
  read -r user sys rss < <(tail -n 1 time.txt)
  walls[$i]+="$(( (t1 - t0) / 1000000 )) "
  cpus[$i]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { print (u + s) * 1000 }') "
  rsss[$i]+="$rss "
}

# Median of a list of numbers.
median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

