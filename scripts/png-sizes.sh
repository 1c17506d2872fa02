#!/usr/bin/env bash
# File sizes of quarvel-cli's pictures against libpng writing the same pixels with its
# defaults (see BENCHMARKS.md, "Rendering and PNG output"):
#
#   scripts/png-sizes.sh CLI OUT-FOLDER [--each]
#
# Three sets of pictures, each drawn in both forms (OUT-FOLDER/rgb/SET and
# OUT-FOLDER/indexed/SET):
#   examples  the three sample arts, `render`
#   thread    `convert` of a saved thread of 100 answers, each a different stretch of the
#             samples' lines (1 to 30 of them), every fourth a one-line reply
#   cap       twelve 50-line arts at the 1024-pixel cap, `render`: the large sample,
#             small art on wide blank lines, dense and sparse characters, rules, tones,
#             text, half-width kana
# Then build/bench/quarvel-png-sizes (build the target first) decodes every picture,
# writes it again with libpng (RGB: adaptive filters, level 6; indexed: a palette at
# one bit per pixel) and prints the bytes per set, the ratio and the worst picture;
# --each adds a line per picture. OUT-FOLDER is replaced; keep the pictures of two
# builds to compare their pixels with `quarvel-png-sizes --same-pixels A B`. The tool's
# warnings (lines cut at the cap) go to OUT-FOLDER/warnings.log.
set -euo pipefail

cli=$(realpath "$1")
out=$2
each=${3:-}
root=$(cd "$(dirname "$0")/.." && pwd)
sizes=$root/build/bench/quarvel-png-sizes
[ -x "$sizes" ] || { echo "no $sizes: build the quarvel-png-sizes target first" >&2; exit 2; }
rm -rf "$out"
mkdir -p "$out/text"
out=$(realpath "$out")
export QUARVEL_FONT=

python3 - "$root/examples" "$out/text" <<'PY'
import html, random, sys
examples, text = sys.argv[1], sys.argv[2]
lines = []
for name in ("small", "medium", "large"):
    lines += open(f"{examples}/{name}.txt", encoding="utf-8").read().splitlines()

# The thread: answer i a stretch of 1 to 30 lines from line 17 * i on, every fourth a reply.
posts = []
for i in range(100):
    if i % 4 == 3:
        art = [f"&gt;&gt;{i} 乙です"]
    else:
        start, count = (17 * i) % len(lines), 1 + (13 * i) % 30
        art = [html.escape(lines[(start + k) % len(lines)], quote=False) for k in range(count)]
    posts.append(f"<dt>{i + 1} 名無しさん<dd>{'<br>'.join(art)}\r\n")
page = "<html><body><dl>\r\n" + "".join(posts) + "</dl></body></html>\r\n"
open(f"{text}/thread.htm", "wb").write(page.encode("cp932", "xmlcharrefreplace"))

# The pictures at the cap: 50 lines each, wide enough to reach 1024 pixels.
rng = random.Random(31)
small = lines[:5]
medium = lines[5:35]
large = lines[35:85]
wide_blank = "　" * 100
cap = {
    "large": large,
    "small-on-blank": [small[i % 5] + wide_blank + "|" if i % 10 == 0 else small[i % 5] for i in range(50)],
    "medium-twice": [medium[i % 30] + medium[(i + 7) % 30] for i in range(50)],
    "rules": ["┃" + "━" * 62 + "┃" if i % 5 == 0 else "┃" + "　" * 62 + "┃" for i in range(50)],
    "noise": ["".join(rng.choice("∧∨＿￣／＼|（）´・ω｀ﾓﾅｰ♪＊：AAあア亜") for _ in range(90)) for _ in range(50)],
    "sparse": ["".join(rng.choice("　　　　　　　　・∴") for _ in range(100)) for _ in range(50)],
    "diagonal": ["　" * (2 * i) + "＼" + "　" * (100 - 2 * i) for i in range(50)],
    "tones": [(":;:;" * 60)[i % 4:] if i % 2 else ("'、'、" * 40) for i in range(50)],
    "underlines": [("＿" * 64) if i % 3 == 0 else ("￣" * 30 + "　" * 34) for i in range(50)],
    "words": [" ".join(rng.choice(["the", "art", "picture", "line", "monar", "text", "of", "a", "shobon"])
                       for _ in range(40)) for _ in range(50)],
    "kana": ["".join(rng.choice("ｱｲｳｴｵｶｷｸｹｺﾓﾅｰｼｮﾎﾞﾝ ") for _ in range(160)) for _ in range(50)],
    "large-shifted": [large[(i * 7) % 50][i % 9:] for i in range(50)],
}
for name, art in cap.items():
    open(f"{text}/cap-{name}.txt", "w", encoding="utf-8").write("\n".join(art) + "\n")
PY

for form in rgb indexed; do
  flag=
  [ $form = indexed ] && flag=--indexed
  mkdir -p "$out/$form/examples" "$out/$form/cap" "$out/$form/work"
  for a in "$root"/examples/*.txt; do
    "$cli" render "$a" -o "$out/$form/examples/$(basename "$a" .txt).png" $flag 2>>"$out/warnings.log"
  done
  for t in "$out"/text/cap-*.txt; do
    name=$(basename "$t" .txt)
    "$cli" render "$t" -o "$out/$form/cap/${name#cap-}.png" $flag 2>>"$out/warnings.log"
  done
  cp "$out/text/thread.htm" "$out/$form/work/thread.htm"
  "$cli" convert --no-backup --quiet $flag "$out/$form/work/thread.htm" 2>>"$out/warnings.log"
  mv "$out/$form/work/thread" "$out/$form/thread"
  rm -rf "$out/$form/work"
done

for form in rgb indexed; do
  echo "$form:"
  "$sizes" $each "$out/$form/examples" "$out/$form/thread" "$out/$form/cap"
done
