#!/usr/bin/env bash
# An archive converted on the real disk and on tmpfs, by each program given, against a
# plain copy of the same tree (the disk's own speed and its variation in the same runs):
#   scripts/bench-archive.sh [ROUNDS] PROGRAM...
#   DOCUMENTS=1000 STRETCHES=20 DISK=/var/tmp TMPFS=/dev/shm scripts/bench-archive.sh 5 OLD/quarvel-cli build/cli/quarvel-cli
# Every run starts from a fresh copy of the tree (made and flushed before the clock
# starts) and ends with `sync`, so that what a program left for the kernel to write is
# counted too. The commands run in a different order each round. Prints each run (wall
# seconds, and the processor seconds, user and system, of the command itself), then per
# command the median, lowest and highest wall seconds and the median, lowest and
# highest processor seconds; and, from one run of each program on a small tree under
# strace, how often it asked the disk to flush.
set -euo pipefail
rounds=${1:-5}
shift
programs=("$@")
[ ${#programs[@]} -gt 0 ] || { echo "usage: $0 [ROUNDS] PROGRAM..." >&2; exit 2; }
documents=${DOCUMENTS:-1000}
stretches=${STRETCHES:-20}
disk=${DISK:-/var/tmp}
tmpfs=${TMPFS:-/dev/shm}

work_disk=$(mktemp -d "$disk/quarvel-archive.XXXXXX")
work_tmpfs=$(mktemp -d "$tmpfs/quarvel-archive.XXXXXX")
trap 'rm -rf "$work_disk" "$work_tmpfs"' EXIT

# The archive: saved threads in folders of 50, each with its stretches of art.
python3 - "$work_disk/source" "$documents" "$stretches" <<'PY'
import os, sys
root, documents, stretches = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for d in range(documents):
    folder = os.path.join(root, "board%02d" % (d // 50))
    os.makedirs(folder, exist_ok=True)
    posts = "".join("<dt>%d 名無しさん<dd>　∧＿∧<br>（　´∀｀）＜ %d-%d<br>（　　　　）\r\n" % (s, d, s) for s in range(stretches))
    with open(os.path.join(folder, "thread%04d.htm" % d), "wb") as f:
        f.write(("<html><body><dl>\r\n" + posts + "</dl></body></html>\r\n").encode("cp932"))
PY
cp -a "$work_disk/source" "$work_tmpfs/source"

results=$(mktemp)
run() {  # label place command...
  local label=$1 place=$2
  shift 2
  rm -rf "$place/tree"
  cp -a "$place/source" "$place/tree"
  sync
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -o "$results.time" -f "%U %S" "$@" >/dev/null 2>&1 || { echo "$label failed" >&2; exit 1; }
  sync
  end=$(date +%s.%N)
  local seconds cpu
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$results.time")
  echo "$label $seconds $cpu" | tee -a "$results"
  rm -rf "$place/tree"
}

commands=()
for place in disk tmpfs; do
  commands+=("copy:$place")
  for i in "${!programs[@]}"; do commands+=("$i:$place"); done
done
for round in $(seq "$rounds"); do
  # A different order each round, so that the disk's drift is not one command's.
  mapfile -t order < <(printf '%s\n' "${commands[@]}" | shuf --random-source=<(yes "$round"))
  for entry in "${order[@]}"; do
    what=${entry%%:*} where=${entry#*:}
    place=$work_disk
    [ "$where" = tmpfs ] && place=$work_tmpfs
    if [ "$what" = copy ]; then
      run "copy-$where" "$place" cp -a "$place/source" "$place/copied"
      rm -rf "$place/copied"
    else
      run "program$what-$where" "$place" nice -n -19 "${programs[$what]}" convert-folder -q "$place/tree"
    fi
  done
done

echo
echo "command: wall median lowest highest, processor median lowest highest (seconds, $rounds runs, $documents documents of $stretches stretches)"
median() { sort -n | awk '{v[NR]=$1} END {m = NR % 2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2; printf "%.2f %.2f %.2f", m, v[1], v[NR]}'; }
for entry in $(cut -d' ' -f1 "$results" | sort -u); do
  echo "$entry $(grep "^$entry " "$results" | cut -d' ' -f2 | median), $(grep "^$entry " "$results" | cut -d' ' -f3 | median)"
done
for i in "${!programs[@]}"; do echo "program$i: ${programs[$i]}"; done

# How often each program asks for a flush, on 100 documents of the tree.
echo
echo "flush calls for 100 documents (strace -f -c):"
mkdir -p "$work_disk/small"
cp -a "$work_disk/source/board00" "$work_disk/source/board01" "$work_disk/small/"
for i in "${!programs[@]}"; do
  rm -rf "$work_disk/small-tree"
  cp -a "$work_disk/small" "$work_disk/small-tree"
  strace -f -c -e trace=fsync,fdatasync,syncfs,sync_file_range -o "$work_disk/strace.txt" \
    "${programs[$i]}" convert-folder -q "$work_disk/small-tree" >/dev/null 2>&1 || true
  echo "program$i: $(awk '$NF ~ /^(fsync|fdatasync|syncfs|sync_file_range)$/ {printf "%s %s  ", $NF, $4}' "$work_disk/strace.txt")"
done
rm -f "$results" "$results.time"
