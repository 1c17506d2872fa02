#!/usr/bin/env bash
# The page of `quarvel-cli render-pieces` in a real browser (headless Chromium): every
# picture loads at the size the page gives it, and the captions read as the names
# were written. Then one picture is taken away, and the check must notice.
# Usage: pieces_browser_test.sh QUARVEL-CLI. Exit 77 (skipped) without Chromium.
set -euo pipefail
cli=$1

if ! command -v chromium >/dev/null 2>&1; then
  echo "SKIPPED: chromium is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi

work=$(mktemp -d /tmp/quarvel-browser.XXXXXX)
trap 'rm -rf "$work"' EXIT

# An .ast collection in code page 932 with CR LF: names with characters that HTML
# escapes, a Japanese name (モナー), a piece of 51 lines.
{
  printf '[AA][<b>&"one"</b>]\r\n  \x81\xC8\x81\x51\x81\xC8\r\n(\x81\x4C\x83\xD6\x81\x4D)\r\n'
  printf '[AA][\x83\x82\x83\x69\x81\x5B]\r\n<&>\r\n'
  printf '[AA][tall]\r\n'
  for i in $(seq 1 51); do printf 'line %s\r\n' "$i"; done
  printf '[AA][last]\r\nend'
} >"$work/art.ast"
"$cli" render-pieces "$work/art.ast" -o "$work/out" --jobs 2 2>"$work/stderr"

# The page as it is, with a script that reports once everything has loaded.
check='<script>
window.addEventListener("load", () => {
  const images = [...document.images];
  const loaded = images.filter(i => i.complete && i.naturalWidth > 0 &&
      i.naturalWidth == i.getAttribute("width") && i.naturalHeight == i.getAttribute("height"));
  const captions = [...document.querySelectorAll("figcaption a")].map(c => c.textContent);
  const result = document.createElement("pre");
  result.id = "result";
  result.textContent = "loaded " + loaded.length + " of " + images.length + "\n" + captions.join("\n");
  document.body.append(result);
});
</script>'

# Prints what the script found in the page (a copy beside index.html).
run_check() {
  local page="$work/out/check.html"
  CHECK=$check awk '/<\/body>/ { print ENVIRON["CHECK"] } { print }' "$work/out/index.html" >"$page"
  timeout 60 chromium --headless --no-sandbox --disable-gpu --user-data-dir="$work/profile" \
    --dump-dom "file://$page" 2>"$work/chromium.log" |
    sed -n '/<pre id="result">/,/<\/pre>/p' | sed -e 's/.*<pre id="result">//' -e 's/<\/pre>.*//'
}

expected='loaded 4 of 4
1 &lt;b&gt;&amp;"one"&lt;/b&gt;
2 モナー
3 tall
4 last'
found=$(run_check)
if [ "$found" != "$expected" ]; then
  echo "FAILED: the page in the browser:"
  echo "$found"
  echo "expected:"
  echo "$expected"
  cat "$work/chromium.log"
  exit 1
fi

rm "$work/out/003.png"
found=$(run_check | head -n 1)
if [ "$found" != "loaded 3 of 4" ]; then
  echo "FAILED: a missing picture went unnoticed: $found"
  exit 1
fi
echo "every picture loaded in $(chromium --version 2>/dev/null)"
