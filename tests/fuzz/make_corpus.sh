#!/usr/bin/env bash
# Writes the seed corpus of every harness into tests/fuzz/corpus/<harness>/: the
# examples and small pieces of the kind the program meets (thread documents in
# Shift-JIS and EUC-JP, references, settings files as the program saves them).
# Fuzzing never writes here; scripts/fuzz.sh keeps what it finds elsewhere. Inputs
# that once broke an invariant live in corpus/<harness>/regress-* and are kept
# when this script runs again.
set -euo pipefail
cd "$(dirname "$0")"
examples=../../examples
out=corpus

for h in render references conversion code_convert profile collection request blanks; do
  mkdir -p "$out/$h"
  find "$out/$h" -type f ! -name 'regress-*' -delete
done

sjis() { iconv -f UTF-8 -t CP932; }
euc() { iconv -f UTF-8 -t EUC-JP; }
# Lines of text art joined with <br>, as a thread holds them.
br() { sed 's/$/<br>/' | tr -d '\n'; }
crlf() { sed 's/$/\r/'; }

thread_utf8() {
  cat <<'EOF'
<dl><dt>1 ：<b>名無しさん</b>：04/04/11 12:34 ID:QuArVeL0<dd>　 ∧＿∧<br>　（　´∀｀）　＜　ｵﾏｴﾓﾅｰ<br>　（　　　　）<br>　｜ ｜　|<br>　（_＿)＿） <br>
<dt>2 ：<b>名無しさん</b>：04/04/11 12:35<dd>&hearts;&#9829;&#xD83C;&#xDF19; &#10024; てすと&amp;&lt;br&gt;<br>
<dt>3 ：<b>名無しさん</b>：04/04/11 12:36<dd>　　＿＿_∧∧<br>　／＼ （；´Д｀）<br></dl>
EOF
}

# render: code page 932 text art as the renderer takes it.
r=$out/render
for e in small medium large; do sjis < "$examples/$e.txt" | br > "$r/example-$e"; done
thread_utf8 | crlf | sjis > "$r/thread"
printf '%s' '&hearts;&#9829;&#x2665;&#xD83C;&#xDF19;&#55356;&#57113;&amp;&lt;br&gt;&#0;&#x;&#;&#65536;&#X41;&Alpha;&alpha;&ALPHA;&thetasym;&nbsp;&#128512;&#10024;' > "$r/references"
printf 'A\x94-B<br>\x81\x20x\x82' > "$r/mojibake-and-lone-lead"
printf 'a    b  <br>   <br>  c   <br> ' > "$r/spaces"
printf '■%.0s' $(seq 150) | sjis > "$r/wide-line"
printf 'x<br>%.0s' $(seq 55) > "$r/many-lines"
printf 'AA<b>BB</b><a title="%s">CC<i DD' "$(printf 'ソ表' | sjis)" > "$r/tags"
printf 'A\tB\r\nC<BR>D<bR>E\rF\nG' > "$r/line-breaks"
printf 'ｱｽｷｰｱｰﾄ ﾓﾅｰ' | sjis > "$r/half-width-kana"
printf 'AB\0CD' > "$r/nul"
printf 'W%.0s' $(seq 1100) > "$r/long-run"

# references: UTF-8 text with references, and bytes that are not UTF-8.
f=$out/references
printf '%s' '&hearts; &#9829; &#xD83C;&#xDF19; 🌙 ✨ ♥ ☺' > "$f/hearts-moon"
printf '%s' 'Tab	here ¥ ‾ — é à ñ © ° ± × ÷ §' > "$f/latin"
cp "$examples/small.txt" "$f/example-small"
printf '%s' 'a?b ?? ☺? ?☺ 𝄞?' > "$f/question-marks"
printf '%s' '&amp;hearts; &&#38; &#x41;&#65;&#X41; &#x4a;&#x4A; &amp' > "$f/literal-references"
printf '%s' '&#55357;&#56832; &#xDC00; &#xD800;&#xD800; &#1114111; &#1114112; &#4294967361;' > "$f/surrogates"
printf '%s' '♥あ🌙?' | iconv -f UTF-8 -t UTF-16LE > "$f/utf16"
thread_utf8 | sjis > "$f/thread-cp932"
printf '%s' '&thetasym;&zwj;&euro;&Alpha;&alpha;&lArr;&hArr;&diams;' > "$f/entities"

# conversion: options byte, three start and three end separators (each ended by a
# NUL), the document. Options: bit 0 EUC-JP, bits 1-2 nonzero: pictures cannot be
# opened, bit 3 space collapsing, bits 4-5 document name.
c=$out/conversion
conv() {  # conv FILE OPTIONS START1 START2 START3 END1 END2 END3 < document
  { printf "\\x$2"; printf '%s\0' "$3" "$4" "$5" "$6" "$7" "$8"; cat; } > "$c/$1"
}
thread_utf8 | crlf | sjis | conv thread-sjis 00 '<dd>' '' '' '\n' '<dt>' '</dl>'
thread_utf8 | crlf | euc | conv thread-euc 01 '<dd>' '' '' '\n' '<dt>' '</dl>'
thread_utf8 | sjis | conv thread-lf-no-pictures 0a '<dd>' '' '' '\n' '<dt>' '</dl>'
printf 'x||y|z<DD>w' | conv same-separator 00 '|' '<dd>' '' '|' '' ''
printf '<dt>1<dd><img src="./thread/001.png">\r\n<dt>2<dd>AA\r\n<dt>3<dd><img src="./thread/0002.png">\r\n' |
  conv converted-before 00 '<dd>' '' '' '\n' '<dt>' '</dl>'
