#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang (in build-fuzz) and runs
# each one for SECONDS (default 60), starting from its seed corpus in
# tests/fuzz/corpus/<harness>. What the fuzzers add to the corpus, their logs and
# any crashing input go into a scratch folder, never into the repository.
#
#   scripts/fuzz.sh [SECONDS] [HARNESS...]
#
#   FUZZ_RUNS=N     stop each harness after N executions, or after SECONDS if that
#                   comes first (SECONDS 0 or not given: no time limit);
#                   FUZZ_RUNS=10000000 is the campaign recorded in RELIABILITY.md
#   FUZZ_JOBS=2     run two harnesses at once (default one after another)
#   FUZZ_WORK=DIR   the scratch folder (default a new /tmp/quarvel-fuzz.XXXXXX); give
#                   the same folder again to go on from the corpus grown there
#
# Prints one line per harness: executions, seconds, executions per second and
# findings. Exits 1 when any harness found a crash, a sanitizer report, a broken
# invariant, a timeout or an out-of-memory; the input is kept in the scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -eq 0 ] && [ -n "${FUZZ_RUNS:-}" ] && seconds=0
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(render references conversion code_convert profile collection png request blanks)
jobs=${FUZZ_JOBS:-1}
work=${FUZZ_WORK:-$(mktemp -d /tmp/quarvel-fuzz.XXXXXX)}
mkdir -p "$work"

# Longest input per harness. Art reaches every limit of the renderer well within 2 KB
# (51 short lines, or one line past 1024 pixels), and longer art only makes bigger
# pictures; the code conversions check every position of their input, and 2 KB
# already spans four blocks of the kana index; settings files are read once per key,
# so long ones only slow the run down. Documents keep 4 KB for several stretches of
# long art.
max_len() {
  case $1 in
    render | code_convert | profile | request | blanks) echo 2048 ;;
    *) echo 4096 ;;
  esac
}

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
CC=clang CXX=clang++ cmake -G Ninja -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUARVEL_FUZZ=ON -DQUARVEL_CORE_ONLY=ON -DQUARVEL_BENCH=OFF -DBUILD_TESTING=OFF \
  -DQUARVEL_WERROR=$werror >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h"); done
cmake --build build-fuzz --target "${targets[@]}" -j "$(nproc 2>/dev/null || echo 2)"

run_one() {
  local h=$1 dir=$work/$1
  mkdir -p "$dir/corpus" "$dir/findings"
  local limit=(-max_total_time="$seconds")
  [ -n "${FUZZ_RUNS:-}" ] && limit+=(-runs="$FUZZ_RUNS")
  # The fuzzer's own timer and memory limit turn hangs and blow-ups into findings.
  UBSAN_OPTIONS=print_stacktrace=1 "build-fuzz/tests/fuzz/fuzz_$h" "${limit[@]}" \
    -max_len="$(max_len "$h")" -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/" "$dir/corpus" "tests/fuzz/corpus/$h" >"$dir/log" 2>&1
}

summary() {
  local h=$1 status=$2 dir=$work/$1
  local runs secs rate findings
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$dir/log" | tail -1)
  findings=$(find "$dir/findings" -type f | wc -l)
  printf '%-13s %12s runs %7s s %8s exec/s  findings: %s%s\n' "$h" "${runs:-?}" "${secs:-?}" \
    "${rate:-?}" "$findings" "$([ "$status" -ne 0 ] && echo "  (exit $status, see $dir/log)")"
}

# Reports one harness once it has ended.
finish() {
  local h=$1 status=$2
  summary "$h" "$status"
  if [ "$status" -ne 0 ] || [ -n "$(find "$work/$h/findings" -type f)" ]; then
    failed=1
    grep -m 3 -E 'ERROR|invariant broken|runtime error|SUMMARY' "$work/$h/log" >&2 || true
  fi
}

echo "fuzzing ${harnesses[*]} in $work" >&2
failed=0
declare -A harness_of=()
for h in "${harnesses[@]}" ""; do
  # Up to FUZZ_JOBS at once; the next one starts as soon as any has ended.
  while [ ${#harness_of[@]} -ge "$jobs" ] || { [ -z "$h" ] && [ ${#harness_of[@]} -gt 0 ]; }; do
    status=0
    wait -n -p ended "${!harness_of[@]}" || status=$?
    finish "${harness_of[$ended]}" "$status"
    unset "harness_of[$ended]"
  done
  [ -z "$h" ] && break
  run_one "$h" &
  harness_of[$!]=$h
done
exit $failed
