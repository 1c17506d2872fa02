#!/usr/bin/env bash
# Whole-process start-up of quarvel-cli against pango-view drawing the same text, side
# by side in one hyperfine run (BENCHMARKS.md, Start-up):
#   scripts/bench-startup.sh [build/cli/quarvel-cli [OTHER-QUARVEL-CLI...]]
# Each quarvel-cli given renders the 5-line and the 30-line example; pango-view draws
# the same files in Monapo at 12 points. Pictures go to a folder on tmpfs (/dev/shm);
# WORK_PARENT=FOLDER puts them elsewhere (a folder on disk, where a user's pictures go:
# there the kernel's cost of making a file shows). Prints each command's median and its
# ratio to pango-view's.
# RUNS (default 300) and WARMUP (default 30) set the number of runs, spread over ROUNDS
# (default 5) hyperfine runs.
# FLOOR=1 adds, to the 5-line run, the floor any such program stands on: a C++ "hello"
# (the C++ runtime alone), and the same linked to every library the first quarvel-cli
# names (readelf's NEEDED), built here with g++.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
clis=("$@")
[ ${#clis[@]} -eq 0 ] && clis=("$root/build/cli/quarvel-cli")
for cli in "${clis[@]}"; do
  [ -x "$cli" ] || { echo "no program at $cli" >&2; exit 1; }
done
command -v hyperfine >/dev/null && command -v pango-view >/dev/null ||
  { echo "hyperfine and pango-view are needed: scripts/install-deps.sh bench" >&2; exit 1; }

parent=${WORK_PARENT:-/dev/shm}
[ -d "$parent" ] && [ -w "$parent" ] || parent=${TMPDIR:-/tmp}
work=$(mktemp -d "$parent/quarvel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "work folder: $work ($(stat -f -c %T "$work"))"
export QUARVEL_FONT=

floor=()
if [ "${FLOOR:-0}" = 1 ]; then
  printf '#include <cstdio>\n#include <string>\nint main() { std::string s("x"); std::puts(s.c_str()); }\n' \
    >"$work/hello.cpp"
  needed=$(readelf -d "${clis[0]}" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/-l:\1/p')
  g++ -O2 -o "$work/hello" "$work/hello.cpp"
  # shellcheck disable=SC2086  # one word per library
  g++ -O2 -o "$work/hello-libs" "$work/hello.cpp" -Wl,--no-as-needed $needed
  floor=("$work/hello" "$work/hello-libs")
fi

rounds=${ROUNDS:-5}
for lines in small:5 medium:30; do
  name=${lines%%:*}
  cp "$root/examples/$name.txt" "$work/$name.txt"
  names=() commands=()
  i=0
  for cli in "${clis[@]}"; do
    i=$((i + 1))
    names+=("quarvel-cli${i} ${lines#*:} lines")
    commands+=("$cli render $work/$name.txt -o $work/q$i.png")
  done
  if [ "$name" = small ] && [ ${#floor[@]} -gt 0 ]; then
    names+=("floor: C++ hello" "floor: hello + the libraries")
    commands+=("${floor[@]}")
  fi
  names+=("pango-view ${lines#*:} lines")
  commands+=("pango-view --no-display -q --font=\"Monapo 12\" -o $work/p.png $work/$name.txt")
  echo "== ${lines#*:} lines: $(uptime)"
  # hyperfine runs one command's runs after another's: on a machine whose speed drifts
  # by a tenth within a minute, that would show as a difference between them. So the
  # runs are spread over rounds, the commands in the opposite order every other round,
  # and each command's times pooled.
  for round in $(seq "$rounds"); do
    args=()
    for k in "${!names[@]}"; do
      [ $((round % 2)) = 0 ] && k=$((${#names[@]} - 1 - k))
      args+=(-n "${names[$k]}" "${commands[$k]}")
    done
    hyperfine -N -u millisecond --warmup "${WARMUP:-30}" --runs $(((${RUNS:-300} + rounds - 1) / rounds)) \
      --export-json "$work/$name.$round.json" "${args[@]}" >/dev/null
  done
  python3 - "$work/$name".*.json <<'EOF'
import json, statistics, sys
times = {}
for path in sys.argv[1:]:
    for r in json.load(open(path))["results"]:
        times.setdefault(r["command"], []).extend(r["times"])
pango = statistics.median(next(t for c, t in times.items() if c.startswith("pango-view")))
for command, t in times.items():
    m = statistics.median(t)
    print(f"{command:<30} median {m * 1e3:7.2f} ms   {m / pango:5.3f} x pango-view   ({len(t)} runs)")
EOF
done
