#!/usr/bin/env bash
# What flushing pictures to disk costs a folder job: `quarvel-cli convert-folder` of 200
# documents with 20 stretches each of the small sample (5 lines; 4,000 small pictures) on
# the disk of the scratch folder, side by side in one hyperfine run. With a second
# program (an older build, say one that flushes each picture before its rename), that
# one runs in the same hyperfine run as "before".
#
#   scripts/bench-flush.sh [BUILD-FOLDER [BEFORE-CLI]] [-- hyperfine options...]
#
# Each timed run converts fresh copies (hyperfine's --prepare), without backup copies;
# the scratch folder is made under $TMPDIR (default /tmp), so put it on the disk to
# measure. Run it on a quiet machine (see BENCHMARKS.md).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
before=
[ $# -gt 0 ] && [ "$1" != -- ] && { build=$1; shift; }
[ $# -gt 0 ] && [ "$1" != -- ] && { before=$1; shift; }
[ "${1:-}" = -- ] && shift
cli="$PWD/$build/cli/quarvel-cli"
[ -x "$cli" ] || { echo "no $cli: build the quarvel-cli target first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-bench-flush.XXXXXX")
trap 'rm -rf "$work"' EXIT

art=$(awk '{ sub(/\r$/, ""); printf "%s%s", (NR > 1 ? "<br>" : ""), $0 }' examples/small.txt)
mkdir "$work/orig"
for d in $(seq 1 200); do
  {
    printf '<html><body><dl>\r\n'
    for i in $(seq 1 20); do printf '<dt>%d<dd>%s %d-%d\r\n' "$i" "$art" "$d" "$i"; done
    printf '</dl></body></html>\r\n'
  } | iconv -f UTF-8 -t CP932 >"$work/orig/t$d.htm"
done

commands=()
[ -n "$before" ] && commands+=(--command-name="before" "$before convert-folder --no-backup --quiet $work/run")
commands+=(--command-name="jobs 1" "$cli convert-folder --no-backup --quiet --jobs 1 $work/run")
commands+=(--command-name="jobs 2" "$cli convert-folder --no-backup --quiet --jobs 2 $work/run")
[ $# -gt 0 ] || set -- --warmup 1 --runs 10
hyperfine "$@" --prepare "rm -rf $work/run && cp -r $work/orig $work/run && sync" "${commands[@]}"
