#!/usr/bin/env python3
"""The window's folder job against quarvel-cli convert-folder on the same tree.

    xvfb-run -a scripts/bench-window-folder.py [BUILD-FOLDER] [--runs N]

A tree of 50 saved threads of 20 stretches of the 30-line sample art (1,000 pictures)
is converted from scratch, N times each way: by the window, which converts a folder
named on its command line as a folder dropped on it (`quarvel TREE`), and by
`quarvel-cli convert-folder TREE`; both with their defaults (backup copies, every
core). A run ends when every thread holds its tags: the window is then closed. The window's start (to the first thread being read) is measured apart, with an
empty folder, and taken off. Prints the medians and the time per picture of each.
Needs a display (xvfb-run).
"""
import argparse
import html
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

THREADS, STRETCHES = 50, 20


def make_tree(root, art):
    lines = open(art, encoding="utf-8").read().splitlines()
    stretch = "<br>".join(html.escape(line, quote=False) for line in lines)
    posts = "".join(f"<dt>{n} 名無しさん<dd>{stretch}\r\n" for n in range(1, STRETCHES + 1))
    page = f"<html><body><dl>\r\n{posts}</dl></body></html>\r\n".encode("cp932", "xmlcharrefreplace")
    os.makedirs(root)
    for t in range(THREADS):
        with open(os.path.join(root, f"thread{t:03d}.htm"), "wb") as f:
            f.write(page)


def converted(path):
    with open(path, "rb") as f:
        return f.read().count(b"<img src=") == STRETCHES


def run_window(quarvel, tree, timeout=300):
    """Seconds from the window's launch to the last thread of the tree holding its tags."""
    pending = sorted(os.path.join(tree, name) for name in os.listdir(tree))
    started = time.monotonic()
    process = subprocess.Popen([quarvel, tree], env=dict(os.environ, QUARVEL_FONT=""),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # One file read per look: the first thread not yet seen converted, whatever the
        # order the job takes them in.
        while pending:
            if converted(pending[0]):
                pending.pop(0)
                continue
            if process.poll() is not None:
                raise SystemExit("the window ended before it converted the tree")
            if time.monotonic() - started > timeout:
                raise SystemExit("the window did not convert the tree in time")
            time.sleep(0.005)
        return time.monotonic() - started
    finally:
        process.terminate()
        process.wait(timeout=30)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    quarvel = os.path.abspath(os.path.join(args.build, "app", "quarvel"))
    cli = os.path.abspath(os.path.join(args.build, "cli", "quarvel-cli"))
    if not os.environ.get("DISPLAY"):
        sys.exit("no display: run it under xvfb-run -a")
    work = tempfile.mkdtemp(prefix="quarvel-window-folder.", dir=os.environ.get("TMPDIR", "/var/tmp"))
    try:
        source = os.path.join(work, "source")
        make_tree(source, os.path.join(root, "examples", "medium.txt"))
        tree = os.path.join(work, "tree")

        def fresh():
            shutil.rmtree(tree, ignore_errors=True)
            shutil.copytree(source, tree)
            subprocess.run(["sync"], check=True)

        # The window's start: from its launch to its first look at a folder with nothing to do.
        empty = os.path.join(work, "empty")
        os.makedirs(empty, exist_ok=True)
        with open(os.path.join(empty, "x.htm"), "wb") as f:
            f.write(b"nothing to convert")
        starts = []
        for _ in range(args.runs):
            begun = time.monotonic()
            process = subprocess.Popen([quarvel, empty], env=dict(os.environ, QUARVEL_FONT=""),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # Nothing in the folder changes: the window being shown is the end of its start.
            subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(process.pid), "--name",
                            "^Quarvel"], stdout=subprocess.DEVNULL, check=False, timeout=60)
            starts.append(time.monotonic() - begun)
            process.terminate()
            process.wait(timeout=30)

        window, command = [], []
        for _ in range(args.runs):
            fresh()
            window.append(run_window(quarvel, tree))
            fresh()
            begun = time.monotonic()
            subprocess.run([cli, "convert-folder", "--quiet", tree], check=True, env=dict(os.environ, QUARVEL_FONT=""))
            command.append(time.monotonic() - begun)
            if not all(converted(os.path.join(tree, name)) for name in os.listdir(tree) if name.endswith(".htm")):
                sys.exit("convert-folder did not convert the tree")
        pictures = THREADS * STRETCHES
        start = statistics.median(starts)
        w, c = statistics.median(window), statistics.median(command)
        print(f"window start (to its window shown): median {start * 1e3:.0f} ms")
        print(f"window, {pictures} pictures: median {w * 1e3:.0f} ms, without its start "
              f"{(w - start) * 1e3:.0f} ms, per picture {(w - start) / pictures * 1e3:.2f} ms")
        print(f"convert-folder, {pictures} pictures: median {c * 1e3:.0f} ms, per picture {c / pictures * 1e3:.2f} ms")
        print(f"window / convert-folder per picture: {(w - start) / c:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
