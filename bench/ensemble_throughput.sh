#!/usr/bin/env bash
# Throughput of an ensemble over worker processes: the dimerisation-decay
# example with 200 runs (per-run streams), done by plenta --jobs 1 and by
# --jobs N, repeated; prints firings, wall time and firings per second of each
# and the speed-up of --jobs N over --jobs 1.  Both write the same files, so
# the firings are the same; only the wall time differs.
#
#   bash bench/ensemble_throughput.sh [build-dir]     (default: build-bench)
#   RUNS=200 TIME_END=30 JOBS=2 REPEAT=3 bash bench/ensemble_throughput.sh
#
# The machine should be otherwise idle: the load average is printed before
# every measurement, and a busy machine lowers the speed-up.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build-bench}")"
runs="${RUNS:-200}"
time_end="${TIME_END:-30.0}"
jobs="${JOBS:-2}"
repeat="${REPEAT:-3}"
plenta="$build/console/plenta"

if [ ! -x "$plenta" ]; then
  cmake -S "$root" -B "$build" -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target plenta >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

awk -v tend="$time_end" -v reps="$runs" '
  /^time_end = / { print "time_end = " tend; next }
  /^num_repeats = / { print "num_repeats = " reps; next }
  { print }' "$root/examples/dimerisation-decay/model.txt" >"$work/model.txt"

# One measurement: prints firings, wall seconds and firings per second.
measure() {  # jobs
  local dir="$work/run"
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$work/model.txt" "$dir/"
  printf '%s\nmodel.txt\n' "$dir" >"$dir/constants.txt"
  local start end
  start=$(date +%s.%N)
  (cd "$dir" && "$plenta" --jobs "$1" >"$work/out" 2>&1) || { cat "$work/out" >&2; exit 1; }
  end=$(date +%s.%N)
  local firings
  firings=$(awk 'NF == 2 && $1 ~ /^[0-9]+$/ { s += $2 } END { printf "%d", s }' "$dir/summary.txt")
  awk -v f="$firings" -v s="$start" -v e="$end" 'BEGIN { printf "%d %.2f %.0f\n", f, e - s, f / (e - s) }'
}

printf '%-8s %-6s %12s %8s %14s %8s  %s\n' repeat jobs firings wall_s firings_per_s speedup load
for i in $(seq 1 "$repeat"); do
  load1=$(cut -d' ' -f1 /proc/loadavg)
  read -r f1 w1 r1 <<<"$(measure 1)"
  printf '%-8s %-6s %12s %8s %14s %8s  %s\n' "$i" 1 "$f1" "$w1" "$r1" "" "$load1"
  loadn=$(cut -d' ' -f1 /proc/loadavg)
  read -r fn wn rn <<<"$(measure "$jobs")"
  speedup=$(awk -v a="$rn" -v b="$r1" 'BEGIN { printf "%.2f", a / b }')
  printf '%-8s %-6s %12s %8s %14s %8s  %s\n' "$i" "$jobs" "$fn" "$wn" "$rn" "$speedup" "$loadn"
done
