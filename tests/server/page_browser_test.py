#!/usr/bin/env python3
"""The page of quarvel-server in a real browser (headless Chromium, driven through its
DevTools protocol over a pipe): art pasted into the box is drawn a moment later; the
preview's pixels and the downloaded file are those of `quarvel-cli render` with the
same look; the copied picture has the same pixels; warnings and size are shown; text
that looks like HTML stays text; no console error, no refused resource.

Usage: page_browser_test.py QUARVEL-SERVER QUARVEL-CLI EXAMPLES-DIR
Exit 77 (skipped) without Chromium. With QUARVEL_SCREENSHOTS=DIR, screenshots of the
page are left there."""

import base64
import json
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from browser import READ_CLIPBOARD, TIMEOUT, Browser, Failure, browser_test_main, decode_png  # noqa: E402

def cli_picture(cli, text, args):
    r = subprocess.run([cli, "render", "-", "-o", "-"] + args, input=text.encode(), capture_output=True, timeout=60)
    if r.returncode != 0:
        raise Failure("quarvel-cli render failed: " + r.stderr.decode())
    return r.stdout


def start_server(server, work):
    log = open(os.path.join(work, "server.log"), "wb")
    proc = subprocess.Popen([server, "--listen", "127.0.0.1:0"], stdin=subprocess.DEVNULL, stderr=log)
    deadline = time.time() + TIMEOUT
    while time.time() < deadline:
        m = re.search(r"listening on (http://127\.0\.0\.1:\d+/)", open(log.name, encoding="utf-8").read())
        if m:
            return proc, m.group(1)
        time.sleep(0.02)
    proc.kill()
    raise Failure("quarvel-server did not start: " + open(log.name).read())


# Reads what the page shows: the preview's pixels (RGB), through a canvas. (Its bytes are
# the download's, checked there: the page's policy lets no script fetch them.)
READ_PREVIEW = """(async () => {
  const img = document.getElementById('picture');
  const canvas = document.createElement('canvas');
  const density = Number(img.srcset.split(' ').pop().slice(0, -1));  // "blob:... 2x"
  canvas.width = img.naturalWidth * density; canvas.height = img.naturalHeight * density;
  const context = canvas.getContext('2d');
  context.drawImage(img, 0, 0, canvas.width, canvas.height);
  const rgba = context.getImageData(0, 0, canvas.width, canvas.height).data;
  const rgb = new Uint8Array(rgba.length / 4 * 3);
  for (let i = 0, j = 0; i < rgba.length; i += 4) { rgb[j++] = rgba[i]; rgb[j++] = rgba[i + 1]; rgb[j++] = rgba[i + 2]; }
  const b64 = (a) => { let s = ''; for (let i = 0; i < a.length; i += 8192) s += String.fromCharCode(...a.subarray(i, i + 8192)); return btoa(s); };
  return {rgb: b64(rgb), width: canvas.width, height: canvas.height,
          size: document.getElementById('size').textContent};
})()"""

def check_preview(browser, cli, text, args, what):
    expected = cli_picture(cli, text, args)
    shown = browser.js(READ_PREVIEW)
    width, height, rgb = decode_png(expected)
    if (shown["width"], shown["height"]) != (width, height) or base64.b64decode(shown["rgb"]) != rgb:
        raise Failure(what + ": the preview's pixels are not those of quarvel-cli's file")
    if "%d × %d ピクセル、" % (width, height) not in shown["size"]:
        raise Failure(what + ": the size shown is '%s'" % shown["size"])
    return expected


def drawn(browser):
    return int(browser.js("document.body.dataset.drawn"))


