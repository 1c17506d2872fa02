#!/usr/bin/env python3
"""The main window of the real program as a keyboard user and a screen reader meet it,
on a real X display (window_session.py says how it runs):
  window_keyboard_test.py QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]

The caption is read from the X properties, the current tab and the focused control
from the accessibility tree (the tab strip is named after its current tab; each
control reports whether it has the focus and whether it shows).
- Ctrl+PageDown and Ctrl+PageUp cycle the tabs from a path box, the strip, the
  copy-paste box (which keeps them) and the margin box, the focus going where the next
  press is seen again;
- the file menu's check item "2色PNG" is toggled by a click and by its letter;
- every control has an accessible name, each text box the one of its label; Alt+B
  and Alt+N reach the scale and the transparent background; the current tab, and
  only it, is selected; the code buttons are a group that their label names;
- Tab comes round from the copy-paste box to the colour swatches, and Space opens
  the colour chooser;
- a message box and the about box keep captions of their own.
"""

import os
import subprocess
import sys

from window_driver import (ACC, CAPTION, CHECKED, CONTROLS, FOCUSED, LABELLED_BY, SELECTABLE, SELECTED, SHOWING, TABS,
                           Failure, click, expect_caption, extents, find_window, poll, run, save_screenshot,
                           visible_windows)
from window_session import ended, run_checks


class MainWindow:
    """The program's main window as the checks meet it: its tabs and boxes, where the
    focus is, and the screenshots taken at each step."""

    def __init__(self, a11y, process, shots):
        self.process, self.shots = process, shots
        self.dialog = poll('the window in the accessibility tree',
                           lambda: find_window(a11y, lambda node: node.role == 'dialog'), 10)
        if self.dialog.name() != CAPTION:
            raise Failure(f'accessible caption {self.dialog.name()!r}')
        tabs = next(n for n in self.dialog.walk() if n.children and n.children[0].role == 'page tab list')
        self.strip, self.pages = tabs.children[0], tabs.children[1:4]
        self.client = tabs.parent
        self.margin = next(n for n in self.client.children if n.role == 'text')
        self.file_box = next(n for n in self.pages[0].walk() if n.role == 'text')
        self.copy_box = next(n for n in self.pages[2].walk() if n.role == 'text')
        # Qt marks the current tab focused, and containers whose focus goes on to a
        # control inside (the copy-paste page, a box's viewport) with that control.
        self.controls = [n for n in self.dialog.walk() if n.role not in ('page tab', 'filler')]
        self.geometry = extents(self.dialog)
        # What a keyboard switch gives the focus to: the page's remembered control, or the
        # strip for the copy-paste page, whose box keeps the tab keys.
        self.remembered = {0: self.file_box, 2: self.strip}
        self.shot_count = 0

    def describe(self, node):
        """A control as a user names it: its role and the label before it."""
        siblings = node.parent.children
        labels = [n.name() for n in siblings[:siblings.index(node)] if n.role == 'label' and n.name()]
        where = next((f'page {TABS[i]}' for i, page in enumerate(self.pages) if node in page.walk()), 'window')
        return f"{node.role} {node.name() or (labels[-1] if labels else '')!r} on the {where}"

    def expect(self, tab, focus=None, what=''):
        """Waits until tab `tab` is current and shown, and the focus is on `focus`
        (by default the page's remembered control, or any text box on it the first
        time)."""
        def settled():
            focused = [n for n in self.controls if n.state() & FOCUSED]
            showing = [i for i, p in enumerate(self.pages) if p.state() & SHOWING]
            if self.strip.name() != TABS[tab] or showing != [tab] or len(focused) != 1:
                return None
            wanted = focus or self.remembered.get(tab)
            if wanted:
                return focused[0] if focused[0] is wanted else None
            return focused[0] if focused[0].role == 'text' and focused[0] in self.pages[tab].walk() else None
        try:
            got = poll(what, settled, 3)
        except Failure:
            focused = [self.describe(n) for n in self.controls if n.state() & FOCUSED]
            raise Failure(f'{what}: tab {self.strip.name()!r}, focus on {focused}, wanted tab {TABS[tab]!r}')
        if not focus:
            self.remembered.setdefault(tab, got)
        print(f'ok  {what:<34} tab {TABS[tab]}, focus on {self.describe(got)}')
        if self.shots:
            self.shot_count += 1
            save_screenshot(os.path.join(self.shots, f'{self.shot_count:02d}-{TABS[tab]}.png'), self.geometry)

    def click_into_the_margin(self):
        click(self.margin)
        self.expect(2, self.margin, 'click into the margin box')

    def windows(self):
        return visible_windows(self.process.pid)


