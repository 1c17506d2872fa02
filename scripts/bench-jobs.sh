#!/usr/bin/env bash
# Conversions by quarvel-cli with --jobs 1, 2 and the number of cores, side by side in
# one hyperfine run (see BENCHMARKS.md, "Every core at work"):
#
#   scripts/bench-jobs.sh thread [BUILD-FOLDER] [-- hyperfine options...]
#     `convert` of one thread of 100 stretches of 30-line art (the medium sample, one
#     stretch per answer), after checking that every --jobs gives the same document and
#     the same picture files byte for byte.
#   scripts/bench-jobs.sh folder [BUILD-FOLDER [BEFORE-CLI]] [-- hyperfine options...]
#     `convert-folder` of 200 documents of 20 stretches of the small sample (5 lines;
#     4,000 small pictures): what writing and flushing many small files costs. With
#     BEFORE-CLI (an older build) that one runs in the same hyperfine run as "before".
#
# Each timed run converts fresh copies (hyperfine's --prepare), without backup copies,
# under $TMPDIR (default /tmp): put that on the disk to measure. Run it on a quiet
# machine.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
[ "$mode" = thread ] || [ "$mode" = folder ] || { echo "usage: $0 thread|folder [BUILD [BEFORE-CLI]] [-- ...]" >&2; exit 2; }
shift
build=build
before=
[ $# -gt 0 ] && [ "$1" != -- ] && { build=$1; shift; }
[ $# -gt 0 ] && [ "$1" != -- ] && { before=$1; shift; }
[ "${1:-}" = -- ] && shift
cli="$PWD/$build/cli/quarvel-cli"
[ -x "$cli" ] || { echo "no $cli: build the quarvel-cli target first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-bench-jobs.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A sample's lines joined by <br>, as a saved thread holds an answer's art.
art() { awk '{ sub(/\r$/, ""); printf "%s%s", (NR > 1 ? "<br>" : ""), $0 }' "examples/$1"; }
# A thread of $2 answers of the art $1, each answer's art followed by "$3-N".
thread() {
  printf '<html><body><dl>\r\n'
  for i in $(seq 1 "$2"); do printf '<dt>%d<dd>%s %s-%d\r\n' "$i" "$1" "$3" "$i"; done
  printf '</dl></body></html>\r\n'
}

mkdir "$work/orig"
if [ "$mode" = thread ]; then
  thread "$(art medium.txt)" 100 t | iconv -f UTF-8 -t CP932 >"$work/orig/thread.htm"
  command=convert
  inside=thread.htm
else
  small=$(art small.txt)
  for d in $(seq 1 200); do thread "$small" 20 "$d" | iconv -f UTF-8 -t CP932 >"$work/orig/t$d.htm"; done
  command=convert-folder
  inside=
fi

jobs_list=$(printf '%s\n' 1 2 "$(nproc)" | sort -nu | tr '\n' ' ')
# The same outputs from every --jobs: every document and every picture.
for n in $jobs_list; do
  cp -r "$work/orig" "$work/out$n"
  "$cli" "$command" --no-backup --quiet --jobs "$n" "$work/out$n/$inside"
  if [ "$n" != 1 ]; then
    diff -r "$work/out1" "$work/out$n" >/dev/null || { echo "--jobs $n: not the files of --jobs 1" >&2; exit 1; }
    echo "--jobs $n: $(find "$work/out$n" -type f | wc -l) files byte for byte those of --jobs 1"
  fi
done
rm -rf "$work"/out*

commands=()
[ -n "$before" ] && commands+=(--command-name="before" "$before $command --no-backup --quiet $work/run/$inside")
for n in $jobs_list; do
  commands+=(--command-name="jobs $n" "$cli $command --no-backup --quiet --jobs $n $work/run/$inside")
done
[ $# -gt 0 ] || set -- --warmup 1 --runs 10
hyperfine "$@" --prepare "rm -rf $work/run && cp -r $work/orig $work/run && sync" "${commands[@]}"
