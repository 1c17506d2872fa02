#!/usr/bin/env python3
"""Starting the real program and ending it, on a real X display (window_session.py
says how it runs), each with a program of its own:
  start_and_end_test.py QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]

- "Open with": a document and a folder on the command line fill their pages and are
  converted only when "PNG画像生成" is pressed, as quarvel-cli converts them; a missing
  path is said;
- Return, Enter and Esc on every kind of control leave the window open, Ctrl+Q ends it;
- what is typed into the copy-paste box is there again after Ctrl+Q and the close box;
- --version and --help answer without a display.
"""

import os
import re
import subprocess
import sys
import tempfile

from window_driver import (SENSITIVE, SHOWING, TABS, Failure, click, close_box, close_summary, main_window, poll, run,
                           text_of)
from window_session import ended, run_checks, started


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
        process = started(program, ['thread.htm', 'folder', 'missing.htm'], env, cwd=window_side)
        try:
            dialog = main_window(a11y)
            tabs = next(n for n in dialog.walk() if n.children and n.children[0].role == 'page tab list')
            strip, pages = tabs.children[0], tabs.children[1:4]
            boxes = [next(n for n in page.walk() if n.role == 'text') for page in pages[:2]]
            shown = [text_of(box) for box in boxes]
            if strip.name() != TABS[0] or shown != [f'{window_side}/thread.htm', f'{window_side}/folder']:
                raise Failure(f'opened: tab {strip.name()!r}, the path boxes show {shown}')
            # Opened and idle: the window answers with its button as it is without a job (a job
            # shows it otherwise until it ends); only then is the tree looked at.
            button = poll('the button without a job', lambda: next(
                (n for n in dialog.walk() if n.role == 'push button' and n.name() == 'PNG画像生成'), None))
            if tree_files(window_side) != before:
                raise Failure('opening a document changed it before the button was pressed')
            print(f'ok  {"quarvel DOCUMENT FOLDER MISSING":<34} the file and folder pages filled, nothing touched')
            click(button)
            poll('the document to be converted',
                 lambda: tree_files(window_side).get('thread.htm') == wanted['thread.htm'], 30)
            poll('the file job to end', lambda: button.state() & SENSITIVE, 30)
            close_summary(a11y, '文書 1 件: 変換 1、変更なし 0、失敗 0 ／ 画像 2 枚 ／ 警告 0 件')
            click(strip.children[1])
            poll('the folder tab', lambda: strip.name() == TABS[1])
            click(button)
            try:
                poll('the window to convert what it was given', lambda: tree_files(window_side) == wanted, 30)
            except Failure:
                got = tree_files(window_side)
                raise Failure(f'opened from the command line: {sorted(got)} differ from quarvel-cli\'s {sorted(wanted)}')
        finally:
            process.terminate()
            _, errors = process.communicate(timeout=10)
        if f'quarvel: {window_side}/missing.htm: そのようなファイルやフォルダはありません' not in errors:
            raise Failure(f'no message about the missing path: {errors!r}')
    print(f'ok  {"PNG画像生成 on each page":<34} both converted as quarvel-cli converts them, '
          f'{len(wanted)} files; the missing one said')


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


def checks(s):
    open_from_command_line(s.program, s.cli, s.env, s.a11y)
    keys_never_end_the_program(s.program, s.env, s.a11y)
    the_draft_outlives_the_program(s.program, s.env, s.a11y)
    version_without_a_display(s.program)


if __name__ == '__main__':
    sys.exit(run_checks(checks))
