"""The attacks of scripts/attack-convert.py in which other users meet root's runs, and
restore meets damaged or exchanged backups (imported by it; run as root).

  note        in a shared sticky image folder, user B plants a note naming user C's
              picture: root converts B's document, C converts C's own
  damaged     restore of a copy cut to half, and of an empty copy
  backuplink  root restores a document while its owner exchanges backup/ for a link to
              root's folder, the run slowed by strace so that the exchange falls between
              the look into backup/ and the read of the copy every time
  lock        another user holds a shared lock on a document of the tree: convert-folder,
              restore, and Ctrl+C during the wait

After each, restore runs on every document: it must be as it was, or its copy with only
the conversion's own unchanged pictures gone, and every file of the users as it was.
"""

import ctypes
import os
import pwd
import signal
import subprocess
import time

DOC = b"<dd>one\r\n<dd>two\r\n<dd>three\r\n"
RENAME_EXCHANGE = 2


def user(name):
    try:
        return pwd.getpwnam(name)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", name], check=True)
        return pwd.getpwnam(name)


def as_user(u):
    def become():
        os.setgroups([])
        os.setgid(u.pw_gid)
        os.setuid(u.pw_uid)
    return become


def put(path, data, owner=None, mode=0o644):
    with open(path, "wb") as f:
        f.write(data)
    if owner:
        os.chown(path, owner.pw_uid, owner.pw_gid)
    os.chmod(path, mode)


def folder(path, owner=None, mode=0o755):
    os.makedirs(path, exist_ok=True)
    if owner:
        os.chown(path, owner.pw_uid, owner.pw_gid)
    os.chmod(path, mode)


def run(cli, args, who=None, timeout=120):
    try:
        r = subprocess.run([cli, *args], capture_output=True, timeout=timeout,
                           preexec_fn=as_user(who) if who else None)
        return r.returncode, (r.stdout + r.stderr).decode(errors="replace").strip()
    except subprocess.TimeoutExpired:
        return None, "still running after %d s" % timeout


def files(top):
    found = {}
    for where, _, names in os.walk(top):
        for name in names:
            path = os.path.join(where, name)
            if not os.path.islink(path):
                found[os.path.relpath(path, top)] = open(path, "rb").read()
    return found


def pictures(image):
    return {n: open(os.path.join(image, n), "rb").read() for n in os.listdir(image) if n.endswith(".png")} \
        if os.path.isdir(image) else {}


def after_restore(doc, original, made, theirs):
    """What restore left that it must not have: the document neither as it was nor its
    copy, a user's file changed or gone, or a picture of the conversion left unchanged."""
    complaints = []
    if open(doc, "rb").read() != original:
        complaints.append("%s: not its copy" % os.path.basename(doc))
    for path, data in theirs.items():
        if not os.path.isfile(path) or open(path, "rb").read() != data:
            complaints.append("%s: a user's file changed or gone" % path)
    image = os.path.splitext(doc)[0]
    left = [n for n, data in made.items() if pictures(image).get(n) == data]
    if left:
        complaints.append("%s: pictures of the conversion left: %s" % (os.path.basename(doc), left))
    return complaints


