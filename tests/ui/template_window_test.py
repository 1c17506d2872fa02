#!/usr/bin/env python3
"""The template collections' window of the real program, on a real X display
(window_session.py says how it runs):
  template_window_test.py QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]

A template collection opens with as many pieces as quarvel-cli render-pieces draws,
its search narrows the list and Enter sends a piece to the copy-paste box.
"""

import os
import sys
import tempfile

from window_driver import (ACC, PROPERTIES, SHOWING, click, extents, find_window, main_window, poll, run,
                           save_screenshot, text_of)
from window_session import ended, run_checks, started


def template_browser(program, cli, env, a11y, shots):
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
            if shots:
                save_screenshot(os.path.join(shots, 'browser.png'), extents(browser))
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


if __name__ == '__main__':
    sys.exit(run_checks(lambda s: template_browser(s.program, s.cli, s.env, s.a11y, s.shots)))
