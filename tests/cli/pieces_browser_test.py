#!/usr/bin/env python3
"""The page of `quarvel-cli render-pieces` in a real browser (headless Chromium): every
picture loads at the size the page gives it, and the captions read as the names were
written. Then one picture is taken away, and the check must notice.

Usage: pieces_browser_test.py QUARVEL-CLI
Exit 77 (skipped) without Chromium."""

import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from browser import Browser, Failure, browser_test_main  # noqa: E402

# An .ast collection in code page 932 with CR LF: names with characters that HTML
# escapes, a Japanese name (モナー), a piece of 51 lines.
COLLECTION = (
    b'[AA][<b>&"one"</b>]\r\n  \x81\xC8\x81\x51\x81\xC8\r\n(\x81\x4C\x83\xD6\x81\x4D)\r\n'
    b"[AA][\x83\x82\x83\x69\x81\x5B]\r\n<&>\r\n"
    b"[AA][tall]\r\n" + b"".join(b"line %d\r\n" % i for i in range(1, 52)) +
    b"[AA][last]\r\nend")

# The pictures loaded at the size their tags give, of all, and the captions' texts.
CHECK = """(() => {
  const images = [...document.images];
  const loaded = images.filter(i => i.complete && i.naturalWidth > 0 &&
      i.naturalWidth == i.getAttribute("width") && i.naturalHeight == i.getAttribute("height"));
  return [loaded.length, images.length, [...document.querySelectorAll("figcaption a")].map(c => c.textContent)];
})()"""


def render_pieces(cli, work, collection, *options):
    """The page of `collection` (.ast bytes) as render-pieces makes it: its folder."""
    with open(os.path.join(work, "art.ast"), "wb") as f:
        f.write(collection)
    out = os.path.join(work, "out")
    r = subprocess.run([cli, "render-pieces", os.path.join(work, "art.ast"), "-o", out, *options],
                       capture_output=True, timeout=60)
    if r.returncode != 0:
        raise Failure("render-pieces failed: " + r.stderr.decode())
    return out


def run(cli, work, shots):
    out = render_pieces(cli, work, COLLECTION, "--jobs", "2")
    page = "file://" + os.path.join(out, "index.html")
    browser = Browser(work)
    try:
        browser.open_tab()
        browser.navigate(page)
        found = browser.js(CHECK)
        expected = [4, 4, ['1 <b>&"one"</b>', "2 モナー", "3 tall", "4 last"]]
        if found != expected:
            raise Failure("the page in the browser: " + json.dumps(found, ensure_ascii=False))

        os.remove(os.path.join(out, "003.png"))
        browser.navigate(page)
        found = browser.js(CHECK)
        if found[:2] != [3, 4]:
            raise Failure("a missing picture went unnoticed: " + json.dumps(found[:2]))
        print("every picture loaded in", browser.js("navigator.userAgent"))
    finally:
        browser.close()


if __name__ == "__main__":
    sys.exit(browser_test_main(__doc__, 1, run, "quarvel-browser."))
