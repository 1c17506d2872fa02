#!/usr/bin/env bash
# Installs what is missing, builds Quarvel (Release) into build/ (the window, quarvel-cli,
# quarvel-server, their man pages, catalogues and completion; not the tests), and starts
# the window. Without a display it says so and draws the examples with quarvel-cli.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh run
cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target quarvel-programs

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/app/quarvel "$@"
fi

echo "No display (DISPLAY and WAYLAND_DISPLAY are empty): the window cannot open." >&2
echo "Drawing the example text art with quarvel-cli instead." >&2

# Draw every example text art into a new temporary folder.
out=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-examples.XXXXXX")
for text in examples/*.txt; do
  png="$out/$(basename "${text%.txt}").png"
  build/cli/quarvel-cli render "$text" -o "$png"
  echo "$png"
done
