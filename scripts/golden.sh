#!/usr/bin/env bash
# Records what quarvel-cli makes of a fixed set of inputs, byte for byte, so that a
# change meant to keep behaviour can be checked against the outputs of the code before
# it:
#   scripts/golden.sh build/cli/quarvel-cli OUT-FOLDER
#   diff -r BEFORE-FOLDER OUT-FOLDER
# Pictures of every example with several looks, plain and HTML text files in both
# encodings, characters of every face of the fallback chain, and file and folder conversions of Shift-JIS and EUC-JP threads with two
# separator sets, with and without backups, from the options and from a settings file.
set -euo pipefail

cli=$(realpath "$1")
out=$2
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
root=$(cd "$(dirname "$0")/.." && pwd)
export QUARVEL_FONT=

# Runs the tool, keeping its exit status, standard output and standard error.
run() {
  local name=$1
  shift
  local status=0
  (cd "$work" && "$cli" "$@" >"$out/$name.stdout" 2>"$out/$name.stderr") || status=$?
  echo "$status" >"$out/$name.status"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Pictures of the examples.
looks=(
  "default:"
  "colours:--fore 203080 --back E0F0FF --margin 7"
  "nospace:--no-space-sim"
  "html:--html --margin 3"
  "widest:--margin 100 --no-space-sim --fore FF0000"
)
for text in "$root"/examples/*.txt; do
  base=$(basename "$text" .txt)
  for look in "${looks[@]}"; do
    name=${look%%:*}
    # shellcheck disable=SC2086
    run "render-$base-$name" render "$text" -o "$out/render-$base-$name.png" ${look#*:}
  done
done

# Plain text with every kind of line break, '<', references, half-width kana and
# characters outside code page 932, in UTF-8 and in code page 932.
printf 'ｼｮﾎﾞｰﾝ  （´・ω・｀）\r\n<b>&hearts; &#9829; &amp;\rA  B\n\n  end ♥ 😀\n' >"$work/mixed-utf8.txt"
printf 'ｼｮﾎﾞｰﾝ  （´・ω・｀）\r\n<b>&hearts; &#9829; &amp;\rA  B\n\n  end\n' |
  iconv -f UTF-8 -t CP932 >"$work/mixed-cp932.txt"
printf 'x\x00y\x81' >"$work/nul-and-lead.txt"
# Characters from each face of the chain and beyond it: Mona, the symbol face,
# fontconfig's choice (Armenian, Hebrew) and no face at all (Thai).
printf '∧＿∧ ♥ ✨ ☃ 😀 🍣 ı\nԱբգ אבג กขค\n' >"$work/fallbacks-utf8.txt"
for form in plain html; do
  flag=
  [ "$form" = html ] && flag=--html
  for input in mixed-utf8 mixed-cp932 nul-and-lead fallbacks-utf8; do
    run "render-$input-$form" render "$work/$input.txt" -o "$out/render-$input-$form.png" $flag
  done
done
run render-stdin render - -o "$out/render-stdin.png" --encoding cp932 <"$work/mixed-cp932.txt"
run render-bad-margin render "$work/mixed-utf8.txt" -o "$out/never.png" --margin 101

# A saved thread: <dl><dt><dd>, <br>, references, half-width kana, a tag of an
# earlier run and a stretch that runs to the end of the document.
thread() {
  printf '<html><head><title>スレ</title></head><body>\r\n<dl>\r\n'
  printf '<dt>1 ：名無しさん：2004/04/11<dd>　 ∧＿∧<br>　（　´∀｀）＜ ｼｮﾎﾞｰﾝ &hearts;<br>　（　　　　）<br>\r\n'
  printf '<dt>2 ：名無しさん<dd> &gt;&gt;1 乙&#9829; <a href="x">リンク</a><br><br>\r\n'
  printf '<dt>3 ：名無しさん<dd><img src="./thread/001.png"><dt>4 ：ﾓﾅｰ<dd>（´・ω・｀）\r\n'
  printf '<p>段落<br>ここも<p>そして<br><br>ここ</dl>\r\n<dd>最後'
}
mkdir -p "$work/docs/sub/backup" "$work/docs/sub/deeper"
thread | iconv -f UTF-8 -t CP932 >"$work/docs/thread.htm"
thread | iconv -f UTF-8 -t EUC-JP >"$work/docs/euc.htm"
cp "$work/docs/thread.htm" "$work/docs/sub/a.html"
cp "$work/docs/thread.htm" "$work/docs/sub/deeper/b.htm"
cp "$work/docs/thread.htm" "$work/docs/sub/backup/never.htm"
cp "$work/docs/thread.htm" "$work/docs/sub/other.txt"
thread | iconv -f UTF-8 -t EUC-JP >"$work/docs/sub/deeper/euc2.htm"
cp -r "$work/docs" "$work/pristine"

# Every file of a tree, relative, with its bytes.
snapshot() {
  local name=$1
  (cd "$work/docs" && find . -type f | LC_ALL=C sort) >"$out/$name.files"
  mkdir -p "$out/$name.tree"
  cp -r "$work/docs/." "$out/$name.tree/"
}
fresh() {
  rm -rf "$work/docs"
  cp -r "$work/pristine" "$work/docs"
}

run convert-sjis convert docs/thread.htm --quiet
run convert-sjis-again convert docs/thread.htm --quiet
snapshot convert-sjis

fresh
run convert-euc convert docs/euc.htm --code euc --no-backup --quiet --fore 800000 --margin 4
snapshot convert-euc

fresh
run convert-separators convert docs/thread.htm docs/euc.htm --start '<dd>' --start '<p>' \
  --end '<br><br>' --end '\n' --end '</dl>' --no-space-sim --quiet
snapshot convert-separators

fresh
run convert-folder convert-folder docs --quiet --back FFFFE0
snapshot convert-folder

fresh
run convert-folder-euc convert-folder docs --code euc --pattern '*.htm' --no-subfolders --quiet
snapshot convert-folder-euc

fresh
cat >"$work/settings.ini" <<'EOF'
[TargetFilePage]
strSepalaterStart1="<dt>"
strSepalaterStart2="<p>"
strSepalaterEnd1="<dd>"
strSepalaterEnd2="\n"
strSepalaterEnd3=""
bBackup=FALSE
iCode=0
[TargetFolderPage]
strFileFilter="*.htm*"
bSubFolder=TRUE
strSepalaterStart1="<dd>"
strSepalaterEnd1="<br>"
strSepalaterEnd2="</dl>"
bBackup=TRUE
iCode=1
[General]
colFore=#0000FF
colBack=#C0FFEE
iMargin=12
bSpace=FALSE
EOF
run convert-settings convert docs/thread.htm --settings settings.ini --quiet
run convert-folder-settings convert-folder docs/sub --settings settings.ini --quiet
snapshot convert-settings

fresh
printf '[Other]\nx=1\n' >"$work/other.ini"
run convert-other-settings convert docs/thread.htm --settings other.ini --quiet --margin 2
run convert-usage convert docs --quiet
run convert-bad-code convert docs/thread.htm --code utf8
snapshot convert-other-settings

echo "recorded in $out"
