#!/usr/bin/env python3
"""The real program on a real X display, driven as a user drives it.

Runs inside xvfb-run and dbus-run-session (real_window_test.sh sets that up):
  real_window_test.py QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]

Clicks and keys are real XTEST input from xdotool, so they take the window system's
way to the focused widget. What the window shows is read from outside: the caption
from the X properties, the current tab and the focused control from the
accessibility tree that Qt publishes over AT-SPI (the tab strip is named after its
current tab; each control reports whether it has the focus and whether it shows).
The preview (Ctrl+P) is read by its status line, and "画像をコピー" by what the
clipboard holds (xclip), which must be the PNG file quarvel-cli makes of the same text.
Every control must have an accessible name, the current tab must be selected and the
code buttons a group named by their label; Tab must come round to the colour swatches
and Space open the colour chooser. Then, each with a program of its own:
- "Open with": a document and a folder on the command line fill their pages and are
  converted only when "PNG画像生成" is pressed;
- Return, Enter and Esc on every kind of control leave the window open, Ctrl+Q ends it;
- what is typed into the copy-paste box is there again after Ctrl+Q and the close box;
- --version and --help answer without a display;
- a folder job with warnings ends with a summary that names them, with the counts of
  quarvel-cli convert-folder's closing line (read from a pseudo-terminal);
- a template collection opens with as many pieces as render-pieces draws, its search
  narrows the list and Enter sends a piece to the copy-paste box;
- Qt's file dialog speaks the locale's language, as quarvel-cli does.
"""

import ctypes
import os
import pty
import re
import struct
import subprocess
import sys
import tempfile
import time
import zlib

import dbus

from window_session import accessibility_bus, window_env

