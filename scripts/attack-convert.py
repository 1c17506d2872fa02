#!/usr/bin/env python3
"""Attacks quarvel-cli's conversions of a tree, and checks that nothing was destroyed.

  scripts/attack-convert.py [--cli PATH] [--rounds N] runs K       K runs at once, N rounds
  scripts/attack-convert.py [--cli PATH] [--rounds N] exchange     as root, over a tree that
                                                                   another user owns and changes

runs: a tree of documents of many stretches (so that the runs overlap), with files of the
user's own in the image folders, is converted by K runs of convert-folder at once (and by
K runs of convert on its largest document). After each round every document must be
either as it was or exactly as one run alone converts it, with exactly the pictures of
that run, and every file that was there before must hold what it held.

exchange: a user of its own owns the tree; while root converts it, that user keeps
exchanging a folder of the tree for a symbolic link to a folder it cannot write
(renameat2 RENAME_EXCHANGE). Nothing may appear or change in that folder, and what is
made in the tree is the user's, no more open than its documents.

Prints one line per round and a summary; exits 1 when anything was destroyed.
"""

import argparse
import ctypes
import filecmp
import os
import pwd
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_tree(top, folders=3, documents=3, stretches=300):
    for f in range(folders):
        for d in range(documents):
            doc = b"".join(b"<dt>%d<dd>art %d %d %d<br>line two\r\n" % (s, f, d, s) for s in range(stretches))
            write(os.path.join(top, "f%d" % f, "d%d.htm" % d), doc)
        write(os.path.join(top, "f%d" % f, "d0", "001.png"), b"a picture of the user's own")
        write(os.path.join(top, "f%d" % f, "notes.txt"), b"not a document")
    big = b"".join(b"<dd>art %d<br>x\r\n<p>" % i + b"f" * 2000 + b"</p>\r\n" for i in range(3000))
    write(os.path.join(top, "big.htm"), big)


def files_of(top):
    found = {}
    for folder, dirs, names in os.walk(top):
        for name in names:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, top)] = path
    return found


def same(a, b):
    return filecmp.cmp(a, b, shallow=False)


def check(tree, original, alone, document_names):
    """What was destroyed: a list of complaints."""
    complaints = []
    now, before, converted = files_of(tree), files_of(original), files_of(alone)
    for doc in document_names:
        image = os.path.splitext(doc)[0] + os.sep
        untouched = same(now[doc], before[doc])
        if not untouched and not same(now[doc], converted[doc]):
            complaints.append("%s: neither as it was nor as one run converts it" % doc)
            continue
        expected = {k for k in (before if untouched else converted) if k.startswith(image)}
        have = {k for k in now if k.startswith(image)}
        if not untouched and have != expected:
            complaints.append("%s: pictures %d, one run makes %d" % (doc, len(have), len(expected)))
        for k in expected & have:
            if not same(now[k], (before if untouched else converted)[k]):
                complaints.append("%s: not the picture one run draws" % k)
    for k, path in before.items():
        if k in document_names:
            continue
        if k not in now or not same(now[k], path):
            complaints.append("%s: there before, changed or removed" % k)
    return complaints


def runs_at_once(cli, rounds, runs, work):
    original, alone = os.path.join(work, "original"), os.path.join(work, "alone")
    make_tree(original)
    shutil.copytree(original, alone)
    subprocess.run([cli, "convert-folder", "-q", alone], check=True)
    documents = sorted(k for k in files_of(original) if k.endswith(".htm"))
    failures = 0
    for round_ in range(1, rounds + 1):
        destroyed = False
        for command in (["convert-folder", "-q"], ["convert", "-q", "--no-backup"]):
            tree = os.path.join(work, "tree")
            shutil.rmtree(tree, ignore_errors=True)
            shutil.copytree(original, tree)
            target = tree if command[0] == "convert-folder" else os.path.join(tree, "big.htm")
            started = time.monotonic()
            procs = [subprocess.Popen([cli, *command, "--jobs=%d" % random.choice((1, 2)), target],
                                      stderr=subprocess.PIPE) for _ in range(runs)]
            results = [(p.wait(), p.stderr.read().decode(errors="replace")) for p in procs]
            seconds = time.monotonic() - started
            names = documents if command[0] == "convert-folder" else ["big.htm"]
            complaints = check(tree, original, alone, names)
            converted = sum(not same(os.path.join(tree, d), os.path.join(original, d)) for d in names)
            statuses = [r[0] for r in results]
            print("round %d, %d × %s: exits %s, %d of %d documents converted, %.1f s, %s" % (
                round_, runs, command[0], statuses, converted, len(names), seconds,
                "nothing destroyed" if not complaints else "%d complaints" % len(complaints)))
            for complaint in complaints[:10]:
                print("   ", complaint)
            for status, err in results:
                if err:
                    print("    said:", err.strip().replace("\n", "\n    said: "))
            destroyed |= bool(complaints)
        failures += destroyed
    return failures


