#!/usr/bin/env bash
# The real program on a virtual X display, driven with real clicks and keys and read
# through its accessibility tree: the script that QUARVEL_WINDOW_TEST names in this
# folder (by default window_keyboard_test.py). Exits 77 (skipped) when a tool it needs
# is missing.
#   [QUARVEL_WINDOW_TEST=SCRIPT] real_window_test.sh QUARVEL QUARVEL-CLI [SCREENSHOT-FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

for tool in xvfb-run xdotool xprop xclip dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
[ -e /usr/share/dbus-1/services/org.a11y.Bus.service ] || { echo "skipped: at-spi2-core is missing"; exit 77; }
python=
for candidate in /usr/bin/python3 python3; do
  if "$candidate" -c 'import dbus' 2>/dev/null; then python=$candidate; break; fi
done
[ -n "$python" ] || { echo "skipped: no python3 with the dbus module (python3-dbus)"; exit 77; }

exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- "$python" "$here/${QUARVEL_WINDOW_TEST:-window_keyboard_test.py}" "$@"