def identity(path):
    """A file as the note names it: device, inode, size, modification time."""
    st = os.stat(path)
    return "%d %d %d %d %d" % (st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns // 10**9, st.st_mtime_ns % 10**9)


def note_attack(cli, work):
    b, c = user("quarvel-attacker"), user("quarvel-other")
    os.chmod(work, 0o755)
    results = []
    for converter, owner in ((None, b), (c, c)):
        pub = os.path.join(work, "pub-" + owner.pw_name)
        folder(pub, mode=0o1777)
        doc = os.path.join(pub, "d.htm")
        image = os.path.splitext(doc)[0]
        put(doc, DOC, owner)
        folder(image, mode=0o1777)  # shared, sticky
        photo = os.path.join(image, "001.png")
        put(photo, b"C's own photo", c)
        note = os.path.join(image, ".quarvel.naming")
        pid = os.fork()
        if pid == 0:  # B plants the note
            try:
                as_user(b)()
                put(note, ("document %s\n%s 001.png\n" % (identity(doc), identity(photo))).encode())
            finally:
                os._exit(0)
        os.waitpid(pid, 0)
        planted = os.path.isfile(note)
        first = run(cli, ["convert", "-q", doc], converter)
        second = run(cli, ["convert", "-q", doc], converter)
        made = {n: d for n, d in pictures(image).items() if n != "001.png"}
        kept = os.path.isfile(photo) and open(photo, "rb").read() == b"C's own photo"
        restored = run(cli, ["restore", doc], converter)
        complaints = after_restore(doc, DOC, made, {photo: b"C's own photo"})
        results.append(("%s converts %s's document" % ("root" if not converter else converter.pw_name, owner.pw_name),
                        planted, first, second, kept, restored, complaints))
    failures = 0
    for what, planted, first, second, kept, restored, complaints in results:
        print("%s%s: exit %s then %s (%s), C's photo %s; restore: exit %s; %s" % (
            what, "" if planted else " (NO NOTE PLANTED)", first[0], second[0],
            first[1].splitlines()[-1][-90:] if first[1] else "", "kept" if kept else "REMOVED", restored[0],
            "nothing destroyed" if not complaints else complaints))
        failures += bool(complaints) or not kept or first[0] != 0 or not planted
    return failures, len(results)


def damaged_attack(cli, work):
    failures = 0
    for how, cut in (("cut to half", lambda b: b[:len(b) // 2]), ("emptied", lambda b: b"")):
        tree = os.path.join(work, "damaged-" + how.split()[0])
        folder(tree)
        doc = os.path.join(tree, "d.htm")
        put(doc, DOC)
        run(cli, ["convert", "-q", doc])
        copy = os.path.join(tree, "backup", "d.htm")
        put(copy, cut(open(copy, "rb").read()))
        before = files(tree)
        code, said = run(cli, ["restore", doc])
        changed = sorted(k for k in set(before) | set(files(tree)) if before.get(k) != files(tree).get(k))
        print("copy %s: restore exit %s (%s); %s" % (how, code, said[-80:],
                                                  "nothing changed" if not changed else "changed: %s" % changed[:6]))
        failures += code != 1 or bool(changed)
    return failures, 2


def victim_pid(tracer, cli):
    """The program strace runs, once it runs `cli`."""
    for _ in range(1000):
        try:
            for task in os.listdir("/proc/%d/task" % tracer):
                for child in open("/proc/%d/task/%s/children" % (tracer, task)).read().split():
                    if os.readlink("/proc/%s/exe" % child) == os.path.realpath(cli):
                        return int(child)
        except OSError:
            pass
        time.sleep(0.005)
    return None


def open_files(pid):
    found = []
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            try:
                found.append(os.readlink("/proc/%d/fd/%s" % (pid, fd)))
            except OSError:
                pass
    except OSError:
        pass
    return found


def backup_link_attack(cli, work, rounds):
    b = user("quarvel-attacker")
    libc = ctypes.CDLL(None, use_errno=True)
    os.chmod(work, 0o755)
    failures = 0
    for round_ in range(1, rounds + 1):
        tree, protected = os.path.join(work, "tree-%d" % round_), os.path.join(work, "protected-%d" % round_)
        folder(protected, mode=0o700)
        put(os.path.join(protected, "d.htm"), b"root's secret\n", mode=0o600)
        folder(tree, b, 0o755)
        doc = os.path.join(tree, "d.htm")
        put(doc, DOC, b, 0o644)
        run(cli, ["convert", "-q", doc])
        made = pictures(os.path.join(tree, "d"))
        link = os.path.join(tree, "backup.x")
        os.symlink(protected, link)
        os.lchown(link, b.pw_uid, b.pw_gid)
        # The owner exchanges backup/ and the link when told: once root has looked into
        # backup/, and back once root has the copy open.
        go, ready = os.pipe()
        attacker = os.fork()
        if attacker == 0:
            try:
                as_user(b)()
                os.close(ready)
                while os.read(go, 1):
                    libc.renameat2(-100, os.path.join(tree, "backup").encode(), -100, link.encode(), RENAME_EXCHANGE)
            finally:
                os._exit(0)
        os.close(go)
        strace = subprocess.Popen(["strace", "-f", "-o", "/dev/null", "-e", "trace=getdents64,read",
                                   "-e", "inject=getdents64:delay_exit=300000", "-e", "inject=read:delay_exit=30000",
                                   cli, "restore", doc], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        pid, step = victim_pid(strace.pid, cli), 0
        backup = os.path.join(tree, "backup")
        while strace.poll() is None and step < 2 and pid:
            opened = open_files(pid)
            if step == 0 and any(f == backup or f.startswith(backup + "/") for f in opened):
                os.write(ready, b"x")  # backup/ becomes the link
                step = 1
            elif step == 1 and any(f.endswith("/d.htm") and "/backup" in f or f.startswith(protected) for f in opened):
                os.write(ready, b"x")  # and back
                step = 2
            time.sleep(0.002)
        said = strace.communicate()[0].decode(errors="replace").strip()
        os.close(ready)
        os.waitpid(attacker, 0)
        now = open(doc, "rb").read()
        complaints = ["the document holds root's secret"] if b"secret" in now else []
        complaints += [c for c in after_restore(doc, DOC, made, {os.path.join(protected, "d.htm"): b"root's secret\n"})
                       if "not its copy" not in c or not complaints]
        print("round %d: exchanged %d times, restore exit %s (%s): %s" % (
            round_, step, strace.returncode, said.splitlines()[-1][-70:] if said else "",
            "nothing destroyed" if not complaints else complaints))
        failures += bool(complaints) or step < 2
    return failures, rounds


def lock_attack(cli, work):
    b, c = user("quarvel-attacker"), user("quarvel-other")
    os.chmod(work, 0o755)
    tree = os.path.join(work, "locked")
    folder(tree, b)
    for name in ("a.htm", "b.htm"):
        put(os.path.join(tree, name), DOC, b, 0o644)
    holder = subprocess.Popen(["flock", "-s", os.path.join(tree, "a.htm"), "sleep", "600"], preexec_fn=as_user(c))
    time.sleep(0.5)
    failures = 0
    try:
        started = time.monotonic()
        code, said = run(cli, ["convert-folder", tree], timeout=40)
        converted = open(os.path.join(tree, "b.htm"), "rb").read() != DOC
        print("convert-folder with a.htm locked by %s: exit %s after %.0f s, b.htm %s; said: %s" % (
            c.pw_name, code, time.monotonic() - started, "converted" if converted else "NOT REACHED",
            " / ".join(said.splitlines()[-3:])))
        failures += code != 1 or not converted
        code, said = run(cli, ["restore", os.path.join(tree, "a.htm"), os.path.join(tree, "b.htm")], timeout=40)
        print("restore of both, a.htm still locked: exit %s; %s" % (code, " / ".join(said.splitlines())[-160:]))
        complaints = after_restore(os.path.join(tree, "b.htm"), DOC, {}, {})
        complaints += ["a.htm changed"] if open(os.path.join(tree, "a.htm"), "rb").read() != DOC else []
        before = files(tree)
        victim = subprocess.Popen([cli, "convert-folder", tree], stderr=subprocess.PIPE)
        time.sleep(3)
        victim.send_signal(signal.SIGINT)
        victim.wait(timeout=30)
        complaints += ["Ctrl+C during the wait changed something"] if files(tree) != before else []
        print("Ctrl+C 3 s into the wait: exit %s; %s" % (victim.returncode,
                                                          "nothing destroyed" if not complaints else complaints))
        failures += bool(complaints) or victim.returncode != 130
    finally:
        holder.kill()
        holder.wait()
    return failures, 3