RENAME_EXCHANGE = 2


def exchange_attack(cli, rounds, work):
    if os.geteuid() != 0:
        sys.exit("attack-convert: the exchange attack runs as root")
    name = "quarvel-attacker"
    try:
        user = pwd.getpwnam(name)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", name], check=True)
        user = pwd.getpwnam(name)
    os.chmod(work, 0o755)
    libc = ctypes.CDLL(None, use_errno=True)
    failures = 0
    for round_ in range(1, rounds + 1):
        tree, protected = os.path.join(work, "tree"), os.path.join(work, "protected")
        for path in (tree, protected):
            shutil.rmtree(path, ignore_errors=True)
        # Root's folder, mirroring the tree's names, that the user cannot write.
        for sub in range(40):
            write(os.path.join(protected, "s%d" % sub, "d0.htm"), b"<dd>root's own\r\n")
            write(os.path.join(protected, "s%d" % sub, "d0", "002.png"), b"root's own")
        write(os.path.join(protected, "passwd.htm"), b"<dd>root's own\r\n")
        protected_before = {k: open(p, "rb").read() for k, p in files_of(protected).items()}
        for sub in range(40):
            for d in range(5):
                doc = b"".join(b"<dd>art %d %d %d\r\n" % (sub, d, s) for s in range(10))
                write(os.path.join(tree, "s%d" % sub, "d%d.htm" % d), doc)
        for folder, dirs, names in os.walk(tree):
            os.chown(folder, user.pw_uid, user.pw_gid)
            os.chmod(folder, 0o750)
            for n in names:
                os.chown(os.path.join(folder, n), user.pw_uid, user.pw_gid)
                os.chmod(os.path.join(folder, n), 0o600)
        # The attacker: exchanges sub-folders for links to root's folder, as fast as it can.
        attacker = os.fork()
        if attacker == 0:
            os.setgid(user.pw_gid)
            os.setuid(user.pw_uid)
            end = time.monotonic() + 30
            while time.monotonic() < end:
                sub = "s%d" % random.randrange(40)
                real, link = os.path.join(tree, sub), os.path.join(tree, sub + ".x")
                try:
                    if not os.path.lexists(link):
                        os.symlink(os.path.join(protected, sub), link)
                    libc.renameat2(-100, real.encode(), -100, link.encode(), RENAME_EXCHANGE)
                except OSError:
                    pass
            os._exit(0)
        started = time.monotonic()
        run = subprocess.run([cli, "convert-folder", "-q", tree], stderr=subprocess.PIPE)
        seconds = time.monotonic() - started
        os.kill(attacker, 9)
        os.waitpid(attacker, 0)
        complaints = []
        protected_after = {k: open(p, "rb").read() for k, p in files_of(protected).items()}
        if protected_after != protected_before:
            changed = set(protected_after) ^ set(protected_before)
            changed |= {k for k in protected_after if protected_before.get(k) != protected_after[k]}
            complaints.append("root's folder changed: %s" % sorted(changed)[:5])
        made = 0
        for folder, dirs, names in os.walk(tree):
            for entry in [folder] + [os.path.join(folder, n) for n in names]:
                st = os.lstat(entry)
                if st.st_uid != user.pw_uid:
                    complaints.append("%s: owned by %d" % (entry, st.st_uid))
                elif os.path.isfile(entry) and st.st_mode & 0o077:
                    complaints.append("%s: mode %o" % (entry, st.st_mode & 0o7777))
                made += entry.endswith(".png")
        print("round %d: exit %d, %d pictures, %.1f s, %s" % (
            round_, run.returncode, made, seconds,
            "nothing written outside the tree" if not complaints else "%d complaints" % len(complaints)))
        for complaint in complaints[:10]:
            print("   ", complaint)
        failures += bool(complaints)
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "cli", "quarvel-cli"))
    parser.add_argument("--rounds", type=int, default=10)
    parser.add_argument("attack", choices=["runs", "exchange"])
    parser.add_argument("count", nargs="?", type=int, default=2, help="runs at once")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="quarvel-attack.", dir=os.environ.get("WORK_PARENT", "/var/tmp"))
    try:
        if args.attack == "runs":
            failures = runs_at_once(args.cli, args.rounds, args.count, work)
        else:
            failures = exchange_attack(args.cli, args.rounds, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d of %d rounds destroyed something" % (failures, args.rounds))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
