#!/usr/bin/env bash
# How well `--code auto` tells a document's code, against uchardet on the same bytes:
#   scripts/bench-code-detection.sh [build/bench/quarvel-code-detect]
# The documents: every line of the examples' art as a stretch of its own (short art is
# where codes are hardest to tell apart), each example whole, and a saved thread, in
# Shift-JIS, EUC-JP and UTF-8, each plain, declaring its own code, and declaring
# another (pages often keep a declaration that no longer matches their bytes); and
# Shift-JIS art of half-width katakana that is valid UTF-8 by accident. Prints
# the share each tool gets right by code and length, and the time per document.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
detect=${1:-$root/build/bench/quarvel-code-detect}
"$root/scripts/install-deps.sh" bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One document per piece of art (UTF-8), then in each code and declaration.
n=0
piece() {
  n=$((n + 1))
  printf '<html><head>%s<title>スレ</title></head><body><dl><dt>1 名無しさん<dd>%s\r\n</dl></body></html>\r\n' "@DECL@" "$1" >"$work/piece$n"
}
for text in "$root"/examples/*.txt; do
  while IFS= read -r line; do [ -n "${line// /}" ] && piece "$line"; done <"$text"
  piece "$(sed 's/$/<br>/' "$text" | tr -d '\n')"
done
piece '<dt>2 ：名無しさん<dd> &gt;&gt;1 乙&#9829; <a href="x">リンク</a><br>ｷﾀ━━━(ﾟ∀ﾟ)━━━!!<br>（´・ω・｀）ｼｮﾎﾞｰﾝ'
# Shift-JIS whose only characters beyond ASCII are half-width katakana that pair up
# into valid UTF-8 (ﾄｰﾃｽ is C4 B0 C3 BD): its bytes cannot tell, its declaration can.
n=$((n + 1))
printf '<html><head>%s</head><body><dl><dt>1<dd>%s\r\n</dl></body></html>\r\n' "@DECL@" 'ﾄｰﾃｽ ﾃｽﾄｰ<br>ﾄｰﾃｽ' >"$work/piece$n"

for p in "$work"/piece*; do
  for code in SHIFT_JIS EUC-JP UTF-8; do
    iconv_code=$code
    [ "$code" = SHIFT_JIS ] && iconv_code=CP932
    for decl in none own other; do
      case $decl in
        none) d= ;;
        own) d="<meta charset=\"$code\">" ;;
        other) d="<meta charset=\"$([ "$code" = UTF-8 ] && echo Shift_JIS || echo UTF-8)\">" ;;
      esac
      out=$work/$(basename "$p").$code.$decl
      sed "s|@DECL@|$d|" "$p" | iconv -f UTF-8 -t "$iconv_code" >"$out" 2>/dev/null || rm -f "$out"
    done
  done
done
files=("$work"/piece*.*.*)
echo "${#files[@]} documents"

"$detect" "${files[@]}" >"$work/ours" 2>"$work/ours.time"
start=$(date +%s%N)
uchardet "${files[@]}" >"$work/theirs.raw"
uchardet_ns=$(($(date +%s%N) - start))
paste <(cut -f1 "$work/ours") <(sed 's/^.*: //' "$work/theirs.raw") >"$work/theirs"

python3 - "$work" "${#files[@]}" "$(cat "$work/ours.time")" "$uchardet_ns" <<'PY'
import collections, os, sys
work, count, ours_time, theirs_ns = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
same = {"SHIFT_JIS": {"SHIFT_JIS", "WINDOWS-31J", "CP932"}, "EUC-JP": {"EUC-JP"}, "UTF-8": {"UTF-8"}}
def read(name):
    rows = {}
    for line in open(os.path.join(work, name)):
        path, code = line.rstrip("\n").split("\t")
        rows[path] = code.upper()
    return rows
ours, theirs = read("ours"), read("theirs")
table = collections.defaultdict(lambda: [0, 0, 0])
for path in ours:
    truth, decl = path.split(".")[-2], path.split(".")[-1]
    size = os.path.getsize(path)
    length = "short" if size < 200 else "long"
    for key in ((truth, decl, length), (truth, "all", "all"), ("all", "all", "all")):
        row = table[key]
        row[0] += 1
        row[1] += ours[path] in same[truth]
        row[2] += theirs[path] in same[truth]
print("| code | declaration | length | documents | quarvel | uchardet |")
print("|---|---|---|---:|---:|---:|")
for key in sorted(table):
    n, a, b = table[key]
    print("| %s | %s | %s | %d | %.1f %% | %.1f %% |" % (*key, n, 100 * a / n, 100 * b / n))
print("quarvel: %s; uchardet: %d documents in %.0f us (one process, whole files)" % (ours_time, count, theirs_ns / 1000))
wrong = sorted(os.path.basename(p) for p in ours if ours[p] not in same[p.split(".")[-2]])
print("quarvel's misses: %s" % (", ".join("%s (read as %s)" % (w, ours[os.path.join(work, w)]) for w in wrong) or "none"))
PY