def ctrl_page_keys_cycle_the_tabs(w):
    def press(key, times, tab, step):
        for _ in range(times):
            run('xdotool', 'key', key)
            tab = (tab + step) % 3
            w.expect(tab, what=key)
        return tab

    def press_in_box(key, times):
        for _ in range(times):
            run('xdotool', 'key', key)
            w.expect(2, w.copy_box, key + ' in the box')

    click(w.file_box)
    w.expect(0, w.file_box, 'click into the file path box')
    tab = press('ctrl+Next', 4, 0, +1)
    tab = press('ctrl+Prior', 4, tab, -1)

    click(w.strip.children[1])
    w.expect(1, w.strip, 'click on the tab フォルダ')
    tab = press('ctrl+Next', 4, 1, +1)

    click(w.copy_box)
    w.expect(2, w.copy_box, 'click into the copy-paste box')
    press_in_box('ctrl+Next', 2)
    press_in_box('ctrl+Prior', 2)

    w.click_into_the_margin()
    press('ctrl+Prior', 3, 2, -1)


def the_menus_check_item(w):
    """The file menu's check item, toggled with the mouse and then with the keys."""
    file_menu = next(n for n in w.dialog.walk() if n.role == 'menu item' and n.name() == 'ﾌｧｲﾙ(F)')
    indexed = next(n for n in file_menu.walk() if n.name() == '2色PNG（小さいファイル）(I)')
    if indexed.state() & CHECKED:
        raise Failure('2色PNG is checked at start')
    click(file_menu)
    poll('the file menu', lambda: indexed.state() & SHOWING)

    def shoot_menu(name):
        if w.shots:
            save_screenshot(os.path.join(w.shots, name), extents(indexed.parent))

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


def every_control_is_named(w):
    """Screen readers: every control of the window and of its three pages has a name,
    each text box the one of its label."""
    w.click_into_the_margin()
    named = [n for n in w.dialog.walk() if n.role in CONTROLS]
    unnamed = [w.describe(n) for n in named if not n.name()]
    if unnamed:
        raise Failure(f'controls without a name: {unnamed}')
    print(f'ok  {"every control has a name":<34} {len(named)} controls')
    if w.margin.name() != '余白(M)' or w.file_box.name() != '対象ファイル(T)':
        raise Failure(f'the margin box is named {w.margin.name()!r}, the file path box {w.file_box.name()!r}')
    # The scale and the transparent background, named and reached by their letters.
    scale = next(n for n in w.client.children if n.role == 'combo box')
    transparent = [n for n in w.client.children if n.role == 'check box'][1]
    relations = [int(kind) for kind, _ in scale.proxy.GetRelationSet(dbus_interface=ACC)]
    if scale.name() != '1倍' or LABELLED_BY not in relations or transparent.name() != '背景を透明に':
        raise Failure(f'the scale box shows {scale.name()!r} (relations {relations}), '
                      f'the transparency box is named {transparent.name()!r}')
    run('xdotool', 'key', 'alt+b')
    w.expect(2, scale, 'alt+b')
    for on in (True, False):
        run('xdotool', 'key', 'alt+n')
        poll(f'alt+n to turn transparency {"on" if on else "off"}',
             lambda: bool(transparent.state() & CHECKED) == on)
    print(f'ok  {"alt+b and alt+n":<34} the scale box and the transparency box')
    w.click_into_the_margin()
    # The current tab, and only it, is selected.
    selected = [n.name() for n in w.strip.children if n.role == 'page tab' and n.state() & SELECTED]
    if selected != [w.strip.name()] or not all(n.state() & SELECTABLE for n in w.strip.children):
        raise Failure(f'selected tabs: {selected}, the current one {w.strip.name()!r}')
    print(f'ok  {"the current tab is selected":<34} {selected}')
    # The four code buttons are a group that their label names.
    for page in w.pages[:2]:
        radios = [n for n in page.walk() if n.role == 'radio button']
        groups = {(n.parent.role, n.parent.name()) for n in radios}
        relations = [int(kind) for kind, _ in radios[0].parent.proxy.GetRelationSet(dbus_interface=ACC)]
        if len(radios) != 4 or groups != {('panel', '文字コード')} or LABELLED_BY not in relations:
            raise Failure(f'the code buttons: {len(radios)} in {groups}, relations {relations}')
    print(f'ok  {"the code buttons":<34} a panel named 文字コード, labelled by it')


