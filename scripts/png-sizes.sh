#!/usr/bin/env bash
# File sizes of quarvel-cli's pictures against libpng writing the same pixels with its
# defaults (see BENCHMARKS.md, "Rendering and PNG output"):
#
#   scripts/png-sizes.sh CLI OUT-FOLDER [--each]
#
# Four sets of pictures, each drawn in both forms (OUT-FOLDER/rgb/SET and
# OUT-FOLDER/indexed/SET):
#   examples     the three sample arts, `render`
#   thread       `convert` of a saved thread of 100 answers, each a different stretch of
#                the samples' lines (1 to 30 of them), every fourth a one-line reply
#   cap          twelve 50-line arts at the 1024-pixel cap, `render`: the large sample,
#                small art on wide blank lines, dense and sparse characters, rules,
#                tones, text, half-width kana
#   collections  `render-pieces` of every template collection the tests use: the
#                fuzzing seeds of tests/fuzz/corpus/collection/ as they are, and those
#                the tests write (pieces, the collections' window and page, the parser)
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

# The template collections of the tests, as they write them (code page 932 unless
# said), each to OUT-FOLDER/text/collections/NAME.mlt or .ast.
mkdir -p "$out/text/collections"
python3 - "$root/tests/fuzz/corpus/collection" "$out/text/collections" <<'PY'
import os, sys
seeds, folder = sys.argv[1], sys.argv[2]
monar = b"[AA][\x83\x82\x83\x69\x81\x5B]\r\n  \x81\xC8\x81\x51\x81\xC8\r\n(\x81\x4C\x83\xD6\x81\x4D)\r\n"
face = b"(\x81\x4C\x83\xD6\x81\x4D)"
lines = lambda first, last: b"".join(b"line %d\r\n" % i for i in range(first, last))
def many_pieces(count):  # tests/engine/pieces_test.cpp
    out = b""
    for i in range(count):
        if i > 0:
            out += b"[SPLIT]\r\n"
        for line in range(i % 7 + 1):
            out += b" " * (line + i % 5) + face + b"%d\r\n" % i
    return out
big = b"".join(bytes([33 + i]) * 200 + b"\r\n" for i in range(40))
window = b"".join(b"".join(face + b"%d" % i + b"_" * (1 + (i + line) % 40) + b"\r\n" for line in range((i * 7) % 12 + 1))
                  + b"[SPLIT]\r\n" for i in range(470))
screenshot = "".join(f"[AA][{name}]\r\n{art}\r\n" for name, art in [
    ("モナー", "　　∧＿∧\r\n　（　´∀｀）\r\n　（　　　　）\r\n　｜ ｜　|\r\n　（_＿）＿）"),
    ("ギコ", "　　∧∧\r\n　（,,ﾟДﾟ）\r\n　⊂　　つ\r\n　～|　|\r\n　　し`J"),
    ("しょぼーん", "（´・ω・｀）"), ("ｷﾀ━", "ｷﾀ━━━━(ﾟ∀ﾟ)━━━━!!")])
