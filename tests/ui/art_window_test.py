#!/usr/bin/env python3
"""Making art in the real program, as a user does it with real keys (xdotool) and reads
it through its accessibility tree (AT-SPI), on a virtual display:
  art_window_test.py QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]

- typing a line moves the status line (role "status bar") to that line's width, which
  is what `quarvel-cli measure` says of the same text;
- "空白で位置まで埋める" (Ctrl+J) on art held in the box brings the next character to the
  pixel typed, and "右端をそろえる" (Ctrl+R) brings every line's end to the widest, as
  quarvel-cli measures them; Ctrl+Z restores the text each time;
- a guide (Ctrl+G) is marked over the preview's picture on the screen, in one column of
  pixels that is neither ink nor background, while the picture copied from the preview
  is the PNG file quarvel-cli renders of the same text.

Runs inside xvfb-run and dbus-run-session (real_window_test.sh sets that up), with the
helpers of window_driver.py and window_session.py.
"""

import os
import subprocess
import sys
import tempfile

import dbus

from window_driver import (FOCUSED, SHOWING, Failure, click, clipboard_png, extents, find_window, main_window, poll,
                           run, save_screenshot, text_of)
from window_session import ended, run_checks, started

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from browser import decode_png  # noqa: E402

# A frame whose third line ends short of the others, and a speech bubble.
ART = ('┌─────────┐\n'
       '│　ぬるぽ　　　 │\n'
       '│ ｶﾞｯ　&#8202;&#8202;│\n'
       '└─────────┘')


def measure(cli, text, env):
    """quarvel-cli measure's widths of the lines of `text`."""
    with tempfile.NamedTemporaryFile('w', encoding='utf-8', suffix='.txt') as art:
        art.write(text)
        art.flush()
        return [int(line.split('\t', 1)[0]) for line in run(cli, 'measure', art.name, env=env).splitlines()]


def status_of(dialog):
    bar = next(n for n in dialog.walk() if n.role == 'status bar')
    return next(n for n in bar.walk() if n.role == 'label')


