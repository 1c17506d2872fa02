#!/usr/bin/env python3
"""The page of `quarvel-cli render-pieces` (index.html) opened from the disk in a real
browser (headless Chromium, through its DevTools protocol) as a 390-pixel-wide phone
screen of two device pixels per pixel, with pictures at --scale 2: the page does not
scroll sideways (a wide piece scrolls in its frame); typing in the search box leaves
only the pieces whose number, name or text holds it; a click or Enter on a picture
copies its piece's text, the button beside it the picture itself; the dark scheme
is followed; no console error.

Usage: gallery_browser_test.py QUARVEL-CLI
Exit 77 (skipped) without Chromium. With QUARVEL_SCREENSHOTS=DIR, screenshots of the
page are left there."""

import base64
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from browser import READ_CLIPBOARD, Browser, Failure, browser_test_main, decode_png  # noqa: E402
from pieces_browser_test import render_pieces  # noqa: E402

# An .ast collection in code page 932 with CR LF: a name with characters that HTML
# escapes, a Japanese name (モナー), a piece of 12 lines, a piece of 1000 pixels.
COLLECTION = (
    b'[AA][<b>&"one"</b>]\r\n  \x81\xC8\x81\x51\x81\xC8\r\n(\x81\x4C\x83\xD6\x81\x4D)\r\n'
    b"[AA][\x83\x82\x83\x69\x81\x5B]\r\n<&> mona &#9829; \xB7\xD7\r\n"
    b"[AA][tall]\r\n" + b"".join(b"line %d\r\n" % i for i in range(1, 13)) +
    b"[AA][wide]\r\n" + b"\x81\x5C" * 60 + b"\r\nend")
TEXTS = ['  ∧＿∧\n(´ω｀)', "<&> mona &#9829; ｷﾗ", "\n".join("line %d" % i for i in range(1, 13)), "―" * 60 + "\nend"]

VISIBLE = "[...document.querySelectorAll('main figure')].filter(f => !f.hidden).map(f => f.id).join(' ')"


def type_search(browser, text):
    browser.js("{const s = document.getElementById('search'); s.focus(); s.select();}")
    browser.call("Input.dispatchKeyEvent", {"type": "keyDown", "key": "Backspace", "code": "Backspace",
                                            "windowsVirtualKeyCode": 8})
    browser.call("Input.dispatchKeyEvent", {"type": "keyUp", "key": "Backspace", "code": "Backspace",
                                            "windowsVirtualKeyCode": 8})
    for ch in text:
        browser.call("Input.insertText", {"text": ch})
    return browser.js(VISIBLE)