printf '<dd><img src="./スレッド/004.png">\r\n<dd>新しい\r\n' | sjis |
  conv converted-before-japanese-name 10 '<dd>' '' '' '\n' '<dt>' '</dl>'
printf '前【AA】（´∀｀）【/AA】後【AA】ｵﾏｴﾓﾅｰ' | sjis |
  conv brackets-sjis 08 "$(printf '【AA】' | sjis)" '' '' "$(printf '【/AA】' | sjis)" '' ''
printf '前【AA】（´∀｀）【/AA】後【AA】ｵﾏｴﾓﾅｰ' | euc |
  conv brackets-euc 01 "$(printf '【AA】' | sjis)" '' '' "$(printf '【/AA】' | sjis)" '' ''
printf 'ソ\\表。x' | sjis | conv second-byte 00 '\' '' '' "$(printf '。' | sjis)" '' ''
printf '' | conv empty 00 '<dd>' '' '' '\n' '<dt>' '</dl>'
sed 's/^/<dd>/' "$examples/large.txt" | crlf | sjis | conv example-large 00 '<dd>' '' '' '\n' '<dt>' '</dl>'
{ printf '<dd>'; printf 'ｱｲｳ' | euc; printf '\x8f\xa2\xaf\xb0\x41<br>\r\n<dd>\x8e'; } |
  conv euc-kana-and-odd-bytes 21 '<dd>' '' '' '\n' '' ''
printf '<dd>a\r\n<dd>b' | conv kana-name 30 '<dd>' '' '' '\n' '' ''
printf '<dd><img src="./thread/998.png">\r\n<dd>a\r\n<dd>b\r\n<dd>c' |
  conv numbers-past-999 00 '<dd>' '' '' '\n' '' ''
printf '<dd><img src="./thread/1000000000.png">\r\n<dd><img src="./thread/0999.png">\r\n<dd>a' |
  conv long-numbers 00 '<dd>' '' '' '\n' '' ''

# code_convert: EUC-JP and Shift-JIS text, valid and not.
k=$out/code_convert
thread_utf8 | euc > "$k/thread-euc"
thread_utf8 | sjis > "$k/thread-sjis"
printf 'ｱｽｷｰｱｰﾄ' | euc > "$k/kana-euc"
printf 'ab\x8e' > "$k/trailing-kana-prefix"
printf '\xf0\x40\x88\x9f\x81\x40\x81\x80\x82' > "$k/user-area-and-lone-lead"
printf '\x8f\xa2\xaf\xb0\x41\xa1\xfe\xff\x80' > "$k/odd-euc"
euc < "$examples/medium.txt" > "$k/example-medium-euc"

# profile: options byte, the existing file, a NUL, then entries
# "section \x01 key \x01 value" separated by \x02.
p=$out/profile
fresh() {
  printf '[TargetFilePage]\r\nstrSepalaterStart1="<dd>"\r\nstrSepalaterStart2=""\r\nstrSepalaterStart3=""\r\n'
  printf 'strSepalaterEnd1="\\n"\r\nstrSepalaterEnd2="<dt>"\r\nstrSepalaterEnd3="</dl>"\r\nbBackup=TRUE\r\niCode=0\r\n'
  printf '[TargetFolderPage]\r\nstrFileFilter="*.htm"\r\nbSubFolder=TRUE\r\nstrSepalaterStart1="<dd>"\r\n'
  printf 'strSepalaterStart2=""\r\nstrSepalaterStart3=""\r\nstrSepalaterEnd1="\\n"\r\nstrSepalaterEnd2="<dt>"\r\n'
  printf 'strSepalaterEnd3="</dl>"\r\nbBackup=TRUE\r\niCode=0\r\n'
  printf '[General]\r\ncolFore=#000000\r\ncolBack=#FFFFFF\r\niMargin=0\r\nbSpace=TRUE\r\n'
}
prof() {  # prof FILE OPTIONS ENTRIES < settings file
  { printf "\\x$2"; cat; printf '\0'; printf "$3"; } > "$p/$1"
}
fresh | prof fresh 00 'General\x01colFore\x01#0000FF\x02TargetFilePage\x01strSepalaterStart1\x01"<pre>"'
fresh | sed 's/<dd>/【AA】/; s/"<\/dl>"/"【\/AA】"/; s/iMargin=0/iMargin=-7/; s/\r$//' | sjis |
  prof japanese-lf 00 'TargetFolderPage\x01strFileFilter\x01*.html\x02General\x01bSpace\x01FALSE'