def run(server, cli, examples, work, shots):
    server_proc, url = start_server(server, work)
    browser = Browser(work)
    try:
        browser.open_tab()
        downloads = os.path.join(work, "downloads")
        os.mkdir(downloads)
        browser.call("Browser.setDownloadBehavior",
                     {"behavior": "allow", "downloadPath": downloads, "eventsEnabled": True}, browser=True)
        browser.call("Browser.grantPermissions", {"origin": url.rstrip("/"),
                     "permissions": ["clipboardReadWrite", "clipboardSanitizedWrite"]}, browser=True)
        # Japanese asked for first (headless Chromium sends en-US whatever --lang says).
        agent = browser.js("navigator.userAgent")
        browser.call("Emulation.setUserAgentOverride", {"userAgent": agent, "acceptLanguage": "ja,en-US;q=0.8"})
        browser.navigate(url)
        browser.wait_for("document.body.dataset.state === 'empty'", "the empty page")
        if shots:
            browser.screenshot(os.path.join(shots, "1-empty.png"))

        # Pasted art (as a paste or the input method inserts it) is drawn a moment later.
        art = open(os.path.join(examples, "small.txt"), encoding="utf-8").read()
        browser.js("document.getElementById('art').focus()")
        browser.call("Input.insertText", {"text": art})
        browser.wait_for("document.body.dataset.drawn === '1' && document.body.dataset.state === 'ready'",
                         "the first picture")
        expected = check_preview(browser, cli, art, [], "pasted art")
        if shots:
            browser.screenshot(os.path.join(shots, "2-drawn.png"))

        # Typing goes on: one more picture, after the last key.
        before = drawn(browser)
        for key in " (´ー｀)":
            browser.call("Input.insertText", {"text": key})
        browser.wait_for("document.body.dataset.drawn === '%d' && document.body.dataset.state === 'ready'"
                         % (before + 1), "the picture of the typed text")
        art += " (´ー｀)"
        check_preview(browser, cli, art, [], "typed art")

        # The look: every control at once, one new picture.
        before = drawn(browser)
        browser.js("""(() => {
          const set = (id, prop, value) => { const e = document.getElementById(id); e[prop] = value;
            e.dispatchEvent(new Event('input', {bubbles: true})); e.dispatchEvent(new Event('change', {bubbles: true})); };
          set('fore', 'value', '#cc0000'); set('back', 'value', '#fff8e0'); set('margin', 'value', '8');
          set('space', 'checked', false); set('indexed', 'checked', true);
        })()""")
        browser.wait_for("document.body.dataset.drawn === '%d' && document.body.dataset.state === 'ready'"
                         % (before + 1), "the picture in the new look")
        look = ["--fore", "CC0000", "--back", "FFF8E0", "--margin", "8", "--no-space-sim", "--indexed"]
        expected = check_preview(browser, cli, art, look, "the new look")
        if shots:
            browser.screenshot(os.path.join(shots, "3-look.png"))

        # The download is the file.
        browser.js("document.getElementById('save').click()")
        browser.wait_event(lambda e: e.get("method") == "Browser.downloadProgress"
                           and e["params"].get("state") in ("completed", "canceled"), "the download")
        saved = os.path.join(downloads, "quarvel.png")
        if not os.path.exists(saved) or open(saved, "rb").read() != expected:
            raise Failure("the downloaded file is not quarvel-cli's: " + str(os.listdir(downloads)))

        # The copied picture has the file's pixels.
        browser.js("document.getElementById('copy').click()")
        browser.wait_for("document.getElementById('note').textContent !== '' || "
                         "!document.getElementById('error').hidden", "the copy")
        note = browser.js("document.getElementById('note').textContent + document.getElementById('error').textContent")
        if note != "画像をコピーしました":
            raise Failure("copying said: " + note)
        copied = browser.js(READ_CLIPBOARD)
        width, height, rgb = decode_png(expected)
        if (copied["width"], copied["height"]) != (width, height) or base64.b64decode(copied["rgb"]) != rgb:
            raise Failure("the copied picture's pixels are not the file's")

        # A scale of 2: the file of `render --scale 2`, shown at the size of scale 1.
        set_control = """(() => { const e = document.getElementById('%s'); e.%s = %s;
          e.dispatchEvent(new Event('change', {bubbles: true})); })()"""
        before = drawn(browser)
        browser.js(set_control % ("scale", "value", "'2'"))
        browser.wait_for("document.body.dataset.drawn === '%d' && document.body.dataset.state === 'ready'"
                         % (before + 1), "the picture at scale 2")
        width = decode_png(check_preview(browser, cli, art, look + ["--scale", "2"], "scale 2"))[0]
        shown = browser.js("document.getElementById('picture').width")
        if shown * 2 != width:
            raise Failure("the picture at scale 2 is not shown at the size of scale 1: " + json.dumps(shown))
        # A transparent background: the file of `render --back none`, as its size tells.
        before = drawn(browser)
        browser.js(set_control % ("clear", "checked", "true"))
        browser.wait_for("document.body.dataset.drawn === '%d' && document.body.dataset.state === 'ready'"
                         % (before + 1), "the picture without a background")
        clear_file = cli_picture(cli, art, look + ["--scale", "2", "--back", "none"])
        if "{:,} バイト".format(len(clear_file)) not in browser.js("document.getElementById('size').textContent"):
            raise Failure("the picture without a background is not render --back none's")
        # The link holds the art and the look after '#', and brings them back.
        href = browser.js("document.getElementById('link').href")
        if not href.startswith(url + "#text=") or "scale=2" not in href or "back=none" not in href:
            raise Failure("the link is " + href)
        browser.call("Page.navigate", {"url": "about:blank"})
        browser.wait_event(lambda e: e.get("method") == "Page.loadEventFired", "about:blank")
        browser.call("Page.navigate", {"url": href})
        browser.wait_event(lambda e: e.get("method") == "Page.loadEventFired", "the link")
        browser.wait_for("document.body.dataset.drawn === '1' && document.body.dataset.state === 'ready'",
                         "the picture of the link")
        if browser.js("document.getElementById('art').value") != art.replace("\r\n", "\n"):
            raise Failure("the link did not bring the art back")
        if browser.js("document.getElementById('size').textContent").find("{:,} バイト".format(len(clear_file))) < 0:
            raise Failure("the link did not bring the look back")
        for control, prop, value in (("clear", "checked", "false"), ("scale", "value", "'auto'")):
            before = drawn(browser)
            browser.js(set_control % (control, prop, value))
            browser.wait_for("document.body.dataset.drawn === '%d' && document.body.dataset.state === 'ready'"
                             % (before + 1), "the picture after " + control)
        # The dark scheme.
        light = browser.js("getComputedStyle(document.body).backgroundColor")
        browser.call("Emulation.setEmulatedMedia",
                     {"media": "screen", "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        browser.wait_for("matchMedia('(prefers-color-scheme: dark)').matches", "the dark scheme")
        dark = browser.js("getComputedStyle(document.body).backgroundColor")
        if light != "rgb(246, 247, 249)" or dark != "rgb(22, 25, 31)":
            raise Failure("light and dark backgrounds: %s, %s" % (light, dark))
        if shots:
            browser.screenshot(os.path.join(shots, "5-dark.png"))
        browser.call("Emulation.setEmulatedMedia", {"media": "", "features": []})

        # Text that looks like HTML stays text; warnings for what is left out.
        before = drawn(browser)
        hostile = '<img src=x onerror="document.title=\'pwned\'"><script>document.title="pwned"</script>\n'
        browser.js("{const a = document.getElementById('art'); a.value = %s; "
                   "a.dispatchEvent(new Event('input', {bubbles: true}))}" % json.dumps("あ" * 80 + "\n" + hostile * 51))
        browser.wait_for("document.body.dataset.drawn === '%d' && document.body.dataset.state === 'ready'"
                         % (before + 1), "the picture of 51 lines")
        warnings = browser.js("[...document.querySelectorAll('#warnings li')].map(li => li.textContent)")
        if warnings != ["警告: 50行を超えた分は描かれません", "警告: 幅1024ピクセルを超えた分は切れます"]:
            raise Failure("the warnings shown: " + json.dumps(warnings, ensure_ascii=False))
        if browser.js("document.title") == "pwned" or browser.js("document.images.length") != 2:
            raise Failure("text of the box became part of the page")
        if shots:
            browser.screenshot(os.path.join(shots, "4-warnings.png"))

        # A margin the service does not take is said at once; an emptied box shows nothing.
        browser.js("{const m = document.getElementById('margin'); m.value = '500'; "
                   "m.dispatchEvent(new Event('input', {bubbles: true}))}")
        browser.wait_for("document.body.dataset.state === 'error'", "the margin's message")
        if "余白は0から100まで" not in browser.js("document.getElementById('error').textContent"):
            raise Failure("no message for a margin of 500")
        browser.js("{const a = document.getElementById('art'); a.value = ''; "
                   "a.dispatchEvent(new Event('input', {bubbles: true}))}")
        browser.wait_for("document.body.dataset.state === 'empty' && document.getElementById('picture').hidden",
                         "the empty page again")

        # The look is kept across a reload.
        browser.call("Page.reload")
        browser.wait_event(lambda e: e.get("method") == "Page.loadEventFired", "the reload")
        if browser.js("document.getElementById('fore').value + document.getElementById('indexed').checked") \
                != "#cc0000true":
            raise Failure("the look was not kept across a reload")

        # The switch puts the page in English over the browser's Japanese, for good: its
        # fixed words and its own messages.
        browser.js("document.querySelector('#language [data-language=\"en\"]').click()")
        browser.call("Page.reload")
        browser.wait_event(lambda e: e.get("method") == "Page.loadEventFired", "the reload in English")
        shown = browser.js("[document.documentElement.lang, document.title, document.getElementById('save').textContent,"
                           " document.querySelector('[aria-pressed=\"true\"]').textContent].join('|')")
        if shown != "en|Quarvel — text art to PNG|Save the PNG|English":
            raise Failure("the page in English: " + shown)
        browser.js("{const m = document.getElementById('margin'); m.value = '500'; "
                   "m.dispatchEvent(new Event('input', {bubbles: true}))}")
        browser.wait_for("document.body.dataset.state === 'error'", "the margin's message in English")
        if "The margin must be" not in browser.js("document.getElementById('error').textContent"):
            raise Failure("the margin's message is not in English")
        if shots:
            browser.screenshot(os.path.join(shots, "6-english.png"))
        # Without a choice kept, the language the browser asks for.
        browser.js("localStorage.removeItem('quarvel.language')")
        browser.call("Emulation.setUserAgentOverride", {"userAgent": agent, "acceptLanguage": "fr,ja;q=0.9"})
        browser.call("Page.reload")
        browser.wait_event(lambda e: e.get("method") == "Page.loadEventFired", "the reload for French")
        if browser.js("document.documentElement.lang + '|' + document.getElementById('copy').textContent") \
                != "en|Copy the picture":
            raise Failure("a browser that asks for French first does not get English")

        problems = [e for e in browser.events if
                    e.get("method") == "Runtime.exceptionThrown" or
                    (e.get("method") == "Runtime.consoleAPICalled" and e["params"]["type"] in ("error", "warning")) or
                    (e.get("method") == "Log.entryAdded" and e["params"]["entry"]["level"] in ("error", "warning"))]
        if problems:
            raise Failure("console errors: " + json.dumps(problems, ensure_ascii=False)[:2000])
        print("the page drew, downloaded and copied quarvel-cli's pictures in", browser.js("navigator.userAgent"))
    finally:
        browser.close()
        server_proc.terminate()
        server_proc.wait(timeout=TIMEOUT)


if __name__ == "__main__":
    sys.exit(browser_test_main(__doc__, 3, run, "quarvel-page.", ("server.log", "chromium.log")))
