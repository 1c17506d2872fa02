#!/usr/bin/env bash
# Runs one libFuzzer harness for a counted number of executions and keeps the record
# of the run in tests/fuzz/campaigns/: the command, the commit it was built from, the
# date, and libFuzzer's own summary lines. The executions credited to a harness are
# what those lines say, summed over its records (`scripts/fuzz-campaign.sh --count`).
#
#   scripts/fuzz-campaign.sh HARNESS RUNS [CORPUS-DIR]
#   scripts/fuzz-campaign.sh --count
#
# HARNESS is one of tests/fuzz (render, references, conversion, code_convert, profile,
# collection, png, request, blanks); RUNS the executions to run (libFuzzer's -runs). The corpus grows in
# CORPUS-DIR (default /var/tmp/quarvel-campaign/HARNESS), so that a later run goes on
# from it; findings go to CORPUS-DIR/findings. The harness is built as scripts/fuzz.sh
# builds it (build-fuzz, clang); run it from a clean tree so that the commit names what
# was built. Long runs use the ASan options of RELIABILITY.md (no allocation stacks, a
# 16 MB quarantine): every access is still checked.
set -euo pipefail
cd "$(dirname "$0")/.."
records=tests/fuzz/campaigns

if [ "${1:-}" = "--count" ]; then
  # Executions per harness, from the records' summary lines only.
  for record in "$records"/*.txt; do
    [ -e "$record" ] || continue
    harness=$(sed -n 's/^harness: //p' "$record")
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$record" | tail -1)
    echo "$harness ${runs:-0}"
  done | awk '{ sum[$1] += $2 } END { for (h in sum) printf "%-13s %12d\n", h, sum[h] }' | sort
  exit 0
fi

[ $# -ge 2 ] || { sed -n '2,18p' "$0" >&2; exit 2; }
harness=$1
runs=$2
work=${3:-/var/tmp/quarvel-campaign/$harness}
case $harness in
  render | code_convert | profile | request | blanks) max_len=2048 ;;
  *) max_len=4096 ;;
esac

CC=clang CXX=clang++ cmake -G Ninja -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUARVEL_FUZZ=ON -DQUARVEL_CORE_ONLY=ON -DQUARVEL_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz --target "fuzz_$harness" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

mkdir -p "$work/corpus" "$work/findings" "$records"
commit=$(git rev-parse HEAD)
[ -z "$(git status --porcelain -- . ':!tests/fuzz/campaigns')" ] || commit="$commit (with uncommitted changes)"
started=$(date -u +%Y-%m-%dT%H:%M:%SZ)
record=$records/$(date -u +%Y%m%dT%H%M%SZ)-$harness.txt
log=$work/log-$(date -u +%Y%m%dT%H%M%SZ)
command=(build-fuzz/tests/fuzz/fuzz_$harness -runs="$runs" -max_len="$max_len" -rss_limit_mb=2048 -timeout=30
  -print_final_stats=1 -artifact_prefix="$work/findings/" "$work/corpus" "tests/fuzz/corpus/$harness")
status=0
ASAN_OPTIONS=malloc_context_size=0:quarantine_size_mb=16 UBSAN_OPTIONS=print_stacktrace=1 \
  "${command[@]}" >"$log" 2>&1 || status=$?
{
  echo "harness: $harness"
  echo "commit: $commit"
  echo "started: $started"
  echo "ended: $(date -u +%Y-%m-%dT%H:%M:%SZ)"
  echo "machine: $(nproc) cores, $(uname -r), $(clang --version | head -1)"
  echo "command: ASAN_OPTIONS=malloc_context_size=0:quarantine_size_mb=16 UBSAN_OPTIONS=print_stacktrace=1 ${command[*]}"
  echo "exit status: $status"
  # Crashes, leaks and timeouts; libFuzzer's slow-unit-* files (an input that took long,
  # as when the machine was busy) are no finding.
  echo "findings: $(find "$work/findings" -type f ! -name 'slow-unit-*' | wc -l)"
  echo "--- libFuzzer's summary lines"
  grep -E '^(Done [0-9]+ runs in|stat::|==[0-9]+== ERROR|SUMMARY)' "$log" || true
} >"$record"
cat "$record"
exit "$status"
