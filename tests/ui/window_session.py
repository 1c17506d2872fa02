"""How the real-window tests start the program: its environment and the accessibility
bus they read it through (real_window_test.py, art_window_test.py)."""

import os

import dbus


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
