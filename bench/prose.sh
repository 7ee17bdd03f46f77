#!/usr/bin/env bash
# Prose filled, justified and paged: the formatter alone (a file of RPF)
# beside `fmt | pr` on the same words, in one interleaved session. Prints
# median wall and CPU seconds, peak RSS and words per second, with the
# ratio of words per second to `fmt | pr`.
#
#   bench/prose.sh [BYTES] [BINARY]
#
# BYTES of prose (default 5000000), BINARY the program (default
# build/kelvordantix). RUNS=N rounds (default 5). Compare ratios from one
# run, never seconds from different runs.
set -u
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bytes=${1:-5000000}
kx=$(realpath "${2:-$root/build/kelvordantix}")
runs=${RUNS:-5}
case $bytes in '' | *[!0-9]* | 0) echo "prose.sh: BYTES must be a positive number" >&2; exit 2 ;; esac
[ -x "$kx" ] || { echo "prose.sh: no program at $kx (build it first)" >&2; exit 2; }
work=$(mktemp -d /tmp/kelvordantix_prose.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir out

# Paragraphs of 3 to 8 sentences of 4 to 20 words from a small vocabulary,
# drawn by a fixed linear congruential generator (the same text on every
# machine), lines broken before 72 columns.
awk -v bytes="$bytes" '
function draw(n) { state = (state * 16807) % 2147483647; return int(state / 2147483647 * n) }
function put(word) {
  if (length(line) + 1 + length(word) > 72) { print line; written += length(line) + 1; line = "" }
  line = line == "" ? word : line " " word
}
BEGIN {
  state = 4242
  n = split("the a report page line column table value record query total amount salary " \
            "employee department manager account balance period summary detail heading " \
            "title width printer ledger invoice customer order region office budget " \
            "however therefore usually generally important necessary available current " \
            "procedure operation information consider describe include provide prepare", words)
  while (written < bytes) {
    for (s = 3 + draw(6); s > 0; s--)
      for (w = 4 + draw(17); w > 0; w--) put(words[1 + draw(n)] (w == 1 ? "." : ""))
    if (line != "") { print line; written += length(line) + 1; line = "" }
    print ""; written++
  }
}' > prose.txt
{ printf '.TTL 65 PROSE .\n.SPN 0 63 0 1 .\n.DT 0 1 65 .\n.T 0\n.P\n'
  awk '/^$/ { print ".B"; print ".P"; next } { print }' prose.txt
  printf '.TE\n'; } > prose.rpf
words=$(wc -w < prose.txt)

names=(fmt-pr kx-rpfonly)
commands=("fmt -w 65 prose.txt | pr -l 66 -h PROSE > out/fmt-pr.txt"
          "'$kx' prose.rpf out/kx-rpfonly.txt")
count=${#names[@]}
declare -a walls cpus rsss
. "$here/lib.sh"

for ((i = 0; i < count; i++)); do run_row "$i"; done
for ((i = 0; i < count; i++)); do walls[$i]=""; cpus[$i]=""; rsss[$i]=""; done
for ((round = 0; round < runs; round++)); do
  for ((k = 0; k < count; k++)); do run_row $(((round + k) % count)); done
done

reference=$(median <<< "${walls[0]}")
echo "$words words, $runs rounds (medians), $(date -u +%Y-%m-%d)"
echo
echo "| row | wall s | CPU s | peak RSS MiB | words/s | ratio of words/s to fmt-pr |"
echo "|---|---:|---:|---:|---:|---:|"
for ((i = 0; i < count; i++)); do
  wall=$(median <<< "${walls[$i]}")
  cpu=$(median <<< "${cpus[$i]}")
  rss=$(tr ' ' '\n' <<< "${rsss[$i]}" | grep . | sort -n | tail -n 1)
  awk -v n="${names[$i]}" -v w="$wall" -v c="$cpu" -v r="$rss" -v f="$reference" -v words="$words" \
      'BEGIN { printf "| %s | %.3f | %.3f | %.1f | %.0f | %.2f |\n", n, w / 1000, c / 1000, r / 1024,
               words / (w / 1000), f / w }'
done
