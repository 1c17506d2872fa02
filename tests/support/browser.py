"""The one driver of headless Chromium that the tests share: the browser over its
DevTools protocol (a pipe), a PNG reader for what it shows, and the frame of a browser
test (skipped without Chromium, its logs shown on failure).

A test puts this folder on its path:
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
    from browser import Browser, Failure, browser_test_main"""

import base64
import json
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

TIMEOUT = 30  # seconds for any one wait


class Failure(Exception):
    pass


def decode_png(data):
    """RGB rows of an 8-bit RGB or a 1-bit palette PNG, as quarvel writes them."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, palette = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", chunk[:10])
        elif kind == b"PLTE":
            palette = [chunk[i:i + 3] for i in range(0, len(chunk), 3)]
        elif kind == b"IDAT":
            idat += chunk
        pos += 12 + length
    raw = zlib.decompress(idat)
    bpp = 3 if colour == 2 else 1
    stride = (width * 3) if colour == 2 else (width * depth + 7) // 8
    rows, prev, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        if colour == 2:
            rows.append(bytes(line))
        else:
            pixels = b"".join(palette[(line[x // 8] >> (7 - x % 8)) & 1] for x in range(width))
            rows.append(pixels)
    return width, height, b"".join(rows)


class Browser:
    """Chromium with --remote-debugging-pipe: JSON messages ended by NUL on fds 3 and 4."""

    def __init__(self, work):
        to_child_r, self.to_child = os.pipe()
        self.from_child, from_child_w = os.pipe()
        high = [os.dup(fd) for fd in (to_child_r, from_child_w)]  # out of the way of 3 and 4

        def child_fds():
            os.dup2(high[0], 3)
            os.dup2(high[1], 4)

        self.proc = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + os.path.join(work, "profile"), "--remote-debugging-pipe",
             "--window-size=1000,900", "--lang=ja", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(work, "chromium.log"), "wb"), preexec_fn=child_fds, pass_fds=(3, 4))
        for fd in high + [to_child_r, from_child_w]:
            os.close(fd)
        self.buffer, self.next_id, self.events, self.session = b"", 0, [], None

    def open_tab(self, domains=("Runtime", "Log", "Page")):
        """A new tab attached to, its domains enabled, focused as if on screen."""
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in domains:
            self.call(domain + ".enable")
        self.call("Emulation.setFocusEmulationEnabled", {"enabled": True})

    def navigate(self, url):
        """Opens `url` in the tab and waits for its load event."""
        self.call("Page.navigate", {"url": url})
        self.wait_event(lambda e: e.get("method") == "Page.loadEventFired", "page load")

    def close(self):
        self.proc.kill()
        self.proc.wait()

    def _message(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.time()
            if left <= 0 or not select.select([self.from_child], [], [], left)[0]:
                raise Failure("Chromium said nothing in time")
            chunk = os.read(self.from_child, 1 << 20)
            if not chunk:
                raise Failure("Chromium ended")
            self.buffer += chunk
        text, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(text)

    def call(self, method, params=None, browser=False):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if self.session and not browser:
            message["sessionId"] = self.session
        os.write(self.to_child, json.dumps(message).encode() + b"\0")
        deadline = time.time() + TIMEOUT
        while True:
            reply = self._message(deadline)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise Failure(method + ": " + json.dumps(reply["error"]))
                return reply.get("result", {})
            self.events.append(reply)

    def wait_event(self, test, what):
        deadline = time.time() + TIMEOUT
        while True:
            for i, event in enumerate(self.events):
                if test(event):
                    return self.events.pop(i)
            self.events.append(self._message(deadline))
            if time.time() > deadline:
                raise Failure("no " + what + " in time")

    def js(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True, "returnByValue": True})
        if "exceptionDetails" in result:
            raise Failure("script failed: " + expression + ": " + json.dumps(result["exceptionDetails"])[:500])
        return result["result"].get("value")

    def wait_for(self, expression, what):
        deadline = time.time() + TIMEOUT
        while time.time() < deadline:
            if self.js(expression):
                return
            time.sleep(0.05)
        raise Failure("waited in vain for " + what + " (" + expression + ")")

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True})["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))


# Reads the picture on the clipboard (RGB), through a canvas.
READ_CLIPBOARD = """(async () => {
  const items = await navigator.clipboard.read();
  const blob = await items[0].getType('image/png');
  const bitmap = await createImageBitmap(blob);
  const canvas = document.createElement('canvas');
  canvas.width = bitmap.width; canvas.height = bitmap.height;
  const context = canvas.getContext('2d');
  context.drawImage(bitmap, 0, 0);
  const rgba = context.getImageData(0, 0, canvas.width, canvas.height).data;
  const rgb = new Uint8Array(rgba.length / 4 * 3);
  for (let i = 0, j = 0; i < rgba.length; i += 4) { rgb[j++] = rgba[i]; rgb[j++] = rgba[i + 1]; rgb[j++] = rgba[i + 2]; }
  let s = ''; for (let i = 0; i < rgb.length; i += 8192) s += String.fromCharCode(...rgb.subarray(i, i + 8192));
  return {rgb: btoa(s), width: canvas.width, height: canvas.height};
})()"""



def browser_test_main(doc, arguments, run, prefix, logs=("chromium.log",)):
    """Runs `run(*argv[1:], work, shots)` in a fresh folder: 2 on wrong arguments, 77
    (skipped) without Chromium, 1 with the logs' ends on a Failure. With
    QUARVEL_SCREENSHOTS=DIR, `shots` is DIR, where a test may leave screenshots."""
    if len(sys.argv) != arguments + 1:
        print(doc)
        return 2
    if not shutil.which("chromium"):
        print("SKIPPED: chromium is not installed (scripts/install-deps.sh installs it)")
        return 77
    shots = os.environ.get("QUARVEL_SCREENSHOTS")
    work = tempfile.mkdtemp(prefix=prefix)
    try:
        run(*sys.argv[1:], work, shots)
        return 0
    except Failure as failure:
        print("FAILED:", failure)
        for name in logs:
            path = os.path.join(work, name)
            if os.path.exists(path):
                print("--- " + name)
                print(open(path, errors="replace").read()[-3000:])
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
