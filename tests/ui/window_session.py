"""How the real-window tests start the program and end it: its environment, the
accessibility bus they read it through, and the frame of each test script
(window_driver.py names them). Each runs inside xvfb-run and dbus-run-session
(real_window_test.sh sets that up):
  SCRIPT QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]"""

import collections
import os
import subprocess
import sys
import tempfile

import dbus

from window_driver import Failure, run

# What a script's checks are given: the program and quarvel-cli, the environment they
# run in, the accessibility bus, and the folder for screenshots (None: none taken).
Session = collections.namedtuple('Session', 'program cli env a11y shots')


def window_env(home):
    """The program in the Japanese locale, whatever the caller's; Qt publishes its
    accessibility tree without a screen reader asking for it. What it keeps between runs
    (the draft of the box, the collections opened last) goes to folders under `home`."""
    env = dict(os.environ, LC_ALL='ja_JP.UTF-8', LANGUAGE='', QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1',
               XDG_STATE_HOME=os.path.join(home, 'state'), XDG_CONFIG_HOME=os.path.join(home, 'config'))
    env.pop('QT_QPA_PLATFORM', None)
    return env


def accessibility_bus():
    bus = dbus.SessionBus()
    return dbus.bus.BusConnection(bus.get_object('org.a11y.Bus', '/org/a11y/bus').GetAddress(
        dbus_interface='org.a11y.Bus'))


def started(program, args, env, cwd=None):
    """The program started with `args`, once it shows a window."""
    process = subprocess.Popen([program] + args, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               text=True)
    run('xdotool', 'search', '--sync', '--onlyvisible', '--pid', str(process.pid))
    return process


def ended(process):
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()


def run_checks(checks):
    """A script's main: checks(Session) with the arguments it was given and a home of
    its own; 0, or 1 once a check fails (said on a line of its own)."""
    program, cli = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shots = sys.argv[3] if len(sys.argv) > 3 else None
    if shots:
        os.makedirs(shots, exist_ok=True)
    with tempfile.TemporaryDirectory() as home:
        try:
            checks(Session(program, cli, window_env(home), accessibility_bus(), shots))
        except Failure as failure:
            print(f'FAIL {failure}')
            return 1
    return 0