def tab_comes_round_to_the_swatches(w):
    """Tab leaves the copy-paste box and comes round to the two colour swatches, push
    buttons named after their labels; Space opens the chooser."""
    swatches = [next(n for n in w.client.children if n.role == 'push button' and n.name() == name)
                for name in ('文字色', '背景色')]
    click(w.copy_box)
    w.expect(2, w.copy_box, 'click into the copy-paste box')
    run('xdotool', 'key', 'Tab')
    w.expect(2, swatches[0], 'Tab from the copy-paste box')
    run('xdotool', 'key', 'Tab')
    w.expect(2, swatches[1], 'Tab from the text colour swatch')
    shown = w.windows()
    run('xdotool', 'key', 'space')
    poll('the colour chooser', lambda: w.windows() - shown, 5)
    if w.shots:
        save_screenshot(os.path.join(w.shots, 'colour-chooser.png'), (0, 0, 1024, 768))
    print(f'ok  {"Space on the swatch 背景色":<34} opens the colour chooser')
    run('xdotool', 'key', 'Escape')
    poll('the colour chooser to close', lambda: w.windows() == shown)
    w.click_into_the_margin()


def other_windows_keep_their_captions(w, window):
    """The about box and a message box keep their own captions."""
    def other_window_captioned(caption, close_key):
        box = poll(f'the window {caption!r}', lambda: w.windows() - {window})
        expect_caption(box.pop(), caption)
        run('xdotool', 'key', close_key)
        poll(f'the window {caption!r} to close', lambda: w.windows() == {window})

    # Without a window manager nobody gives the keyboard back to the main window
    # when a box closes; the about box, which needs no keys, comes last.
    click(w.margin)
    run('xdotool', 'key', 'ctrl+a', '5', '0', '0')
    click(next(n for n in w.client.children if n.name() == 'PNG画像生成'))  # refused: above 100
    other_window_captioned('Quarvel', 'Return')
    help_menu = next(n for n in w.dialog.walk() if n.role == 'menu item' and n.name() == 'ﾍﾙﾌﾟ(H)')
    click(help_menu)
    about = next(n for n in help_menu.walk() if n.name() == 'ﾊﾞｼﾞｮｰﾝの表示(V)...')
    poll('the help menu', lambda: about.state() & SHOWING)
    click(about)
    other_window_captioned(CAPTION, 'Escape')


def checks(s):
    process = subprocess.Popen([s.program], env=s.env, stdout=subprocess.DEVNULL)
    try:
        window = run('xdotool', 'search', '--sync', '--onlyvisible', '--pid', str(process.pid)).split()[0]
        expect_caption(window, CAPTION)
        w = MainWindow(s.a11y, process, s.shots)
        ctrl_page_keys_cycle_the_tabs(w)
        the_menus_check_item(w)
        every_control_is_named(w)
        tab_comes_round_to_the_swatches(w)
        other_windows_keep_their_captions(w, window)
        if process.poll() is not None:
            raise Failure(f'the program ended with {process.returncode}')
    finally:
        ended(process)


if __name__ == '__main__':
    sys.exit(run_checks(checks))
