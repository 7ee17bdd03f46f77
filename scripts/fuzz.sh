#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan and UBSan) and runs
# each for SECONDS, seeded from the golden cases, with its dictionary.
#   scripts/fuzz.sh [SECONDS] [TARGET...]      (default: 20 seconds, all)
# New inputs collect in build-fuzz/corpus/TARGET/, crashes in
# build-fuzz/findings/TARGET/. Without clang++ it says so and succeeds.
set -eu
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(job rpf cmdline)
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
if ! command -v clang++ > /dev/null; then
  echo "fuzz: clang++ is not installed, fuzzing skipped"
  exit 0
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORDANTIX_FUZZ=ON > /dev/null
cmake --build "$build" -j"${JOBS:-2}" > /dev/null

# Seeds: every golden case as the input its target reads; a formatted job
# also as a PDF, as an HTML report stopped at its 41st stop check, and as a
# text file stopped at its 6th.
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds/job" "$seeds/rpf" "$seeds/cmdline"
for input in "$root"/tests/cases/*/*.rpt; do
  stem=${input%.rpt}
  name=$(basename "$(dirname "$stem")")_$(basename "$stem")
  flags=1
  if [ -f "$stem.args" ]; then
    read -r -a words < "$stem.args"
    flags=${words[3]:-0}
    [[ $flags =~ ^[0-9]+$ ]] || flags=0
  fi
  job_seed() {  # first-byte [stop-bytes]
    printf "\\$(printf %03o "$1")${2:-}"
    cat "$input"
    if [ -f "$stem.stdin" ]; then printf '\0'; cat "$stem.stdin"; fi
  }
  job_seed $((flags & 31)) > "$seeds/job/$name"
  if [ $((flags & 31)) -ne 1 ]; then
    job_seed $((flags & 31 | 32)) > "$seeds/job/${name}_pdf"
    job_seed $((flags & 31 | 64 | 128)) '\050\000' > "$seeds/job/${name}_html_stop"
    job_seed $((flags & 31 | 96 | 128)) '\005\000' > "$seeds/job/${name}_text_stop"
  fi
done
for input in "$root"/tests/cases/*/*.rpf; do
  { printf '\0'; cat "$input"; } > "$seeds/rpf/$(basename "${input%.rpf}")"
done
for args in "$root"/tests/cases/*/*.args; do
  line=$(head -n 1 "$args")
  line=${line//\{in\}/job.rpt}
  line=${line//\{out\}/out.txt}
  line=${line//\{conn\}/scott/tiger@fuzz.db}
  read -r -a words <<< "$line"
  (IFS=$'\x01'; printf '%s' "${words[*]}") | tr '\001' '\000' > "$seeds/cmdline/$(basename "${args%.args}")"
done

# A fixed seed keeps the short runs of the test suite repeatable; set
# FUZZ_SEED=0 for a seed from the clock.
seed=${FUZZ_SEED:-1}
# fontconfig's own leak when it reads its configuration (PDF jobs).
export LSAN_OPTIONS="suppressions=$root/tests/output/lsan.supp:print_suppressions=0"
status=0
passed=0
failed=0
for target in "${targets[@]}"; do
  mkdir -p "$build/corpus/$target" "$build/findings/$target"
  echo "fuzz: $target for $seconds s"
  if ! "$build/${target}_fuzzer" -max_total_time="$seconds" -seed="$seed" -timeout=20 -rss_limit_mb=2048 \
      -dict="$root/fuzz/$target.dict" -close_fd_mask=1 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$target/" "$build/corpus/$target" "$seeds/$target" \
      > "$build/$target.log" 2>&1; then
    echo "fuzz: $target found a failure (see $build/$target.log and $build/findings/$target/)"
    tail -n 40 "$build/$target.log"
    status=1
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$build/$target.log" | sed "s/^/fuzz: $target /"
done
echo "fuzz: $passed passed, $failed failed"
exit $status