printf '; comment\r\n[Other]\r\nkey=value\r\n[General]\r\niMargin = 12 \r\n\r\n\r\n[Last]\r\nx=1' |
  prof foreign 01 'General\x01colBack\x01#123456\x02Last\x01y\x012\x02New\x01k\x01v'
printf '' | prof empty 02 'A\x01k\x01v\x02a\x01K\x01w\x02B\x01k\x01 spaced \x02C\x01q\x01"quoted"'
printf '[general]\r\nCOLFORE=#FF\r\n[General]\r\ncolFore=#00FF00\r\n[GENERAL]\r\nbSpace=true\r\n' |
  prof duplicates 00 'General\x01colfore\x01#0000FF'
fresh | { printf '\xef\xbb\xbf'; cat; } | prof byte-order-mark 03 'General\x01iMargin\x015'
fresh | tr -d '\n' | prof cr-only 00 'General\x01iMargin\x015'
printf '[TargetFolderPage]\r\nstrFileFilter='"'"'*.html'"'"'\r\nstrSepalaterStart1=""""\r\nstrSepalaterEnd1="a"b"c"\r\n' |
  prof quotes 00 'TargetFolderPage\x01strSepalaterStart2\x01x"y'
fresh | prof refused-names 01 ' A\x01k\x01v\x02A]\x01k\x01v\x02A\x01k=\x01v\x02A\x01[k\x01v'
printf '[General]\r\niMargin=3' | prof no-final-line-break 00 'General\x01bSpace\x01TRUE\x02General\x01iMargin\x014'
printf '[セクション]\r\nキー=値\r\n' | sjis | prof japanese-names 01 "$(printf 'セクション\001キー\001新しい値' | sjis)"
printf '[A\x81]]\r\nk=1\r\n[B]\r\nk="%s"\r\n' "$(printf 'x%.0s' $(seq 520))" |
  prof lead-byte-and-long-value 00 'B\x01k\x01y\x02A\x01k\x012'

# collection: a kind byte (bit 0: .ast), then the collection.
t=$out/collection
{ printf '\x00'; for e in small medium; do cat "$examples/$e.txt"; echo '[SPLIT]'; done; } | crlf | sjis > "$t/mlt-cp932"
{ printf '\x00\xef\xbb\xbf'; cat "$examples/small.txt"; printf '[SPLIT]\n[SPLIT]\n \n[SPLIT]\rx[SPLIT]\r[SPLIT] \n'; } > "$t/mlt-utf8-odd"
{ printf '\x01'; printf '前置き\n[AA][モナー <&">]\n'; cat "$examples/small.txt"; printf '[AA][ゾ]\n[AA][]\n\n[AA][x]]]\nend'; } |
  crlf | sjis > "$t/ast-cp932"
{ printf '\x01[AA][\x83\x5d\r\nb\r\n[AA][\xe2\x88\xa7]\xff\r\n[AA][a\x81]\r\nc'; } > "$t/ast-broken"

# blanks: a form byte (bit 0: code page 932, bit 1: a stretch, bit 2: every space
# drawn, bit 3: a stretch's line ends break lines), the pixel (two bytes, the low one
# first), the gap's place, then the text.
b=$out/blanks
{ printf '\x00\x90\x01\x05'; cat ../support/art.mlt; } > "$b/art-utf8"
{ printf '\x01\xc8\x00\x03'; crlf < "$examples/small.txt" | sjis; } > "$b/small-cp932"
{ printf '\x02\x40\x01\x02'; thread_utf8; } > "$b/thread-stretch"
{ printf '\x0a\x00\x01\x07'; printf '\n<pre>'; cat "$examples/small.txt"; printf '</pre>\n'; } > "$b/pre-line-breaks"
{ printf '\x04\x00\x04\x00'; printf '  a  b &#8202;&ensp;\xe3\x80\x80 \n\n\xe3\x80\x80\n'; } > "$b/spaces"

# request: a method byte (GET POST HEAD OPTIONS PUT), then the target, the Content-Type
# and the If-None-Match each ended by a line feed, then the body.
q=$out/request
{ printf '\x01/render?margin=4&fore=CC0000\ntext/plain; charset=utf-8\n\n'; cat "$examples/small.txt"; } > "$q/post-utf8"
{ printf '\x01/render?indexed=1&space-sim=0\ntext/plain;charset="Shift_JIS"\nW/"x", "y"\n'; sjis < "$examples/small.txt"; } > "$q/post-sjis"
printf '\x00/render?text=%%E2%%88%%A7%%EF%%BC%%BF%%E2%%88%%A7+%%3Cb%%3E&html=1&back=%%23FFF8E0\n\n*\n' > "$q/get-html"
printf '\x00/render?text=a&margin=1%%&x\n\n\n' > "$q/bad-query"
printf '\x01/render?encoding=cp932\napplication/x-www-form-urlencoded; charset=euc-jp\n\ntext=a' > "$q/wrong-type"
printf '\x02/app.js\n\n"a-0"\n' > "$q/head-asset"
printf '\x03/render\n\n\n' > "$q/options"
printf '\x04/healthz\n\n\n' > "$q/put-health"