def run(cli, work, shots):
    out = render_pieces(cli, work, COLLECTION, "--scale", "2")
    browser = Browser(work)
    try:
        browser.open_tab()
        browser.call("Emulation.setDeviceMetricsOverride",
                     {"width": 390, "height": 844, "deviceScaleFactor": 2, "mobile": True})
        browser.call("Browser.grantPermissions",
                     {"permissions": ["clipboardReadWrite", "clipboardSanitizedWrite"]}, browser=True)
        browser.navigate("file://" + os.path.join(out, "index.html"))

        # Every picture loaded, at scale 2 in a box of its scale-1 size.
        sizes = browser.js("[...document.images].map(i => [i.complete, i.naturalWidth, i.width, i.naturalHeight, "
                           "i.height])")
        if len(sizes) != 4 or any(not c or nw != 2 * w or nh != 2 * h for c, nw, w, nh, h in sizes):
            raise Failure("the pictures as loaded: " + json.dumps(sizes))
        if shots:
            browser.screenshot(os.path.join(shots, "gallery-390.png"))
        # No sideways scroll of the page; the wide piece scrolls in its frame.
        page = browser.js("[innerWidth, document.documentElement.scrollWidth, document.body.scrollWidth]")
        if page[0] != 390 or max(page[1:]) > 390:
            raise Failure("the page scrolls sideways at 390 pixels: " + json.dumps(page))
        frame = browser.js("(() => { const f = document.querySelector('#p4 .frame'); "
                           "return [f.clientWidth, f.scrollWidth]; })()")
        if not frame[1] > frame[0]:
            raise Failure("the wide piece does not scroll in its frame: " + json.dumps(frame))

        # The search: by name (any width), number (also full-width), text held, as written
        # and as drawn (its references decoded).
        for typed, expected in [("モナ", "p2"), ("MONA", "p2"), ("キラ", "p2"), ("♥", "p2"), ("&#9829;", "p2"),
                                ("3", "p3"), ("０４", "p4"), ("line 12", "p3"),
                                ("∧＿∧", "p1"), ('"one"', "p1"), ("e", "p1 p3 p4"), ("nothing like it", ""),
                                ("", "p1 p2 p3 p4")]:
            shown = type_search(browser, typed)
            if shown != expected:
                raise Failure("searching '%s' leaves %s, not %s" % (typed, shown, expected))
        shown = type_search(browser, "line")
        if browser.js("document.getElementById('count').textContent") != "1 of 4 pieces":
            raise Failure("the count says " + browser.js("document.getElementById('count').textContent"))
        if shots:
            browser.screenshot(os.path.join(shots, "gallery-search.png"))
        type_search(browser, "")

        # A click copies the text; Enter on the focused picture too.
        for i, how in ((1, "click"), (3, "enter"), (2, "click")):
            browser.js("navigator.clipboard.writeText('')")
            if how == "click":
                box = browser.js("(() => { const f = document.querySelector('#p%d .frame'); f.scrollIntoView(); "
                                 "const r = f.getBoundingClientRect(); return [r.x + 5, r.y + 5]; })()" % i)
                for kind in ("mousePressed", "mouseReleased"):
                    browser.call("Input.dispatchMouseEvent", {"type": kind, "x": box[0], "y": box[1],
                                                              "button": "left", "clickCount": 1})
            else:
                browser.js("document.querySelector('#p%d .frame').focus()" % i)
                for kind in ("keyDown", "keyUp"):
                    browser.call("Input.dispatchKeyEvent", {"type": kind, "key": "Enter", "code": "Enter",
                                                            "windowsVirtualKeyCode": 13})
            browser.wait_for("document.getElementById('status').textContent.includes('text of %d')" % i,
                             "the text's copy")
            copied = browser.js("navigator.clipboard.readText()")
            if copied != TEXTS[i - 1]:
                raise Failure("piece %d by %s copied %r" % (i, how, copied))

        # The button copies the picture: the file's pixels.
        browser.js("document.querySelector('#p2 button').click()")
        browser.wait_for("document.getElementById('status').textContent.includes('picture of 2')", "the copy")
        status = browser.js("document.getElementById('status').textContent")
        if not status.startswith("Copied"):
            raise Failure("copying the picture said: " + status)
        copied = browser.js(READ_CLIPBOARD)
        width, height, rgb = decode_png(open(os.path.join(out, "002.png"), "rb").read())
        if (copied["width"], copied["height"]) != (width, height) or base64.b64decode(copied["rgb"]) != rgb:
            raise Failure("the copied picture's pixels are not 002.png's")

        # The dark scheme.
        light = browser.js("getComputedStyle(document.body).backgroundColor")
        browser.call("Emulation.setEmulatedMedia",
                     {"media": "screen", "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        browser.wait_for("matchMedia('(prefers-color-scheme: dark)').matches", "the dark scheme")
        dark = browser.js("getComputedStyle(document.body).backgroundColor")
        if light != "rgb(242, 242, 242)" or dark != "rgb(28, 28, 30)":
            raise Failure("light and dark backgrounds: %s, %s" % (light, dark))
        if shots:
            browser.screenshot(os.path.join(shots, "gallery-dark.png"))

        problems = [e for e in browser.events if
                    e.get("method") == "Runtime.exceptionThrown" or
                    (e.get("method") == "Runtime.consoleAPICalled" and e["params"]["type"] in ("error", "warning")) or
                    (e.get("method") == "Log.entryAdded" and e["params"]["entry"]["level"] in ("error", "warning"))]
        if problems:
            raise Failure("console errors: " + json.dumps(problems, ensure_ascii=False)[:2000])
        print("the gallery searched, copied and fit 390 pixels in", browser.js("navigator.userAgent"))
    finally:
        browser.close()


if __name__ == "__main__":
    sys.exit(browser_test_main(__doc__, 1, run, "quarvel-gallery."))
