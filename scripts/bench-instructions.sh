#!/usr/bin/env bash
# Instructions per picture of two builds of quarvel-cli side by side, counted by
# callgrind (instructions, not time: they hold still on a busy machine), in each form:
#   scripts/bench-instructions.sh OLD-CLI NEW-CLI
# Four sets, each drawn by one worker (--jobs 1), the whole process counted and divided
# by its pictures:
#   thread    `convert` of a saved thread of 100 stretches of examples/medium.txt (as
#             thread-vs-pango.sh writes it)
#   small     `render-pieces` of 40 pieces of 1 to 5 lines of the examples' lines
#   medium    the same, 30 pieces of 6 to 30 lines
#   large     the same, 20 pieces of 31 to 50 lines, every other one wide enough to
#             reach the 1024-pixel cap
# Prints a line per set and form: pictures, instructions per picture of each build and
# their ratio (new / old). The work goes to a folder on tmpfs (TMPFS, default /dev/shm).
# SETS="thread" (or any of the four, space-separated) counts only those.
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 OLD-CLI NEW-CLI" >&2; exit 2; }
old=$(realpath "$1")
new=$(realpath "$2")
command -v valgrind >/dev/null || { echo "valgrind is needed: scripts/install-deps.sh bench" >&2; exit 1; }
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPFS:-/dev/shm}/quarvel-instructions.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QUARVEL_FONT=

python3 - "$root/examples" "$work" <<'PY'
import html, sys
examples, work = sys.argv[1], sys.argv[2]
lines = []
for name in ("small", "medium", "large"):
    lines += open(f"{examples}/{name}.txt", encoding="utf-8").read().splitlines()

medium = open(f"{examples}/medium.txt", encoding="utf-8").read().splitlines()
stretch = "<br>".join(html.escape(line, quote=False) for line in medium)
posts = "".join(f"<dt>{n} 名無しさん<dd>{stretch}\r\n" for n in range(1, 101))
page = f"<html><body><dl>\r\n{posts}</dl></body></html>\r\n"
open(f"{work}/thread.htm", "wb").write(page.encode("cp932", "xmlcharrefreplace"))

# Pieces of every size: piece i of a set takes `count` lines from line 37 * i on; in
# the large set every other piece has each line twice over, to the cap.
def pieces(name, number, fewest, most, doubled):
    out = []
    for i in range(number):
        count = fewest + i * (most - fewest) // max(1, number - 1)
        art = [lines[(37 * i + k) % len(lines)] for k in range(count)]
        if doubled and i % 2:
            art = [line + line for line in art]
        out.append("\r\n".join(art) + "\r\n")
    text = "[SPLIT]\r\n".join(out)
    open(f"{work}/{name}.mlt", "wb").write(text.encode("cp932", "xmlcharrefreplace"))
    return number

print(pieces("small", 40, 1, 5, False), pieces("medium", 30, 6, 30, False), pieces("large", 20, 31, 50, True))
PY

# count CLI ARGS... : the instructions of one run, counted under callgrind.
count() {
  local out=$work/callgrind.out
  valgrind --tool=callgrind --callgrind-out-file="$out" "$@" >/dev/null 2>"$work/valgrind.log" ||
    { cat "$work/valgrind.log" >&2; exit 1; }
  awk '/^summary:/ {print $2}' "$out"
  rm -f "$out"
}

# run SET CLI FORM : the instructions of one build drawing one set in one form.
run() {
  local set=$1 cli=$2 form=$3
  rm -rf "$work/out" "$work/run" "$work/run.htm"
  if [ "$set" = thread ]; then
    cp "$work/thread.htm" "$work/run.htm"
    count "$cli" convert --jobs 1 --no-backup --quiet $form "$work/run.htm"
  else
    count "$cli" render-pieces "$work/$set.mlt" -o "$work/out" --jobs 1 $form
  fi
}

printf '%-8s %-8s %8s %16s %16s %7s\n' set form pictures "old per picture" "new per picture" ratio
for set in ${SETS:-thread small medium large}; do
  case $set in
    thread) pictures=100 ;;
    small) pictures=40 ;;
    medium) pictures=30 ;;
    large) pictures=20 ;;
  esac
  for form in "" --indexed; do
    a=$(run "$set" "$old" "$form")
    b=$(run "$set" "$new" "$form")
    awk -v s="$set" -v f="${form:-rgb}" -v n="$pictures" -v a="$a" -v b="$b" \
      'BEGIN { printf "%-8s %-8s %8d %16.0f %16.0f %7.3f\n", s, (f == "--indexed" ? "indexed" : f), n, a / n, b / n, b / a }'
  done
done
echo "old: $old"
echo "new: $new"
