#!/usr/bin/env bash
# render-pieces on a collection of 200 pieces with one worker and with two, in each
# PNG form, side by side in one hyperfine run (BENCHMARKS.md, Template collections):
#   scripts/bench-pieces.sh [build/cli/quarvel-cli]
# The collection is the three examples in turn (5, 30 and 50 lines; every fourth piece
# the 50-line one), in code page 932 with CR LF as such files are. The pictures go to
# a folder on the disk (each is flushed there before it is renamed into place, as in
# use) and, in a second run, to one on tmpfs, where only the drawing counts.
# RUNS (default 10) sets the number of runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/cli/quarvel-cli}
[ -x "$cli" ] || { echo "no program at $cli" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is needed: scripts/install-deps.sh bench" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-pieces.XXXXXX")
shm=$(mktemp -d /dev/shm/quarvel-pieces.XXXXXX)
trap 'rm -rf "$work" "$shm"' EXIT
export QUARVEL_FONT=

for i in $(seq 0 199); do
  case $((i % 4)) in
    0 | 2) name=small ;;
    1) name=medium ;;
    3) name=large ;;
  esac
  [ "$i" -gt 0 ] && printf '[SPLIT]\n'
  cat "$root/examples/$name.txt"
done | iconv -f UTF-8 -t CP932 | sed 's/$/\r/' >"$work/collection.mlt"
echo "collection: $(grep -c '^\[SPLIT\]' "$work/collection.mlt") separators, $(wc -c <"$work/collection.mlt") bytes"

for place in "$work" "$shm"; do
  echo "== pictures in $place: $(uptime)"
  hyperfine -N --warmup 1 --runs "${RUNS:-10}" \
    -n "jobs 1" "$cli render-pieces $work/collection.mlt -o $place/out1 --jobs 1" \
    -n "jobs 2" "$cli render-pieces $work/collection.mlt -o $place/out2 --jobs 2" \
    -n "jobs 1 --indexed" "$cli render-pieces $work/collection.mlt -o $place/out3 --jobs 1 --indexed" \
    -n "jobs 2 --indexed" "$cli render-pieces $work/collection.mlt -o $place/out4 --jobs 2 --indexed"
  cmp <(cd "$place/out1" && cat ./*) <(cd "$place/out2" && cat ./*) &&
    cmp <(cd "$place/out3" && cat ./*) <(cd "$place/out4" && cat ./*) && echo "the same files with either"
done
