#!/usr/bin/env bash
# Times `quarvel-cli convert` of one thread of 100 stretches of 30-line art (the medium
# sample of examples/, one stretch per answer) with --jobs 1, 2 and the number of
# cores, side by side in one hyperfine run, after checking that every --jobs gives the
# same document and the same picture files byte for byte.
#
#   scripts/bench-jobs.sh [BUILD-FOLDER] [hyperfine options...]
#
# Each timed run converts a fresh copy of the thread (hyperfine's --prepare), without
# a backup copy. Run it on a quiet machine (see BENCHMARKS.md).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
shift || true
cli="$PWD/$build/cli/quarvel-cli"
[ -x "$cli" ] || { echo "no $cli: build the quarvel-cli target first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-bench-jobs.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The thread: 100 answers, each the 30 lines of art joined by <br> on one line.
art=$(awk '{ sub(/\r$/, ""); printf "%s%s", (NR > 1 ? "<br>" : ""), $0 }' examples/medium.txt)
{
  printf '<html><body><dl>\r\n'
  for i in $(seq 1 100); do printf '<dt>%d<dd>%s\r\n' "$i" "$art"; done
  printf '</dl></body></html>\r\n'
} | iconv -f UTF-8 -t CP932 >"$work/thread.htm.orig"

cores=$(nproc)
jobs_list=$(printf '%s\n' 1 2 "$cores" | sort -nu | tr '\n' ' ')

# The same outputs from every --jobs: the rewritten thread and each picture.
for n in $jobs_list; do
  mkdir "$work/out$n"
  cp "$work/thread.htm.orig" "$work/out$n/thread.htm"
  "$cli" convert --no-backup --quiet --jobs "$n" "$work/out$n/thread.htm"
  [ "$(ls "$work/out$n/thread" | wc -l)" -eq 100 ] || { echo "--jobs $n: not 100 pictures" >&2; exit 1; }
  if [ "$n" != 1 ]; then
    cmp "$work/out1/thread.htm" "$work/out$n/thread.htm"
    for png in "$work/out1/thread"/*.png; do cmp "$png" "$work/out$n/thread/$(basename "$png")"; done
    echo "--jobs $n: the thread and its 100 pictures are byte for byte those of --jobs 1"
  fi
done

commands=()
for n in $jobs_list; do commands+=(--command-name="jobs $n" "$cli convert --no-backup --quiet --jobs $n $work/run/thread.htm"); done
# Options given after the build folder replace the default number of runs.
[ $# -gt 0 ] || set -- --warmup 2 --runs 15
hyperfine "$@" \
  --prepare "rm -rf $work/run && mkdir $work/run && cp $work/thread.htm.orig $work/run/thread.htm" \
  "${commands[@]}"
