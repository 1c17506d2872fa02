#!/usr/bin/env bash
# The edges of size, for BENCHMARKS.md:
# - convert-folder and restore-folder of one folder of 1,000, 4,000 and 16,000 documents of
#   one stretch each: processor time (user + system, the least of three runs), and how it
#   grows against the documents; convert-folder with --jobs 1, as idle workers of more jobs
#   spin (sched_yield) for as long as the run waits, which is the machine's load, not the
#   input's size;
# - render-pieces of 1,000,000 one-line pieces: time, peak memory and the most descriptors
#   open at once (looked at every 20 ms), with the process's limit and with `ulimit -n 256`;
# - render-pieces of a piece of 100 MiB and of a name of 100 MiB: peak memory against the
#   input.
# It works in a folder in memory (tmpfs) by default, so that neither a disk's flushes nor
# its slow removal of a million files is measured.
#   scripts/bench-edges.sh [QUARVEL-CLI] [WORK-FOLDER]
# SIZES (default "1000 4000 16000") and PIECES (default 1000000) change the inputs; an
# empty SIZES, PIECES=0 or HUGE=0 leaves that part out.
set -euo pipefail
cli=$(realpath "${1:-build/cli/quarvel-cli}")
base=${2:-/dev/shm}
sizes=${SIZES-1000 4000 16000}
pieces=${PIECES:-1000000}
huge=${HUGE:-1}
work=$(mktemp -d "$base/quarvel-edges.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# documents FOLDER N: N documents of one stretch each.
documents() {
  python3 - "$1" "$2" <<'EOF'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
for i in range(count):
    with open(os.path.join(folder, f"doc{i}.htm"), "w", newline="") as f:
        f.write(f"<html><body><dl><dt>{i}<dd>art {i}\r\n</dl></body></html>\r\n")
EOF
}

# cpu COMMAND...: the processor time of the command in seconds (user + system).
cpu() {
  /usr/bin/time -f "%U %S" -o time.txt "$@" >/dev/null 2>&1 || true
  awk '{ printf "%.2f", $1 + $2 }' time.txt
}

least() { printf '%s\n' "$@" | sort -g | head -1; }

echo "quarvel-cli: $cli"
echo "work folder: $work ($(stat -f -c %T "$work"))"
echo
echo "documents  convert-folder (s)  per 1,000  restore-folder (s)  per 1,000"
for n in $sizes; do
  convert=() restore=()
  for run in 1 2 3; do
    rm -rf docs && documents docs "$n"
    convert+=("$(cpu "$cli" convert-folder --quiet --jobs 1 docs)")
    restore+=("$(cpu "$cli" restore-folder docs)")
  done
  c=$(least "${convert[@]}") r=$(least "${restore[@]}")
  awk -v n="$n" -v c="$c" -v r="$r" 'BEGIN { printf "%9d  %18.2f  %9.3f  %18.2f  %9.3f\n", n, c, c * 1000 / n, r, r * 1000 / n }'
done
rm -rf docs

if [ "$pieces" -gt 0 ]; then
echo
python3 - "$pieces" <<'EOF'
import sys
with open("pieces.mlt", "w") as f:
    f.write("\n[SPLIT]\n".join(f"piece {i}" for i in range(int(sys.argv[1]))) + "\n")
EOF
# pieces LIMIT: render-pieces of pieces.mlt with that soft limit of open files.
pieces() {
  rm -rf out
  (
    ulimit -n "$1"  # soft and hard: the program raises its soft limit to the hard one
    /usr/bin/time -f "%e %U %S %M" -o time.txt "$cli" render-pieces pieces.mlt -o out >/dev/null 2>err.txt &
    wait
  ) &
  local shell=$! most=0
  while kill -0 "$shell" 2>/dev/null; do
    for pid in $(pgrep -f "render-pieces pieces.mlt -o out" || true); do
      [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$cli" ] || continue
      open=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)
      [ "$open" -gt "$most" ] && most=$open
    done
    sleep 0.02
  done
  wait "$shell" || true
  read -r wall user system memory < <(tail -1 time.txt)
  printf 'render-pieces, %d pieces, ulimit -n %s: %s s (%s user, %s system), peak %d MB, at most %d descriptors open, %s files written\n' \
    "$pieces" "$1" "$wall" "$user" "$system" $((memory * 1024 / 1000000)) "$most" "$(ls out | wc -l)"
  tail -2 err.txt
}
pieces "$(ulimit -Hn)"
pieces 256
rm -rf out pieces.mlt
fi

if [ "$huge" -gt 0 ]; then
echo
python3 - <<'EOF'
size = 100 << 20
with open("name.ast", "wb") as f:
    f.write(b"[AA][" + b"<" * size + b"]\nx\n")
with open("piece.mlt", "wb") as f:
    f.write(b"<" * size)
line = b"ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd\n"
with open("lines.mlt", "wb") as f:
    f.write(line * (size // len(line)))
EOF
for input in name.ast piece.mlt lines.mlt; do
  rm -rf out
  /usr/bin/time -f "%e %M" -o time.txt "$cli" render-pieces "$input" -o out >/dev/null 2>&1 || true
  read -r wall memory < <(tail -1 time.txt)
  bytes=$(stat -c %s "$input")
  printf '%-9s %4d MiB: %6s s, peak %5d MB (bound: twice the input and 100 MB, %d MB); index.html %d MB\n' \
    "$input" $((bytes >> 20)) "$wall" $((memory * 1024 / 1000000)) $((2 * bytes / 1000000 + 100)) \
    $(($(stat -c %s out/index.html 2>/dev/null || echo 0) / 1000000))
done
fi
