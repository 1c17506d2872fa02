#!/usr/bin/env bash
# Per-picture time of `quarvel-cli convert` on a saved thread of 100 stretches of the
# 30-line sample art, against pango-view drawing that art once, side by side in one
# hyperfine run (whole processes, so that both sides pay their start-up):
#   scripts/thread-vs-pango.sh build/cli/quarvel-cli [extra convert options...]
# The thread is written fresh before each convert run (hyperfine --prepare), without
# backups; extra options (for instance --jobs 1) go to both convert commands. Prints
# hyperfine's report, then each median and, for the conversions, the median per
# picture and its ratio to pango-view's median. RUNS=N sets the runs (default 20);
# ART=large takes the 50-line art at the 1024-pixel cap instead (default medium, 30
# lines).
# The thread and its pictures go to a folder on tmpfs (/dev/shm), as in
# bench-startup.sh; WORK_PARENT=FOLDER puts them elsewhere (a folder on disk: the
# conversion flushes the pictures once, before the document is rewritten).
set -euo pipefail

cli=$(realpath "$1")
shift
root=$(cd "$(dirname "$0")/.." && pwd)
art=$root/examples/${ART:-medium}.txt
parent=${WORK_PARENT:-/dev/shm}
[ -d "$parent" ] && [ -w "$parent" ] || parent=${TMPDIR:-/tmp}
work=$(mktemp -d "$parent/quarvel-thread.XXXXXX")
echo "work folder: $work ($(stat -f -c %T "$work")); $(uptime)"
trap 'rm -rf "$work"' EXIT
export QUARVEL_FONT=

# The art as one stretch of a Shift-JIS thread: HTML-escaped, lines joined by <br>,
# characters outside code page 932 as references; "<dd>" to the line end, 100 times.
python3 - "$art" "$work/thread.htm" <<'PY'
import html, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
stretch = "<br>".join(html.escape(line, quote=False) for line in lines)
posts = "".join(f"<dt>{n} 名無しさん<dd>{stretch}\r\n" for n in range(1, 101))
page = f"<html><body><dl>\r\n{posts}</dl></body></html>\r\n"
open(sys.argv[2], "wb").write(page.encode("cp932", "xmlcharrefreplace"))
PY

cd "$work"
prepare='sh -c "cp thread.htm run.htm && rm -rf run"'
hyperfine -N --warmup 3 --runs "${RUNS:-20}" --export-json result.json \
  --prepare true --prepare "$prepare" --prepare "$prepare" \
  -n "pango-view, the art once" "pango-view --no-display -q --font='Monapo 12' -o pango.png $art" \
  -n "convert, 100 pictures" "$cli convert --no-backup --quiet $* run.htm" \
  -n "convert --indexed, 100 pictures" "$cli convert --no-backup --quiet --indexed $* run.htm"
[ "$(ls run | wc -l)" -eq 100 ] || { echo "expected 100 pictures" >&2; exit 1; }

python3 - result.json <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
pango = results[0]["median"]
for r in results:
    line = f"{r['command']}: median {r['median'] * 1000:.1f} ms"
    if r is not results[0]:
        per = r["median"] / 100
        line += f", per picture {per * 1000:.2f} ms = {per / pango:.3f} x pango-view"
    print(line)
PY
