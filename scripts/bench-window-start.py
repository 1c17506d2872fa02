#!/usr/bin/env python3
"""Time from starting the window program to its first paint reaching the X server.

    xvfb-run -a -s "-screen 0 1280x1024x24" scripts/bench-window-start.py \
        build/app/quarvel [OTHER-QUARVEL...] [--runs N]

Each program is started in turn (interleaved, so that all see the same load) with a
fresh home folder; the clock stops when Qt reports flushing the whole main window to
the screen (its own "qt.widgets.painting" log, nothing added to the program), and the
program is then killed. Prints for each the median and quartiles of that time and the
median processor time the program had used by then (BENCHMARKS.md, Start-up).
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

FIRST_PAINT = "Flushing top level"


def first_paint(program, home):
    env = dict(os.environ)
    env.update(
        {
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, "config"),
            "XDG_RUNTIME_DIR": home,
            "QUARVEL_FONT": "",
            "QT_LOGGING_RULES": "qt.widgets.painting=true",
            "QT_MESSAGE_PATTERN": "%{message}",
        }
    )
    start = time.monotonic()
    process = subprocess.Popen(
        [program], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True
    )
    painted = None
    for line in process.stderr:
        if line.startswith(FIRST_PAINT):
            painted = time.monotonic() - start
            break
    process.send_signal(signal.SIGKILL)
    _, _, usage = os.wait4(process.pid, 0)
    process.returncode = -signal.SIGKILL
    if painted is None:
        raise RuntimeError(f"{program} ended without painting")
    return painted, usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("programs", nargs="+")
    parser.add_argument("--runs", type=int, default=40)
    parser.add_argument("--warmup", type=int, default=3)
    args = parser.parse_args()
    if "DISPLAY" not in os.environ:
        sys.exit("no DISPLAY: run under xvfb-run")
    home = tempfile.mkdtemp(prefix="quarvel-window-bench.")
    try:
        times = {p: [] for p in args.programs}
        cpu = {p: [] for p in args.programs}
        for run in range(args.warmup + args.runs):
            for program in args.programs:
                shutil.rmtree(os.path.join(home, "config"), ignore_errors=True)
                wall, used = first_paint(program, home)
                if run >= args.warmup:
                    times[program].append(wall)
                    cpu[program].append(used)
        for program, values in times.items():
            q = statistics.quantiles(values, n=4)
            print(f"{program}: first paint median {statistics.median(values) * 1e3:.1f} ms "
                  f"(quartiles {q[0] * 1e3:.1f} to {q[2] * 1e3:.1f} ms, {len(values)} runs), "
                  f"processor time by then {statistics.median(cpu[program]) * 1e3:.1f} ms")
    finally:
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
