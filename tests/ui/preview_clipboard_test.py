#!/usr/bin/env python3
"""The preview of the real program and the picture it copies, on a real X display
(window_session.py says how it runs):
  preview_clipboard_test.py QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]

Ctrl+P in the copy-paste box opens the preview, which is read by its status line and
redrawn as the user types; "画像をコピー", from the box's context menu and from the
preview's button, puts on the clipboard (read with xclip) the PNG file quarvel-cli
makes of the same text; Esc closes the preview and leaves the box and the main window
as they were.
"""

import os
import re
import subprocess
import sys
import tempfile

from window_driver import (FOCUSED, SHOWING, TABS, Failure, click, clipboard_png, extents, find_window, main_window,
                           poll, run, save_screenshot, text_of, visible_windows)
from window_session import ended, run_checks, started


def the_preview_and_its_picture(program, cli, env, a11y, shots):
    process = started(program, [], env)
    try:
        dialog = main_window(a11y)
        strip = next(n for n in dialog.walk() if n.role == 'page tab list')
        copy_box = next(n for n in dialog.walk() if n.role == 'text' and n.name() == 'コピペ')
        click(strip.children[2])
        click(copy_box)
        poll('the focus in the copy-paste box', lambda: strip.name() == TABS[2] and copy_box.state() & FOCUSED)
        print(f'ok  {"click into the copy-paste box":<34} tab {TABS[2]}, focus on the box')
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
            save_screenshot(os.path.join(shots, 'preview-1.png'), extents(preview))
        click(copy_box)
        run('xdotool', 'key', 'ctrl+End', 'Return')
        run('xdotool', 'type', '--delay', '20', '&#xF0000;' + 'W' * 120)
        expect_status(r'1024 × 36 ピクセル　警告: アートの幅が 1024 ピクセルを超えています。.*、U\+F0000 を持つフォントがないため空白で描きます（.*）',
                      'typing in the box redraws it')

        def expect_clipboard(action, what):
            # xclip stays behind to serve what it took (nothing); it ends with the display.
            subprocess.run(['xclip', '-selection', 'clipboard', '-i', '/dev/null'], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
            action()
            with tempfile.TemporaryDirectory() as temp:
                art = os.path.join(temp, 'art.txt')
                with open(art, 'w', encoding='utf-8') as out:
                    out.write(text_of(copy_box))
                saved = os.path.join(temp, 'art.png')
                run(cli, 'render', art, '-o', saved, env=env)
                with open(saved, 'rb') as f:
                    wanted = f.read()
            poll(what, lambda: clipboard_png() == wanted, 5)
            print(f'ok  {what:<34} the clipboard holds the saved file ({len(wanted)} bytes)')

        def from_context_menu():
            # Qt leaves popups out of the accessibility tree: the menu's last item,
            # reached from the keyboard, is "画像をコピー" (the screenshot shows it).
            shown = visible_windows(process.pid)
            x, y = copy_box.center()
            run('xdotool', 'mousemove', str(x), str(y), 'click', '3')
            poll('the context menu', lambda: visible_windows(process.pid) - shown)
            if shots:
                save_screenshot(os.path.join(shots, 'context-menu.png'), (0, 0, 1024, 768))
            run('xdotool', 'key', 'Up', 'Return')

        expect_clipboard(from_context_menu, '画像をコピー in the context menu')
        expect_clipboard(lambda: click(copy_button), '画像をコピー in the preview')
        if shots:
            save_screenshot(os.path.join(shots, 'preview-2.png'), extents(preview))

        # Closed, it leaves the box and the main window as they were.
        before = text_of(copy_box)
        click(copy_button)
        run('xdotool', 'key', 'Escape')
        poll('the preview to close', lambda: not preview.state() & SHOWING)
        if text_of(copy_box) != before or not dialog.state() & SHOWING:
            raise Failure('closing the preview changed the main window')
        print(f'ok  {"Escape closes the preview":<34} the box and the window unchanged')
    finally:
        ended(process)


if __name__ == '__main__':
    sys.exit(run_checks(lambda s: the_preview_and_its_picture(s.program, s.cli, s.env, s.a11y, s.shots)))