def put_into_box(box, text):
    """The text pasted over all the box holds (Ctrl+A, Ctrl+V), as a user brings art in."""
    subprocess.run(['xclip', '-selection', 'clipboard', '-i'], input=text.encode(), check=True, timeout=20,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    click(box)
    run('xdotool', 'key', 'ctrl+a', 'ctrl+v')
    poll('the art in the box', lambda: text_of(box) == text)


def gone(node):
    """Whether a window no longer shows (a dialog made for one question is destroyed)."""
    try:
        return not node.state() & SHOWING
    except dbus.exceptions.DBusException:
        return True


def ask(a11y, title, keys, what):
    """A dialog of the program, answered with keys; waits until it has gone."""
    dialog = poll(f'the dialog {title}', lambda: find_window(a11y, lambda n: n.name() == title and n.state() & SHOWING))
    poll(f'the focus in {title}', lambda: any(n.state() & FOCUSED for n in dialog.walk()))
    run('xdotool', 'key', *keys)
    poll(f'{title} to close', lambda: gone(dialog))
    print(f'ok  {what:<34} answered with {" ".join(keys)}')


def typing_measures(dialog, box, cli, env):
    status = status_of(dialog)
    click(box)
    run('xdotool', 'key', 'ctrl+a', 'BackSpace')
    typed = '(^o^)/ &hearts; Hello  AA'
    run('xdotool', 'type', '--delay', '20', typed)
    width = measure(cli, text_of(box), env)[0]
    wanted = f'x {width} px　行の幅 {width} px'
    got = poll('the status line to follow the typing', lambda: status.name() == wanted and status.name())
    run('xdotool', 'key', 'Home')
    poll('the status line at the line\'s start', lambda: status.name() == f'x 0 px　行の幅 {width} px')
    print(f'ok  {"typing a line":<34} status {got!r}, as quarvel-cli measure says')


def filling(a11y, dialog, box, cli, env):
    status = status_of(dialog)
    put_into_box(box, ART)
    lines = ART.split('\n')
    # Fill to: the gap before the closing bar of line 3 to where line 1's corner starts.
    corner = measure(cli, lines[0][:-1], env)[0]
    run('xdotool', 'key', 'ctrl+Home', 'Down', 'Down', 'End', 'Left', 'ctrl+j')
    ask(a11y, '空白で位置まで埋める', ['ctrl+a', *str(corner), 'Return'], 'Ctrl+J, a pixel typed')
    poll('the fill said', lambda: f'{corner} px まで埋めました' in status.name())
    filled = text_of(box).split('\n')[2]
    if measure(cli, filled[:-1], env)[0] != corner or not filled.endswith('│'):
        raise Failure(f'filled to {corner}: {filled!r}')
    print(f'ok  {"空白で位置まで埋める":<34} {filled!r}: its bar at {corner} px')
    run('xdotool', 'key', 'ctrl+z')
    poll('Ctrl+Z to restore the art', lambda: text_of(box) == ART)

    # Align right edges: every line to the widest.
    widest = max(measure(cli, ART, env))
    run('xdotool', 'key', 'ctrl+a', 'ctrl+r')
    ask(a11y, '右端をそろえる', ['Return'], 'Ctrl+R, the widest')
    poll('the alignment said', lambda: f'4 行を {widest} px にそろえました' in status.name())
    widths = measure(cli, text_of(box), env)
    if widths != [widest] * 4:
        raise Failure(f'aligned at {widest}: {widths} for {text_of(box)!r}')
    print(f'ok  {"右端をそろえる":<34} every line {widest} px wide')
    run('xdotool', 'key', 'ctrl+z')
    poll('Ctrl+Z to restore the art', lambda: text_of(box) == ART)
    print(f'ok  {"Ctrl+Z":<34} restores the art after each')


def guides(a11y, dialog, box, cli, env, shots):
    put_into_box(box, ART)
    run('xdotool', 'key', 'ctrl+Home', 'Right', 'Right', 'Right', 'ctrl+g', 'ctrl+p')
    guide = measure(cli, ART[:3], env)[0]
    preview = poll('the preview', lambda: find_window(a11y, lambda n: n.name() == 'プレビュー' and n.state() & SHOWING))
    picture = next(n for n in preview.walk() if n.name() == '画像')
    copy = next(n for n in preview.walk() if n.role == 'push button' and n.name() == '画像をコピー')
    with tempfile.TemporaryDirectory() as temp:
        art = os.path.join(temp, 'art.txt')
        with open(art, 'w', encoding='utf-8') as out:
            out.write(text_of(box))
        run(cli, 'render', art, '-o', os.path.join(temp, 'art.png'), env=env)
        with open(os.path.join(temp, 'art.png'), 'rb') as f:
            wanted = f.read()
        x, y, w, h = extents(picture)
        shot = os.path.join(temp, 'shown.png')

        def marked_columns():
            save_screenshot(shot, (x, y, w, h))
            with open(shot, 'rb') as f:
                width, _, pixels = decode_png(f.read())
            return {i // 3 % width for i in range(0, len(pixels), 3)
                    if pixels[i:i + 3] not in (b'\0\0\0', b'\xff\xff\xff')}

        columns = poll('the guide over the preview', lambda: marked_columns() or None)
        if columns != {guide}:
            raise Failure(f'the guide at {guide} px is marked in the columns {sorted(columns)}')
        click(copy)
        poll('the picture on the clipboard', lambda: clipboard_png() == wanted)
        if shots:
            save_screenshot(os.path.join(shots, 'art-preview.png'), extents(preview))
    print(f'ok  {"a guide (Ctrl+G)":<34} marked over the preview at {guide} px; the picture copied is '
          f'quarvel-cli\'s ({len(wanted)} bytes)')
    run('xdotool', 'key', 'Escape')
    poll('the preview to close', lambda: not preview.state() & SHOWING)


def checks(s):
    process = started(s.program, [], s.env)
    try:
        dialog = main_window(s.a11y)
        strip = next(n for n in dialog.walk() if n.role == 'page tab list')
        click(strip.children[2])
        box = next(n for n in dialog.walk() if n.role == 'text' and n.name() == 'コピペ')
        typing_measures(dialog, box, s.cli, s.env)
        filling(s.a11y, dialog, box, s.cli, s.env)
        guides(s.a11y, dialog, box, s.cli, s.env, s.shots)
        if s.shots:
            save_screenshot(os.path.join(s.shots, 'art-window.png'), extents(dialog))
    finally:
        ended(process)


if __name__ == '__main__':
    sys.exit(run_checks(checks))