collections = {
    "pieces-command.ast": monar + b"[AA][tall]\r\n" + lines(0, 51) + b"[AA][wide]\r\n" + b"_" * 300 +
                          b"\r\n[AA][<i>&\"x\"</i>]\r\nend\xF0\x40",
    "pieces-command-splits.mlt": b"a\r\n[SPLIT]\r\nb\r\n[SPLIT]\r\n[SPLIT]\r\nc\r\n[SPLIT]\r\n",
    "pieces-command-big.mlt": b"a\r\n[SPLIT]\r\n" + big + b"[SPLIT]\r\n" + big,
    "parser.mlt": b"a\n[SPLIT]\nb\n",
    "browser.ast": monar + b"[AA][tall]\r\n" + lines(0, 55) + b"[AA][wide]\r\n" + b"_" * 300 +
                   b"\r\n[AA][empty]\r\n  \r\n[AA][faceless]\r\nend&#xE000;\r\n[AA][heart]\r\nI &hearts; AA\r\n",
    "browser-two.mlt": b"(^o^)\r\n[SPLIT]\r\n(-_-)\r\n",
    "browser-large.mlt": window,
    "pieces.mlt": many_pieces(23),
    "pieces-named.ast": b"[AA][<first> & \"more\"]\r\n" + many_pieces(1) + b"[AA][t\0w\x01o]\r\nx\r\n" +
                        b"[AA][three]\r\n" + b"W" * 120,
    "page.ast": b'[AA][<b>&"one"</b>]\r\n  \x81\xC8\x81\x51\x81\xC8\r\n' + face + b"\r\n" +
                b"[AA][\x83\x82\x83\x69\x81\x5B]\r\n<&>\r\n[AA][tall]\r\n" + lines(1, 52) + b"[AA][last]\r\nend",
    "gallery.ast": b'[AA][<b>&"one"</b>]\r\n  \x81\xC8\x81\x51\x81\xC8\r\n' + face + b"\r\n" +
                   b"[AA][\x83\x82\x83\x69\x81\x5B]\r\n<&> mona\r\n[AA][tall]\r\n" + lines(1, 13) +
                   b"[AA][wide]\r\n" + b"\x81\x5C" * 60 + b"\r\nend",
    "window.ast": ("[AA][モナー]\r\n  ∧＿∧\r\n(´ω｀)\r\n[AA][tall]\r\n" + "".join(f"line {i}\r\n" for i in range(55)) +
                   "[AA][wide]\r\n" + "_" * 300 + "\r\n[AA][empty]\r\n  \r\n[AA][heart]\r\nI &hearts; AA\r\n").encode("utf-8"),
    "screenshots.ast": screenshot.encode("cp932"),
}
# tests/engine/collection_test.cpp: the cases of how a file splits into pieces.
cases = [(".mlt", b"a\r\nb\r\n[SPLIT]\r\nc\r\n"), (".mlt", b"a\nb\n[SPLIT]\rc\r\rd"), (".mlt", b"  x\r\n y\r\n"),
         (".mlt", b"a\r\n[SPLIT]\r\n"), (".mlt", b"[SPLIT]\r\na\r\n[SPLIT]\r\n[SPLIT]\r\n \x81\x40\t\r\n\r\n[SPLIT]\r\nb"),
         (".mlt", b"\r\na\r\n\r\n[SPLIT]\r\nb"), (".mlt", b"a\r\n[SPLIT] \r\n [SPLIT]\r\n[split]\r\nx[SPLIT]"),
         (".mlt", b"\xEF\xBB\xBF[SPLIT]\r\nab"), (".mlt", b"\xE2\x88\xA7\n[SPLIT]\n\xE3\x80\x80"), (".mlt", b"abc"),
         (".mlt", b"\x82\xA0\r\n[SPLIT]\r\n\xE3\x80\x80"), (".ast", b"[AA][one]\r\nx\r\n[AA][<&\">']\r\ny\r\nz\r\n"),
         (".ast", b"[AA][\x83\x82\x83\x69\x81\x5B]\r\n" + face + b"\r\n"),
         (".ast", b"[AA][a]\r\n[AA][\x83\x5D\r\nb\r\n[AA][\x83\x5D]\r\nc"), (".ast", b"\xEF\xBB\xBF[AA][\xE2\x88\xA7]\nq\n"),
         (".ast", b"intro\r\n[AA][]\r\nx\r\n[AA][b]]\r\ny"), (".ast", b"[AA][a]\r\n[AA][b]\r\n\r\n[AA][c]\r\nx\r\n[AA][d]"),
         (".ast", b"x\r\ny"), (".ast", b"[AA][\r\n[AA]x]\r\n"),
         (".mlt", b"[SPLIT]\r\n(\x81\x4C\x83\xD6\x81\x4D) <b>&hearts;\r\n \x81\x40\x81\x9A\r\n[SPLIT]\r\n"),
         (".mlt", "(´ω｀) <b>♥\n 　★\n[SPLIT]\n".encode("utf-8"))]
for i, (kind, data) in enumerate(cases):
    collections[f"split-{i:02d}{kind}"] = data
# The fuzzing seeds: a kind byte (bit 0: .ast), then the collection.
for name in sorted(os.listdir(seeds)):
    data = open(os.path.join(seeds, name), "rb").read()
    if data:
        collections[f"seed-{name}" + (".ast" if data[0] & 1 else ".mlt")] = data[1:]
for name, data in collections.items():
    open(os.path.join(folder, name), "wb").write(data)
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
  mkdir -p "$out/$form/collections"
  for c in "$out"/text/collections/*; do
    name=$(basename "$c")
    "$cli" render-pieces "$c" -o "$out/$form/work/pieces" $flag 2>>"$out/warnings.log" || true
    for p in "$out/$form/work/pieces"/*.png; do
      [ -e "$p" ] && mv "$p" "$out/$form/collections/${name%.*}-$(basename "$p")"
    done
    rm -rf "$out/$form/work/pieces"
  done
  cp "$out/text/thread.htm" "$out/$form/work/thread.htm"
  "$cli" convert --no-backup --quiet $flag "$out/$form/work/thread.htm" 2>>"$out/warnings.log"
  mv "$out/$form/work/thread" "$out/$form/thread"
  rm -rf "$out/$form/work"
done

for form in rgb indexed; do
  echo "$form:"
  "$sizes" $each "$out/$form/examples" "$out/$form/thread" "$out/$form/cap" "$out/$form/collections"
done
