#!/usr/bin/env python3
"""Keeps the window's translations (ui/translations/quarvel_*.ts) in step with its
texts: those of the code of ui/ (QCoreApplication::translate) and those of the
resources (res/dialogs, res/menus, res/strings.json), which lupdate cannot read: they
are handed to it as QT_TRANSLATE_NOOP lines of a scratch source file, in the contexts
the window translates them in (Dialogs, Menus, Strings). A new text comes in
unfinished, for a translator to fill in; a text no longer used is dropped.

    scripts/update-ts.py           brings the .ts files up to date
    scripts/update-ts.py --check   changes nothing; fails when a .ts file lacks a text
                                   of the window, keeps one it no longer has, or has
                                   a text without its translation
"""
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The kinds of controls whose text is a value (an edit box's) or a resource number
# (an icon's), never shown as words.
NOT_WORDS = {'edit', 'icon'}


def lupdate():
    for candidate in (os.environ.get('LUPDATE'), '/usr/lib/qt6/bin/lupdate', shutil.which('lupdate')):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    sys.exit('update-ts: no lupdate (Debian: qt6-l10n-tools)')


def resource_texts():
    """(context, text) of every word the resources show, in file order."""
    texts = []
    for path in sorted(glob.glob(os.path.join(ROOT, 'res/dialogs/*.json'))):
        dialog = json.load(open(path, encoding='utf-8'))
        texts.append(('Dialogs', dialog.get('caption', '')))
        texts += [('Dialogs', c.get('text', '')) for c in dialog['controls'] if c['kind'] not in NOT_WORDS]
    for path in sorted(glob.glob(os.path.join(ROOT, 'res/menus/*.json'))):
        for menu in json.load(open(path, encoding='utf-8'))['menus']:
            texts.append(('Menus', menu['text']))
            texts += [('Menus', item['text']) for item in menu['items'] if 'text' in item]
    strings = json.load(open(os.path.join(ROOT, 'res/strings.json'), encoding='utf-8'))
    texts += [('Strings', text) for text in strings.values()]
    return [(context, text) for context, text in texts if text]


def c_string(text):
    return '"' + text.replace('\\', '\\\\').replace('"', '\\"').replace('\n', '\\n') + '"'


def update(ts_files, scratch):
    source = os.path.join(scratch, 'resources.cpp')
    with open(source, 'w', encoding='utf-8') as out:
        for context, text in resource_texts():
            out.write(f'QT_TRANSLATE_NOOP({c_string(context)}, {c_string(text)});\n')
    for ts in ts_files:
        subprocess.run([lupdate(), '-silent', '-no-obsolete', '-locations', 'none', '-source-language', 'ja',
                        os.path.join(ROOT, 'ui'), source, '-ts', ts], check=True)


def problems(ts):
    """What a .ts file lacks: its texts without a finished translation."""
    found = []
    for context in ElementTree.parse(ts).getroot().iter('context'):
        name = context.findtext('name')
        for message in context.iter('message'):
            translation = message.find('translation')
            # A text with a count has a form for each number instead of one text.
            forms = [] if translation is None else [f.text for f in translation.iter('numerusform')]
            text = ''.join(f or '' for f in forms) if forms else (translation.text if translation is not None else '')
            if translation is None or translation.get('type') or not (text or '').strip() or not all(forms):
                found.append(f'{name}: {message.findtext("source")!r} has no translation')
    return found


def main():
    ts_files = sorted(glob.glob(os.path.join(ROOT, 'ui/translations/quarvel_*.ts')))
    check = sys.argv[1:] == ['--check']
    with tempfile.TemporaryDirectory() as scratch:
        if not check:
            update(ts_files, scratch)
            return 0
        failed = []
        for ts in ts_files:
            copy = os.path.join(scratch, os.path.basename(ts))
            shutil.copyfile(ts, copy)
            update([copy], scratch)
            name = os.path.relpath(ts, ROOT)
            if open(copy, 'rb').read() != open(ts, 'rb').read():
                failed.append(f'{name} is not in step with the texts of the window (run scripts/update-ts.py)')
            failed += [f'{name}: {problem}' for problem in problems(copy)]
        print('\n'.join(failed) if failed else f'{len(ts_files)} translation(s) complete and in step')
        return 1 if failed or not ts_files else 0


if __name__ == '__main__':
    sys.exit(main())
