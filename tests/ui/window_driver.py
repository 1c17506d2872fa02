"""How the real-window tests drive the program and read it: real clicks and keys from
xdotool (XTEST input, which takes the window system's way to the focused widget), the
accessibility tree that Qt publishes over AT-SPI, the X properties of its windows,
screenshots, the clipboard and a terminal. The tests that use it:
window_keyboard_test.py, preview_clipboard_test.py, start_and_end_test.py,
folder_summary_test.py, template_window_test.py, window_locale_test.py and
art_window_test.py."""

import ctypes
import os
import pty
import struct
import subprocess
import time
import zlib

import dbus

CAPTION = 'Quarvel  ver.β_040411'
SUMMARY = 'Quarvel　処理結果'
LABELLED_BY = 2  # AT-SPI's relation types
TABS = ['ファイル', 'フォルダ', 'コピペ']
ACC = 'org.a11y.atspi.Accessible'
COMPONENT = 'org.a11y.atspi.Component'
TEXT = 'org.a11y.atspi.Text'
PROPERTIES = 'org.freedesktop.DBus.Properties'
# The roles of the controls a user acts on; each must have a name.
CONTROLS = {'push button', 'check box', 'radio button', 'text', 'page tab', 'page tab list', 'toggle button',
            'combo box', 'spin button', 'slider', 'list', 'tree', 'table'}
CHECKED = 1 << 4
FOCUSED = 1 << 12
SELECTABLE = 1 << 22
SELECTED = 1 << 23
SENSITIVE = 1 << 24
SHOWING = 1 << 25


class Failure(Exception):
    pass


def run(*args, env=None):
    return subprocess.run(args, check=True, capture_output=True, text=True, timeout=20, env=env).stdout


def poll(what, probe, seconds=5.0):
    """probe() until it returns something true; that value, or Failure."""
    deadline = time.monotonic() + seconds
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f'timed out waiting for {what}')
        time.sleep(0.05)


class Node:
    """One accessible object; the tree below it is read once, its state each time."""

    def __init__(self, bus, name, path, parent=None):
        self.proxy = bus.get_object(name, path, introspect=False)
        self.parent = parent
        self.role = str(self.proxy.GetRoleName(dbus_interface=ACC))
        self.children = [Node(bus, n, p, self) for n, p in self.proxy.GetChildren(dbus_interface=ACC)]

    def name(self):
        return str(self.proxy.Get(ACC, 'Name', dbus_interface=PROPERTIES))

    def state(self):
        bits = self.proxy.GetState(dbus_interface=ACC)
        return int(bits[0]) | int(bits[1]) << 32

    def center(self):
        x, y, w, h = extents(self)
        return x + w // 2, y + h // 2

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()


def extents(node):
    """Where a node shows, in screen coordinates: x, y, width, height."""
    return tuple(int(v) for v in node.proxy.GetExtents(dbus.UInt32(0), dbus_interface=COMPONENT))


def text_of(node):
    return str(node.proxy.GetText(0, -1, dbus_interface=TEXT))


def find_window(bus, wanted):
    """The program's top-level window that wanted(node) accepts, or None."""
    root = bus.get_object('org.a11y.atspi.Registry', '/org/a11y/atspi/accessible/root', introspect=False)
    for name, path in root.GetChildren(dbus_interface=ACC):
        app = Node(bus, name, path)
        for child in app.children:
            if wanted(child):
                return child
    return None


def main_window(a11y):
    return poll('the window in the accessibility tree',
                lambda: find_window(a11y, lambda n: n.role == 'dialog' and n.name() == CAPTION), 10)


def click(node):
    x, y = node.center()
    run('xdotool', 'mousemove', str(x), str(y), 'click', '1')


def visible_windows(pid):
    """The X windows that the process `pid` shows, by id."""
    found = subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid', str(pid)], capture_output=True, text=True,
                           timeout=20)
    return set(found.stdout.split())


def clipboard_png():
    found = subprocess.run(['xclip', '-selection', 'clipboard', '-t', 'image/png', '-o'], capture_output=True,
                           timeout=20)
    return found.stdout if found.returncode == 0 else b''


class XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.POINTER(ctypes.c_ubyte)), ('byte_order', ctypes.c_int),
                ('bitmap_unit', ctypes.c_int), ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int),
                ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]


def save_screenshot(path, geometry):
    """The window's part of the screen (24-bit) as a PNG, read with XGetImage."""
    x11 = ctypes.cdll.LoadLibrary('libX11.so.6')
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XGetImage.restype = ctypes.POINTER(XImage)
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                              ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    x, y, w, h = geometry
    image = x11.XGetImage(display, x11.XDefaultRootWindow(display), x, y, w, h, 0xFFFFFFFF, 2).contents  # ZPixmap
    raw = bytearray()
    for row in range(h):
        line = bytes(image.data[row * image.bytes_per_line:row * image.bytes_per_line + w * 4])  # B G R x
        rgb = bytearray(w * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
        raw += b'\0' + rgb
    x11.XCloseDisplay(display)

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    with open(path, 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) +
                  chunk(b'IDAT', zlib.compress(bytes(raw))) + chunk(b'IEND', b''))


class XClientMessage(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('window', ctypes.c_ulong), ('message_type', ctypes.c_ulong),
                ('format', ctypes.c_int), ('data', ctypes.c_long * 5), ('pad', ctypes.c_long * 12)]


def close_box(window):
    """What a window manager sends when the close box is clicked: WM_DELETE_WINDOW."""
    x11 = ctypes.cdll.LoadLibrary('libX11.so.6')
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(XClientMessage)]
    x11.XFlush.argtypes = x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    event = XClientMessage(type=33, window=int(window), format=32,  # ClientMessage
                           message_type=x11.XInternAtom(display, b'WM_PROTOCOLS', 0))
    event.data[0] = x11.XInternAtom(display, b'WM_DELETE_WINDOW', 0)
    x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


def expect_caption(window, caption):
    """The caption as window managers read it, old (WM_NAME) and new (_NET_WM_NAME)."""
    xprop = run('xprop', '-id', window, 'WM_NAME', '_NET_WM_NAME', env=dict(os.environ, LC_ALL='C.UTF-8'))
    for line in xprop.splitlines():
        if line.split(' = ', 1)[-1] != f'"{caption}"':
            raise Failure(f'caption: {line}')
    print(f'ok  caption {caption!r}')


def terminal_run(argv, env):
    """What a program writes to its terminal (a pseudo-terminal as standard error)."""
    master, slave = pty.openpty()
    process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    shown = b''
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
    process.wait(60)
    os.close(master)
    return shown.decode('utf-8', 'replace')


def find_summary(a11y):
    return poll('the summary of the job', lambda: find_window(
        a11y, lambda n: n.name() == SUMMARY and n.state() & SHOWING), 10)


def summary_counts(summary):
    return next(n for n in summary.walk() if n.role == 'label' and n.name().startswith(('文書', '中止')))


def close_summary(a11y, counts):
    """The summary that the job ended with shows `counts`; Esc closes it."""
    summary = find_summary(a11y)
    got = summary_counts(summary).name()
    if got != counts:
        raise Failure(f'the summary says {got!r}, not {counts!r}')
    run('xdotool', 'key', 'Escape')
    poll('the summary to close', lambda: not summary.state() & SHOWING)
