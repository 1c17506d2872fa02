#!/usr/bin/env python3
"""Attacks quarvel-cli's conversions of a tree, and checks that nothing was destroyed.

  scripts/attack-convert.py [--cli PATH] [--rounds N] runs K       K runs at once, N rounds
  scripts/attack-convert.py [--cli PATH] [--rounds N] exchange     as root, over a tree that
                                                                   another user owns and changes
  scripts/attack-convert.py [--cli PATH] [--rounds N] kill         kill -9 at a random moment,
                                                                   then a run to the end
  scripts/attack-convert.py [--cli PATH] [--rounds N] full         as root, on a tmpfs that fills up
  scripts/attack-convert.py [--cli PATH] note|damaged|lock         as root, with two users of its own
  scripts/attack-convert.py [--cli PATH] [--rounds N] backuplink   (scripts/attack_convert_users.py)

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
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import attack_convert_users as users  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
cli_path = os.path.join(ROOT, "build", "cli", "quarvel-cli")


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
        if have != expected:
            complaints.append("%s: %s, with %d pictures where %d belong" % (
                doc, "untouched" if untouched else "converted", len(have), len(expected)))
        for k in expected & have:
            if not same(now[k], (before if untouched else converted)[k]):
                complaints.append("%s: not the picture one run draws" % k)
    for k, path in before.items():
        if k in document_names:
            continue
        if k not in now or not same(now[k], path):
            complaints.append("%s: there before, changed or removed" % k)
    for k, path in now.items():
        if ".quarvel-" in os.path.basename(k):
            complaints.append("%s: a temporary file left" % k)
        elif os.path.getsize(path) == 0 and k not in before:
            complaints.append("%s: an empty file" % k)
    return complaints


def reference(work):
    """The original tree and what one run alone makes of it."""
    original, alone = os.path.join(work, "original"), os.path.join(work, "alone")
    make_tree(original)
    shutil.copytree(original, alone)
    subprocess.run([cli_path, "convert-folder", "-q", alone], check=True)
    return original, alone, sorted(k for k in files_of(original) if k.endswith(".htm"))


TAG = re.compile(rb'<img src="\./([^"]+)">')


def tags_hold(tree, alone, doc):
    """The document converted whole: each of its tags names a picture that is there and
    equals the picture of the same stretch that one run alone draws."""
    folder = os.path.dirname(doc)
    ours = TAG.findall(open(os.path.join(tree, doc), "rb").read())
    theirs = TAG.findall(open(os.path.join(alone, doc), "rb").read())
    if len(ours) != len(theirs):
        return "%s: %d tags, one run makes %d" % (doc, len(ours), len(theirs))
    for a, b in zip(ours, theirs):
        mine = os.path.join(tree, folder, a.decode())
        if not os.path.isfile(mine) or not same(mine, os.path.join(alone, folder, b.decode())):
            return "%s: %s missing or not its stretch's picture" % (doc, a.decode())
    return None


def killed(cli, rounds, work):
    """Killed at a random moment: no document half converted and no file of the user's
    touched; pictures named just before the kill, whose document was not yet replaced,
    are counted. The next run converts every document whole and leaves none of them."""
    original, alone, documents = reference(work)
    failures = 0
    for round_ in range(1, rounds + 1):
        tree = os.path.join(work, "tree")
        shutil.rmtree(tree, ignore_errors=True)
        shutil.copytree(original, tree)
        run = subprocess.Popen([cli, "convert-folder", "-q", "--jobs=%d" % random.choice((1, 2)), tree])
        delay = random.uniform(0.2, 4.0)
        time.sleep(delay)
        run.kill()
        run.wait()
        complaints = check(tree, original, alone, documents)
        converted = sum(not same(os.path.join(tree, d), os.path.join(original, d)) for d in documents)
        # (backups of documents not yet replaced may be there: the next run keeps them)
        complaints = [c for c in complaints if not c.startswith("backup/") and "/backup/" not in c]
        orphans = [c for c in complaints if ": untouched, with " in c]
        complaints = [c for c in complaints if c not in orphans]
        left = sum(int(c.split(" with ")[1].split()[0]) - int(c.split(" where ")[1].split()[0]) for c in orphans)
        finish = subprocess.run([cli, "convert-folder", "-q", tree], stderr=subprocess.PIPE)
        after = [c for c in (tags_hold(tree, alone, d) for d in documents) if c]
        after += [c for c in check(tree, original, alone, documents) if " pictures where " in c]
        finished = files_of(tree)
        after += ["%s: there before, changed or removed" % k for k, p in files_of(original).items()
                  if k not in documents and (k not in finished or not same(p, finished[k]))]
        print("round %d: killed after %.1f s, %d of %d documents converted, %d pictures left without their "
              "document, %s; the next run: exit %d, %s" % (
                  round_, delay, converted, len(documents), left,
                  "nothing destroyed" if not complaints else complaints[:3], finish.returncode,
                  "every document whole" if not after else after[:3]))
        failures += bool(complaints or after or finish.returncode)
    return failures


def full_disk(cli, rounds, work):
    if os.geteuid() != 0:
        sys.exit("attack-convert: the full-disk attack runs as root (it mounts a tmpfs)")
    original, alone, documents = reference(work)
    small = os.path.join(work, "small")
    os.makedirs(small)
    failures = 0
    for round_ in range(1, rounds + 1):
        size = random.choice((7, 8, 10))
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dm" % size, "tmpfs", small], check=True)
        try:
            tree = os.path.join(small, "tree")
            shutil.copytree(original, tree)
            run = subprocess.run([cli, "convert-folder", "-q", "--jobs=%d" % random.choice((1, 2)), tree],
                                 stderr=subprocess.PIPE)
            said = run.stderr.decode(errors="replace").strip().splitlines()
            complaints = check(tree, original, alone, documents)
            converted = sum(not same(os.path.join(tree, d), os.path.join(original, d)) for d in documents)
            complaints = [c for c in complaints if "/backup/" not in c and not c.startswith("backup/")]
            print("round %d: %d MB, exit %d, %d of %d documents converted, %d messages (%s), %s" % (
                round_, size, run.returncode, converted, len(documents), len(said), said[0][-60:] if said else "",
                "nothing destroyed" if not complaints else complaints[:3]))
            failures += bool(complaints) or (run.returncode == 0 and converted < len(documents))
        finally:
            subprocess.run(["umount", small], check=True)
    return failures


def runs_at_once(cli, rounds, runs, work):
    original, alone, documents = reference(work)
    failures = 0
    for round_ in range(1, rounds + 1):
        destroyed = False
        for command in (["convert-folder", "-q"], ["convert", "-q", "--no-backup"]):
            tree = os.path.join(work, "tree")
            shutil.rmtree(tree, ignore_errors=True)
            shutil.copytree(original, tree)
            target = tree if command[0] == "convert-folder" else os.path.join(tree, "big.htm")
            started = time.monotonic()
            procs = [subprocess.Popen([cli, *command, "--lock-wait=600", "--jobs=%d" % random.choice((1, 2)), target],
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
    parser.add_argument("attack", choices=["runs", "exchange", "kill", "full", "note", "damaged", "backuplink",
                                           "lock"])
    parser.add_argument("count", nargs="?", type=int, default=2, help="runs at once")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="quarvel-attack.", dir=os.environ.get("WORK_PARENT", "/var/tmp"))
    try:
        global cli_path
        cli_path = args.cli
        attacks = {"runs": lambda: runs_at_once(args.cli, args.rounds, args.count, work),
                   "exchange": lambda: exchange_attack(args.cli, args.rounds, work),
                   "kill": lambda: killed(args.cli, args.rounds, work),
                   "full": lambda: full_disk(args.cli, args.rounds, work),
                   "note": lambda: users.note_attack(args.cli, work),
                   "damaged": lambda: users.damaged_attack(args.cli, work),
                   "backuplink": lambda: users.backup_link_attack(args.cli, work, args.rounds),
                   "lock": lambda: users.lock_attack(args.cli, work)}
        failures = attacks[args.attack]()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    cases = args.rounds
    if isinstance(failures, tuple):
        failures, cases = failures
    print("%d of %d rounds destroyed something" % (failures, cases))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
