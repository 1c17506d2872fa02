#!/usr/bin/env bash
# Throughput of quarvel-server under wrk: keep-alive POST /render of the 5-line and the
# 30-line art of examples/, at 16 and 256 connections, with the median and 99th
# percentile latency, the server's processor time per request (from /proc, its user
# and system time over the run) and wrk's own processor time (it shares the cores).
# The target is 0.8 x cores / the processor time of one picture inside the process
# (quarvel-bench BM_RenderAndEncode of the same art, measured first).
#   scripts/bench-server.sh [BUILD-FOLDER] [SECONDS]     (default: build 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build}")
seconds=${2:-10}
work=$(mktemp -d /tmp/quarvel-bench-server.XXXXXX)
QUARVEL_FONT= "$build/server/quarvel-server" --listen 127.0.0.1:0 2>"$work/log" </dev/null &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -q listening "$work/log" && break; sleep 0.05; done
port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\)\/.*/\1/p' "$work/log" | head -1)
ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }

cores=$(nproc)
# The processor time of one picture, in microseconds, by the benchmark of the renderer.
declare -A picture
while IFS=, read -r name _ _ cpu _; do
  picture[$name]=$cpu
done < <("$build/bench/quarvel-bench" --benchmark_filter='BM_RenderAndEncode/(small|medium)$' \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
  sed -n 's/^"BM_RenderAndEncode\/\([a-z]*\)_median",/\1,/p')

printf '%-7s %5s %9s %9s %9s %11s %9s %10s %8s\n' art conns 'req/s' p50 p99 'server/req' 'wrk CPU' 'target' 'ratio'
for art in small medium; do
  echo "$art: one picture takes ${picture[$art]} us of processor time inside the process" >&2
  cat >"$work/$art.lua" <<LUA
wrk.method = "POST"
wrk.headers["Content-Type"] = "text/plain; charset=utf-8"
local f = io.open("$root/examples/$art.txt", "rb")
wrk.body = f:read("*a")
f:close()
LUA
  # A short warm-up: glyphs loaded, memory at its size.
  wrk -t1 -c4 -d1s -s "$work/$art.lua" "http://127.0.0.1:$port/render" >/dev/null
  for conns in 16 256; do
    before=$(cpu)
    TIMEFORMAT='%U %S'
    { time wrk -t2 -c"$conns" -d"${seconds}s" --latency -s "$work/$art.lua" "http://127.0.0.1:$port/render" \
      >"$work/out"; } 2>"$work/wrk-time"
    after=$(cpu)
    requests=$(sed -n 's/^ *\([0-9]*\) requests in.*/\1/p' "$work/out")
    rate=$(sed -n 's/^Requests\/sec: *//p' "$work/out")
    p50=$(awk '$1 == "50%" { print $2 }' "$work/out")
    p99=$(awk '$1 == "99%" { print $2 }' "$work/out")
    errors=$(grep -E 'Non-2xx|Socket errors' "$work/out" || true)
    per=$(awk -v c=$((after - before)) -v t="$ticks" -v n="$requests" 'BEGIN { printf "%.0f us", c / t / n * 1e6 }')
    client=$(awk -v s="$seconds" '{ printf "%.2f cores", ($1 + $2) / s }' "$work/wrk-time")
    us=${picture[$art]}
    target=$(awk -v c="$cores" -v t="$us" 'BEGIN { printf "%.0f", 0.8 * c / (t / 1e6) }')
    ratio=$(awk -v r="$rate" -v c="$cores" -v t="$us" 'BEGIN { printf "%.2f", r / (c / (t / 1e6)) }')
    printf '%-7s %5s %9s %9s %9s %11s %9s %10s %8s %s\n' "$art" "$conns" "$rate" "$p50" "$p99" "$per" "$client" \
      "$target" "$ratio" "$errors"
  done
done
