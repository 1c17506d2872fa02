#!/usr/bin/env python3
"""A folder job of the real program, on a real X display (window_session.py says how
it runs):
  folder_summary_test.py QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]

A folder job with warnings and a failure ends with a summary that names them, with the
counts of quarvel-cli convert-folder's closing line (read from a pseudo-terminal).
"""

import os
import re
import sys
import tempfile

from window_driver import (SHOWING, Failure, click, extents, find_summary, find_window, main_window, poll, run,
                           save_screenshot, summary_counts, terminal_run, text_of)
from window_session import ended, run_checks, started


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


def summary_matches_the_command_line(program, cli, env, a11y, shots):
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
            if shots:
                save_screenshot(os.path.join(shots, 'summary.png'), extents(summary))
            run('xdotool', 'key', 'Escape')
            poll('the summary to close', lambda: not summary.state() & SHOWING)
        finally:
            ended(process)
    print(f'ok  {"a folder job with warnings":<34} {counts!r}, as convert-folder counts; each named')


if __name__ == '__main__':
    sys.exit(run_checks(lambda s: summary_matches_the_command_line(s.program, s.cli, s.env, s.a11y, s.shots)))