CAPTION = 'Quarvel  ver.β_040411'
# Where screenshots go, when asked for (the third argument).
shots_folder = None
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
        x, y, w, h = self.proxy.GetExtents(dbus.UInt32(0), dbus_interface=COMPONENT)  # screen coordinates
        return int(x + w // 2), int(y + h // 2)

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()


def find_window(bus, wanted):
    """The program's top-level window that wanted(node) accepts, or None."""
    root = bus.get_object('org.a11y.atspi.Registry', '/org/a11y/atspi/accessible/root', introspect=False)
    for name, path in root.GetChildren(dbus_interface=ACC):
        app = Node(bus, name, path)
        for child in app.children:
            if wanted(child):
                return child
    return None


def find_dialog(bus):
    return find_window(bus, lambda node: node.role == 'dialog')


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


def tree_files(folder):
    """Every file under folder, by its path inside it, with its bytes (a conversion's
    record, which names its pictures by inode and time, by its number of lines)."""
    found = {}
    for parent, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(parent, name)
            with open(path, 'rb') as f:
                data = f.read()
            found[os.path.relpath(path, folder)] = data.count(b'\n') if name.endswith('.record') else data
    return found


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


def open_from_command_line(program, cli, env, a11y):
    """quarvel DOCUMENT FOLDER MISSING, as the desktop starts it for "Open with": the
    document fills the file page, the folder the folder page, and nothing is touched
    until "PNG画像生成" is pressed; then each is what quarvel-cli makes of it with the
    same settings. The missing one is said."""
    thread = '<dl><dt>1</dt><dd>(^o^)/ <br> ＿|￣|○<dt>2</dt><dd>ｷﾀ━━━(ﾟ∀ﾟ)━━━!!</dl>\n'.encode('cp932')
    with tempfile.TemporaryDirectory() as temp:
        for side in ('window', 'cli'):
            os.makedirs(os.path.join(temp, side, 'folder', 'sub'))
            for name in ('thread.htm', 'folder/a.htm', 'folder/sub/b.htm'):
                with open(os.path.join(temp, side, name), 'wb') as out:
                    out.write(thread)
        run(cli, 'convert', '--quiet', os.path.join(temp, 'cli', 'thread.htm'), env=env)
        run(cli, 'convert-folder', '--quiet', os.path.join(temp, 'cli', 'folder'), env=env)
        wanted = tree_files(os.path.join(temp, 'cli'))
        window_side = os.path.join(temp, 'window')
        before = tree_files(window_side)
        started = subprocess.Popen([program, 'thread.htm', 'folder', 'missing.htm'], cwd=window_side, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        try:
            run('xdotool', 'search', '--sync', '--onlyvisible', '--pid', str(started.pid))
            dialog = poll('the window in the accessibility tree',
                          lambda: find_window(a11y, lambda n: n.role == 'dialog' and n.name() == CAPTION), 10)
            tabs = next(n for n in dialog.walk() if n.children and n.children[0].role == 'page tab list')
            strip, pages = tabs.children[0], tabs.children[1:4]
            boxes = [next(n for n in page.walk() if n.role == 'text') for page in pages[:2]]
            shown = [str(box.proxy.GetText(0, -1, dbus_interface=TEXT)) for box in boxes]
            if strip.name() != TABS[0] or shown != [f'{window_side}/thread.htm', f'{window_side}/folder']:
                raise Failure(f'opened: tab {strip.name()!r}, the path boxes show {shown}')
            # Opened and idle: the window answers with its button as it is without a job (a job
            # shows it otherwise until it ends); only then is the tree looked at.
            button = poll('the button without a job', lambda: next(
                (n for n in dialog.walk() if n.role == 'push button' and n.name() == 'PNG画像生成'), None))
            if tree_files(window_side) != before:
                raise Failure('opening a document changed it before the button was pressed')
            print(f'ok  {"quarvel DOCUMENT FOLDER MISSING":<34} the file and folder pages filled, nothing touched')
            x, y = button.center()
            run('xdotool', 'mousemove', str(x), str(y), 'click', '1')
            poll('the document to be converted',
                 lambda: tree_files(window_side).get('thread.htm') == wanted['thread.htm'], 30)
            poll('the file job to end', lambda: button.state() & SENSITIVE, 30)
            close_summary(a11y, '文書 1 件: 変換 1、変更なし 0、失敗 0 ／ 画像 2 枚 ／ 警告 0 件')
            x, y = strip.children[1].center()
            run('xdotool', 'mousemove', str(x), str(y), 'click', '1')
            poll('the folder tab', lambda: strip.name() == TABS[1])
            x, y = button.center()
            run('xdotool', 'mousemove', str(x), str(y), 'click', '1')
            try:
                poll('the window to convert what it was given', lambda: tree_files(window_side) == wanted, 30)
            except Failure:
                got = tree_files(window_side)
                raise Failure(f'opened from the command line: {sorted(got)} differ from quarvel-cli\'s {sorted(wanted)}')
        finally:
            started.terminate()
            _, errors = started.communicate(timeout=10)
        if f'quarvel: {window_side}/missing.htm: そのようなファイルやフォルダはありません' not in errors:
            raise Failure(f'no message about the missing path: {errors!r}')
    print(f'ok  {"PNG画像生成 on each page":<34} both converted as quarvel-cli converts them, '
          f'{len(wanted)} files; the missing one said')


def started(program, args, env, cwd=None):
    """The program started with `args`, and its main window in the accessibility tree."""
    process = subprocess.Popen([program] + args, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               text=True)
    run('xdotool', 'search', '--sync', '--onlyvisible', '--pid', str(process.pid))
    return process


def main_window(a11y):
    return poll('the window in the accessibility tree',
                lambda: find_window(a11y, lambda n: n.role == 'dialog' and n.name() == CAPTION), 10)


def ended(process):
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()


def click(node):
    x, y = node.center()
    run('xdotool', 'mousemove', str(x), str(y), 'click', '1')


def text_of(node):
    return str(node.proxy.GetText(0, -1, dbus_interface=TEXT))


def keys_never_end_the_program(program, env, a11y):
    """Return, Enter and Esc on every kind of control of the window and its pages leave
    it open, the text typed into the copy-paste box with it."""
    process = started(program, [], env)
    try:
        dialog = main_window(a11y)
        tabs = next(n for n in dialog.walk() if n.children and n.children[0].role == 'page tab list')
        strip, pages = tabs.children[0], tabs.children[1:4]
        client = tabs.parent
        controls = [
            ('the margin box', 0, next(n for n in client.children if n.role == 'text')),
            ('the space check box', 0, next(n for n in client.children if n.role == 'check box')),
            ('the tab strip', 1, strip.children[1]),
            ('the file path box', 0, next(n for n in pages[0].walk() if n.role == 'text')),
            ('a separator box', 0, [n for n in pages[0].walk() if n.role == 'text'][2]),
            ('the EUC button', 1, [n for n in pages[1].walk() if n.role == 'radio button'][1]),
            ('the sub-folder check box', 1, next(n for n in pages[1].walk() if n.role == 'check box')),
            ('the tab strip', 2, strip.children[2]),
            ('the copy-paste box', 2, next(n for n in pages[2].walk() if n.role == 'text')),
        ]
        box = controls[-1][2]

        def ended_by_keys(what):
            if process.poll() is not None or not dialog.state() & SHOWING:
                raise Failure(f'Return, Enter or Esc on {what} ended the program')
            return False

        for what, tab, control in controls:
            click(strip.children[tab])
            poll(f'the tab {TABS[tab]}', lambda: strip.name() == TABS[tab])
            click(control)
            if control is box:
                run('xdotool', 'type', '--delay', '20', '(^o^)')
            for key in ('Return', 'KP_Enter', 'Escape'):
                run('xdotool', 'key', key)
            # The window has taken the keys once it takes a click sent after them: another
            # tab chosen, and this one again.
            for shown in ((tab + 1) % len(pages), tab):
                click(strip.children[shown])
                poll(f'the tab {TABS[shown]} after the keys on {what}',
                     lambda: ended_by_keys(what) or strip.name() == TABS[shown])
        if '(^o^)' not in text_of(box):
            raise Failure(f'the copy-paste box holds {text_of(box)!r}')
        print(f'ok  {"Return, Enter and Esc":<34} on {len(controls)} controls: the window stays, the text too')
        run('xdotool', 'key', 'ctrl+q')
        poll('Ctrl+Q to end the program', lambda: process.poll() is not None, 10)
        print(f'ok  {"Ctrl+Q":<34} ends the program ({process.returncode})')
    finally:
        ended(process)


def the_draft_outlives_the_program(program, env, a11y):
    """What is typed into the copy-paste box is there when the program starts again
    after Ctrl+Q, and after a window's close box (here: the WM_DELETE_WINDOW it sends)."""
    with tempfile.TemporaryDirectory() as state:
        env = dict(env, XDG_STATE_HOME=state)
        typed = ['(^o^)/ Quarvel', ' and more']
        for n, ending in enumerate(('ctrl+q', 'close')):
            process = started(program, [], env)
            try:
                dialog = main_window(a11y)
                box = next(n for n in dialog.walk() if n.role == 'text' and n.name() == 'コピペ')
                if text_of(box) != ''.join(typed[:n]):
                    raise Failure(f'start {n + 1}: the box holds {text_of(box)!r}')
                strip = next(n for n in dialog.walk() if n.role == 'page tab list')
                click(strip.children[2])
                click(box)
                run('xdotool', 'key', 'ctrl+End')
                run('xdotool', 'type', '--delay', '20', typed[n])
                if ending == 'ctrl+q':
                    run('xdotool', 'key', 'ctrl+q')
                else:
                    close_box(run('xdotool', 'search', '--onlyvisible', '--pid', str(process.pid)).split()[0])
                poll('the program to end', lambda: process.poll() is not None, 10)
            finally:
                ended(process)
        process = started(program, [], env)
        try:
            box = next(n for n in main_window(a11y).walk() if n.role == 'text' and n.name() == 'コピペ')
            if text_of(box) != ''.join(typed):
                raise Failure(f'after two runs the box holds {text_of(box)!r}')
        finally:
            ended(process)
    print(f'ok  {"the copy-paste box":<34} holds what was typed in the runs before')


def version_without_a_display(program):
    bare = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM')}
    bare.update(LC_ALL='ja_JP.UTF-8', LANGUAGE='')
    version = subprocess.run([program, '--version'], env=bare, capture_output=True, text=True, timeout=20)
    usage = subprocess.run([program, '--help'], env=bare, capture_output=True, text=True, timeout=20)
    if version.returncode != 0 or not re.fullmatch(r'quarvel \S+\n', version.stdout) or usage.returncode != 0 \
            or not usage.stdout.startswith('使い方: quarvel'):
        raise Failure(f'without a display: --version {version.returncode} {version.stdout!r} {version.stderr!r}, '
                      f'--help {usage.returncode}')
    print(f'ok  {"--version, --help without display":<34} {version.stdout.strip()!r}, the usage; exit 0')


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


def warning_tree(folder, elsewhere):
    """Documents with something to say about each: art too wide and too tall, one without
    art, a picture among them, and one that is a link (it fails)."""
    os.makedirs(os.path.join(folder, 'sub'))
    tall = '<dd>' + ''.join(f'line {i}<br>' for i in range(51))
    files = {'art.htm': '<dd>' + '_' * 300 + '\r\n' + tall + '\r\n<dd>fine\r\n',
             'sub/plain.htm': '<p>no art here</p>\r\n'}
    for name, text in files.items():
        with open(os.path.join(folder, name), 'w', newline='') as out:
            out.write(text)
    with open(os.path.join(folder, 'sub', 'picture.htm'), 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n')
    with open(elsewhere, 'w') as out:
        out.write('<dd>x\r\n')
    os.symlink(elsewhere, os.path.join(folder, 'link.htm'))


def summary_matches_the_command_line(program, cli, env, a11y):
    """A folder job whose documents have warnings and a failure ends with a summary that
    names them, with the counts of quarvel-cli convert-folder's closing line on the same
    tree, word for word (both in Japanese in a Japanese locale)."""
    with tempfile.TemporaryDirectory() as temp:
        for side in ('window', 'cli'):
            warning_tree(os.path.join(temp, side), os.path.join(temp, side + '-elsewhere.htm'))
        shown = terminal_run([cli, 'convert-folder', os.path.join(temp, 'cli')], env)
        line = re.search(r'quarvel-cli: (文書 [^\r\n]*)\r?\n$', shown)
        if not line:
            raise Failure(f'no closing line from convert-folder: {shown[-300:]!r}')

        process = started(program, [os.path.join(temp, 'window')], env)
        try:
            dialog = main_window(a11y)
            click(next(n for n in dialog.walk() if n.role == 'push button' and n.name() == 'PNG画像生成'))
            # The engine's message for the link, as it always has shown one.
            message = poll('the message about the link', lambda: find_window(
                a11y, lambda n: n.name() == 'Quarvel' and n.state() & SHOWING), 10)
            if not any('link.htm' in n.name() for n in message.walk() if n.role == 'label'):
                raise Failure('the message does not name link.htm')
            run('xdotool', 'key', 'Return')
            summary = find_summary(a11y)
            counts = summary_counts(summary).name()
            if counts != line.group(1):
                raise Failure(f'the summary says {counts!r}; convert-folder {line.group(0)!r}')
            listed = text_of(next(n for n in summary.walk() if n.role == 'text'))
            for needed in ('/art.htm\n', 'art/001.png: アートの幅が 1024 ピクセルを超えています。はみ出た部分は描きません',
                           'art/002.png: アートが 50 行を超えています。最初の 50 行だけを描きます', '/link.htm\n',
                           '失敗: シンボリックリンクの文書は変換しません'):
                if needed not in listed:
                    raise Failure(f'the summary\'s list lacks {needed!r}: {listed!r}')
            if shots_folder:
                save_screenshot(os.path.join(shots_folder, 'summary.png'), extents(summary))
            run('xdotool', 'key', 'Escape')
            poll('the summary to close', lambda: not summary.state() & SHOWING)
        finally:
            ended(process)
    print(f'ok  {"a folder job with warnings":<34} {counts!r}, as convert-folder counts; each named')


def template_browser(program, cli, env, a11y):
    """quarvel art.ast: the collection's window lists as many pieces as render-pieces
    draws; typing in its search narrows the list; Enter, and Enter again, puts the piece
    into the copy-paste box."""
    art = ('[AA][\u30e2\u30ca\u30fc]\r\n  \u2227\uff3f\u2227\r\n(\u00b4\u03c9\uff40)\r\n'
           '[AA][tall]\r\n' + ''.join(f'line {i}\r\n' for i in range(55)) +
           '[AA][wide]\r\n' + '_' * 300 + '\r\n[AA][empty]\r\n  \r\n[AA][heart]\r\nI &hearts; AA\r\n')
    with tempfile.TemporaryDirectory() as temp:
        collection = os.path.join(temp, 'art.ast')
        with open(collection, 'wb') as out:
            out.write(art.encode('cp932'))
        run(cli, 'render-pieces', collection, '-o', os.path.join(temp, 'out'), env=env)
        pictures = len([n for n in os.listdir(os.path.join(temp, 'out')) if n.endswith('.png')])
        process = started(program, [collection], env)
        try:
            browser = poll('the collection\'s window', lambda: find_window(
                a11y, lambda n: n.name() == 'art.ast - テンプレート集' and n.state() & SHOWING), 10)
            pieces = next(n for n in browser.walk() if n.role == 'list' and n.name() == 'テンプレート')

            def items():
                return int(pieces.proxy.Get(ACC, 'ChildCount', dbus_interface=PROPERTIES))

            poll('the list of pieces', lambda: items() == pictures)
            if shots_folder:
                save_screenshot(os.path.join(shots_folder, 'browser.png'), extents(browser))
            search = next(n for n in browser.walk() if n.role == 'text')
            click(search)
            run('xdotool', 'type', '--delay', '30', 'tall')
            poll('the search to narrow the list', lambda: items() == 1)
            run('xdotool', 'key', 'Return', 'Return')
            box = next(n for n in main_window(a11y).walk() if n.role == 'text' and n.name() == 'コピペ')
            wanted = '\n'.join(f'line {i}' for i in range(55))
            poll('the piece in the copy-paste box', lambda: wanted in text_of(box))
        finally:
            ended(process)
    print(f'ok  {"quarvel art.ast":<34} {pictures} pieces as render-pieces draws; the search narrows to 1; '
          f'Enter sends it to the copy-paste box')


def dialogs_speak_the_locale(program, env, a11y):
    """The window (its translation found beside the program) and Qt's own file dialog
    (Ctrl+O) speak the language the command line speaks: Japanese under ja_JP.UTF-8,
    English under C and en_US.UTF-8."""
    for locale, cancel, generate in (('C', 'Cancel', 'Make PNG pictures'), ('ja_JP.UTF-8', 'キャンセル', 'PNG画像生成'),
                                     ('en_US.UTF-8', 'Cancel', 'Make PNG pictures')):
        process = started(program, [], dict(env, LC_ALL=locale, LANGUAGE=''))
        try:
            window = main_window(a11y)
            shown = {n.name() for n in window.walk() if n.role == 'push button'}
            if generate not in shown:
                raise Failure(f'the window under {locale} has the buttons {sorted(shown)}, not {generate!r}')
            run('xdotool', 'key', 'ctrl+o')
            dialog = poll(f'the file dialog under {locale}', lambda: find_window(
                a11y, lambda n: n.role in ('dialog', 'file chooser') and n.name() != CAPTION
                and n.state() & SHOWING), 10)
            buttons = sorted({n.name() for n in dialog.walk() if n.role == 'push button' and n.name()})
            if cancel not in buttons:
                raise Failure(f'the file dialog under {locale} has the buttons {buttons}, not {cancel!r}')
            run('xdotool', 'key', 'Escape')
        finally:
            ended(process)
        print(f'ok  {"file dialog under " + locale:<34} {", ".join(buttons)}')


def extents(node):
    return tuple(int(v) for v in node.proxy.GetExtents(dbus.UInt32(0), dbus_interface=COMPONENT))


def main():
    program, cli = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    global shots_folder
    shots = shots_folder = sys.argv[3] if len(sys.argv) > 3 else None
    if shots:
        os.makedirs(shots, exist_ok=True)

    home = tempfile.TemporaryDirectory()
    env = window_env(home.name)
    program_run = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL)
    try:
        window = run('xdotool', 'search', '--sync', '--onlyvisible', '--pid', str(program_run.pid)).split()[0]
        expect_caption(window, CAPTION)

        a11y = accessibility_bus()
        dialog = poll('the window in the accessibility tree', lambda: find_dialog(a11y), 10)
        if dialog.name() != CAPTION:
            raise Failure(f'accessible caption {dialog.name()!r}')
        tabs = next(n for n in dialog.walk() if n.children and n.children[0].role == 'page tab list')
        strip, pages = tabs.children[0], tabs.children[1:4]
        client = tabs.parent
        margin = next(n for n in client.children if n.role == 'text')
        file_box = next(n for n in pages[0].walk() if n.role == 'text')
        copy_box = next(n for n in pages[2].walk() if n.role == 'text')
        # Qt marks the current tab focused, and containers whose focus goes on to a
        # control inside (the copy-paste page, a box's viewport) with that control.
        controls = [n for n in dialog.walk() if n.role not in ('page tab', 'filler')]
        geometry = tuple(int(v) for v in dialog.proxy.GetExtents(dbus.UInt32(0), dbus_interface=COMPONENT))

        def describe(node):
            """A control as a user names it: its role and the label before it."""
            siblings = node.parent.children
            labels = [n.name() for n in siblings[:siblings.index(node)] if n.role == 'label' and n.name()]
            where = next((f'page {TABS[i]}' for i, page in enumerate(pages) if node in page.walk()), 'window')
            return f"{node.role} {node.name() or (labels[-1] if labels else '')!r} on the {where}"

        # What a keyboard switch gives the focus to: the page's remembered control, or the
        # strip for the copy-paste page, whose box keeps the tab keys.
        remembered = {0: file_box, 2: strip}
        shot_count = [0]

        def expect(tab, focus=None, what=''):
            """Waits until tab `tab` is current and shown, and the focus is on `focus`
            (by default the page's remembered control, or any text box on it the first
            time)."""
            def settled():
                focused = [n for n in controls if n.state() & FOCUSED]
                showing = [i for i, p in enumerate(pages) if p.state() & SHOWING]
                if strip.name() != TABS[tab] or showing != [tab] or len(focused) != 1:
                    return None
                wanted = focus or remembered.get(tab)
                if wanted:
                    return focused[0] if focused[0] is wanted else None
                return focused[0] if focused[0].role == 'text' and focused[0] in pages[tab].walk() else None
            try:
                got = poll(what, settled, 3)
            except Failure:
                focused = [describe(n) for n in controls if n.state() & FOCUSED]
                raise Failure(f'{what}: tab {strip.name()!r}, focus on {focused}, wanted tab {TABS[tab]!r}')
            if not focus:
                remembered.setdefault(tab, got)
            print(f'ok  {what:<34} tab {TABS[tab]}, focus on {describe(got)}')
            if shots:
                shot_count[0] += 1
                save_screenshot(os.path.join(shots, f'{shot_count[0]:02d}-{TABS[tab]}.png'), geometry)

        def click(node):
            x, y = node.center()
            run('xdotool', 'mousemove', str(x), str(y), 'click', '1')

        def press(key, times, tab, step):
            for _ in range(times):
                run('xdotool', 'key', key)
                tab = (tab + step) % 3
                expect(tab, what=key)
            return tab

        def press_in_box(key, times):
            for _ in range(times):
                run('xdotool', 'key', key)
                expect(2, copy_box, key + ' in the box')

        click(file_box)
        expect(0, file_box, 'click into the file path box')
        tab = press('ctrl+Next', 4, 0, +1)
        tab = press('ctrl+Prior', 4, tab, -1)

        click(strip.children[1])
        expect(1, strip, 'click on the tab フォルダ')
        tab = press('ctrl+Next', 4, 1, +1)

        click(copy_box)
        expect(2, copy_box, 'click into the copy-paste box')
        press_in_box('ctrl+Next', 2)
        press_in_box('ctrl+Prior', 2)

        click(margin)
        expect(2, margin, 'click into the margin box')
        tab = press('ctrl+Prior', 3, 2, -1)

        # The file menu's check item, toggled with the mouse and then with the keys.
        file_menu = next(n for n in dialog.walk() if n.role == 'menu item' and n.name() == 'ﾌｧｲﾙ(F)')
        indexed = next(n for n in file_menu.walk() if n.name() == '2色PNG（小さいファイル）(I)')
        if indexed.state() & CHECKED:
            raise Failure('2色PNG is checked at start')
        click(file_menu)
        poll('the file menu', lambda: indexed.state() & SHOWING)

        def shoot_menu(name):
            if shots:
                menu = indexed.parent.proxy.GetExtents(dbus.UInt32(0), dbus_interface=COMPONENT)
                save_screenshot(os.path.join(shots, name), tuple(int(v) for v in menu))

        shoot_menu('file-menu.png')
        click(indexed)
        poll('2色PNG checked by a click', lambda: indexed.state() & CHECKED)
        poll('the file menu to close', lambda: not indexed.state() & SHOWING)
        print('ok  2色PNG checked by a click')
        click(file_menu)
        poll('the file menu', lambda: indexed.state() & SHOWING)
        shoot_menu('file-menu-checked.png')
        # by its access letter
        run('xdotool', 'key', 'i')
        poll('2色PNG unchecked by the keys', lambda: not indexed.state() & CHECKED)
        print('ok  2色PNG unchecked by its letter')

        def windows():
            found = subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid', str(program_run.pid)],
                                   capture_output=True, text=True, timeout=20)
            return set(found.stdout.split())

        # The preview: Ctrl+P in the box, redrawn as the user types, its picture on the
        # clipboard from the box's context menu and from its own button.
        click(copy_box)
        expect(2, copy_box, 'click into the copy-paste box')
        run('xdotool', 'type', '--delay', '20', '(^o^)/ Hello')
        run('xdotool', 'key', 'ctrl+p')
        preview = poll('the preview window', lambda: find_window(a11y, lambda n: n.name() == 'プレビュー'), 10)
        status = next(n for n in preview.walk() if n.role == 'label' and 'ピクセル' in n.name())
        copy_button = next(n for n in preview.walk() if n.role == 'push button' and n.name() == '画像をコピー')

        def expect_status(pattern, what):
            got = poll(what, lambda: re.fullmatch(pattern, status.name()) and status.name(), 5)
            print(f'ok  {what:<34} status {got!r}')
            return got

        expect_status(r'\d+ × 18 ピクセル', 'ctrl+p opens the preview')
        if shots:
            x, y, w, h = preview.proxy.GetExtents(dbus.UInt32(0), dbus_interface=COMPONENT)
            save_screenshot(os.path.join(shots, 'preview-1.png'), (int(x), int(y), int(w), int(h)))
        click(copy_box)
        run('xdotool', 'key', 'ctrl+End', 'Return')
        run('xdotool', 'type', '--delay', '20', '&#xF0000;' + 'W' * 120)
        expect_status(r'1024 × 36 ピクセル　警告: アートの幅が 1024 ピクセルを超えています。.*、U\+F0000 を持つフォントがないため空白で描きます（.*）',
                      'typing in the box redraws it')

        def box_text():
            return str(copy_box.proxy.GetText(0, -1, dbus_interface=TEXT))

        def expect_clipboard(action, what):
            # xclip stays behind to serve what it took (nothing); it ends with the display.
            subprocess.run(['xclip', '-selection', 'clipboard', '-i', '/dev/null'], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
            action()
            with tempfile.TemporaryDirectory() as temp:
                art = os.path.join(temp, 'art.txt')
                with open(art, 'w', encoding='utf-8') as out:
                    out.write(box_text())
                saved = os.path.join(temp, 'art.png')
                run(cli, 'render', art, '-o', saved, env=env)
                with open(saved, 'rb') as f:
                    wanted = f.read()
            poll(what, lambda: clipboard_png() == wanted, 5)
            print(f'ok  {what:<34} the clipboard holds the saved file ({len(wanted)} bytes)')

        def from_context_menu():
            # Qt leaves popups out of the accessibility tree: the menu's last item,
            # reached from the keyboard, is "画像をコピー" (the screenshot shows it).
            shown = windows()
            x, y = copy_box.center()
            run('xdotool', 'mousemove', str(x), str(y), 'click', '3')
            poll('the context menu', lambda: windows() - shown)
            if shots:
                save_screenshot(os.path.join(shots, 'context-menu.png'), (0, 0, 1024, 768))
            run('xdotool', 'key', 'Up', 'Return')

        expect_clipboard(from_context_menu, '画像をコピー in the context menu')
        expect_clipboard(lambda: click(copy_button), '画像をコピー in the preview')
        if shots:
            x, y, w, h = preview.proxy.GetExtents(dbus.UInt32(0), dbus_interface=COMPONENT)
            save_screenshot(os.path.join(shots, 'preview-2.png'), (int(x), int(y), int(w), int(h)))

        # Closed, it leaves the box and the main window as they were.
        before = box_text()
        click(copy_button)
        run('xdotool', 'key', 'Escape')
        poll('the preview to close', lambda: not preview.state() & SHOWING)
        if box_text() != before or not dialog.state() & SHOWING:
            raise Failure('closing the preview changed the main window')
        print(f'ok  {"Escape closes the preview":<34} the box and the window unchanged')
        click(margin)
        expect(2, margin, 'click into the margin box')

        # Screen readers: every control of the window and of its three pages has a
        # name, each text box the one of its label.
        named = [n for n in dialog.walk() if n.role in CONTROLS]
        unnamed = [describe(n) for n in named if not n.name()]
        if unnamed:
            raise Failure(f'controls without a name: {unnamed}')
        print(f'ok  {"every control has a name":<34} {len(named)} controls')
        if margin.name() != '余白(M)' or file_box.name() != '対象ファイル(T)':
            raise Failure(f'the margin box is named {margin.name()!r}, the file path box {file_box.name()!r}')
        # The scale and the transparent background, named and reached by their letters.
        scale = next(n for n in client.children if n.role == 'combo box')
        transparent = [n for n in client.children if n.role == 'check box'][1]
        relations = [int(kind) for kind, _ in scale.proxy.GetRelationSet(dbus_interface=ACC)]
        if scale.name() != '1倍' or LABELLED_BY not in relations or transparent.name() != '背景を透明に':
            raise Failure(f'the scale box shows {scale.name()!r} (relations {relations}), '
                          f'the transparency box is named {transparent.name()!r}')
        run('xdotool', 'key', 'alt+b')
        expect(2, scale, 'alt+b')
        for on in (True, False):
            run('xdotool', 'key', 'alt+n')
            poll(f'alt+n to turn transparency {"on" if on else "off"}',
                 lambda: bool(transparent.state() & CHECKED) == on)
        print(f'ok  {"alt+b and alt+n":<34} the scale box and the transparency box')
        click(margin)
        expect(2, margin, 'click into the margin box')
        # The current tab, and only it, is selected.
        selected = [n.name() for n in strip.children if n.role == 'page tab' and n.state() & SELECTED]
        if selected != [strip.name()] or not all(n.state() & SELECTABLE for n in strip.children):
            raise Failure(f'selected tabs: {selected}, the current one {strip.name()!r}')
        print(f'ok  {"the current tab is selected":<34} {selected}')
        # The four code buttons are a group that their label names.
        for page in pages[:2]:
            radios = [n for n in page.walk() if n.role == 'radio button']
            groups = {(n.parent.role, n.parent.name()) for n in radios}
            relations = [int(kind) for kind, _ in radios[0].parent.proxy.GetRelationSet(dbus_interface=ACC)]
            if len(radios) != 4 or groups != {('panel', '文字コード')} or LABELLED_BY not in relations:
                raise Failure(f'the code buttons: {len(radios)} in {groups}, relations {relations}')
        print(f'ok  {"the code buttons":<34} a panel named 文字コード, labelled by it')

        # The keyboard: Tab leaves the copy-paste box and comes round to the two colour
        # swatches, push buttons named after their labels; Space opens the chooser.
        swatches = [next(n for n in client.children if n.role == 'push button' and n.name() == name)
                    for name in ('文字色', '背景色')]
        click(copy_box)
        expect(2, copy_box, 'click into the copy-paste box')
        run('xdotool', 'key', 'Tab')
        expect(2, swatches[0], 'Tab from the copy-paste box')
        run('xdotool', 'key', 'Tab')
        expect(2, swatches[1], 'Tab from the text colour swatch')
        shown = windows()
        run('xdotool', 'key', 'space')
        chooser = poll('the colour chooser', lambda: windows() - shown, 5)
        if shots:
            save_screenshot(os.path.join(shots, 'colour-chooser.png'), (0, 0, 1024, 768))
        print(f'ok  {"Space on the swatch 背景色":<34} opens the colour chooser')
        run('xdotool', 'key', 'Escape')
        poll('the colour chooser to close', lambda: windows() == shown)
        click(margin)
        expect(2, margin, 'click into the margin box')

        # The about box and a message box keep their own captions.
        def other_window_captioned(caption, close_key):
            box = poll(f'the window {caption!r}', lambda: windows() - {window})
            expect_caption(box.pop(), caption)
            run('xdotool', 'key', close_key)
            poll(f'the window {caption!r} to close', lambda: windows() == {window})

        # Without a window manager nobody gives the keyboard back to the main window
        # when a box closes; the about box, which needs no keys, comes last.
        click(margin)
        run('xdotool', 'key', 'ctrl+a', '5', '0', '0')
        click(next(n for n in client.children if n.name() == 'PNG画像生成'))  # refused: above 100
        other_window_captioned('Quarvel', 'Return')
        help_menu = next(n for n in dialog.walk() if n.role == 'menu item' and n.name() == 'ﾍﾙﾌﾟ(H)')
        click(help_menu)
        about = next(n for n in help_menu.walk() if n.name() == 'ﾊﾞｼﾞｮｰﾝの表示(V)...')
        poll('the help menu', lambda: about.state() & SHOWING)
        click(about)
        other_window_captioned(CAPTION, 'Escape')

        if program_run.poll() is not None:
            raise Failure(f'the program ended with {program_run.returncode}')
        program_run.terminate()
        program_run.wait(10)
        open_from_command_line(program, cli, env, a11y)
        keys_never_end_the_program(program, env, a11y)
        the_draft_outlives_the_program(program, env, a11y)
        version_without_a_display(program)
        summary_matches_the_command_line(program, cli, env, a11y)
        template_browser(program, cli, env, a11y)
        dialogs_speak_the_locale(program, env, a11y)
    except Failure as failure:
        print(f'FAIL {failure}')
        return 1
    finally:
        program_run.terminate()
        try:
            program_run.wait(5)
        except subprocess.TimeoutExpired:
            program_run.kill()
    return 0


if __name__ == '__main__':
    sys.exit(main())
