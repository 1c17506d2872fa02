#!/usr/bin/env python3
"""The language of the real program's windows, on a real X display (window_session.py
says how it runs):
  window_locale_test.py QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]

The main window and Qt's file dialog speak the locale's language, as quarvel-cli does.
"""

import sys

from window_driver import CAPTION, SHOWING, Failure, find_window, main_window, poll, run
from window_session import ended, run_checks, started


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


if __name__ == '__main__':
    sys.exit(run_checks(lambda s: dialogs_speak_the_locale(s.program, s.env, s.a11y)))
