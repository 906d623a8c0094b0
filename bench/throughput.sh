#!/usr/bin/env bash
# Throughput of the console program: runs plenta on the bundled example models
# and prints, per model, algorithm and event-log setting, the number of
# firings (summed from the summary file), the wall and user time and the
# firings per second of wall time (and of user time, which is the steadier
# figure on a machine shared with other work).
#
# The dimerisation-decay model is scaled up (time_end 100 and, by default, 100
# runs: some 52 million firings) so that start-up and file creation do not
# count; the other examples run as they are and serve as a smoke check.
#
#   bash bench/throughput.sh [build-dir]      (default: build-bench)
#   RUNS=20 bash bench/throughput.sh          fewer runs of the scaled model
#
# The output folders live under a temporary directory that is removed at the
# end; with the event log on the scaled model writes some 800 MB there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build-bench}")"
runs="${RUNS:-100}"
plenta="$build/console/plenta"

if [ ! -x "$plenta" ]; then
  cmake -S "$root" -B "$build" -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target plenta >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Rewrites a model for an algorithm (with tau_error only under tau-leaping)
# and, where given, another event-log setting, end time and run count of the
# first parameter set.
rewrite_model() {  # model algorithm [eventlog_flag] [time_end] [num_repeats]
  awk -v alg="$2" -v evflag="${3:-}" -v tend="${4:-}" -v reps="${5:-}" '
    /^tau_error = / { next }
    /^algorithm = / { print "algorithm = " alg; if (alg == 3) print "tau_error = 0.03"; next }
    /^eventlog_flag = / && evflag != "" { print "eventlog_flag = " evflag; next }
    /^time_end = / && tend != "" { print "time_end = " tend; next }
    /^num_repeats = / && reps != "" && !done_reps { print "num_repeats = " reps; done_reps = 1; next }
    { print }' "$1"
}

algorithm_name() {
  case "$1" in 2) echo direct ;; 3) echo tau-leaping ;; *) echo first-reaction ;; esac
}

# One measurement: prints a table row.
measure() {  # label model-text-file algorithm eventlog_flag
  local label="$1" model="$2" alg="$3" log="$4"
  local dir="$work/run"
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$model" "$dir/model.txt"
  printf '%s\nmodel.txt\n' "$dir" >"$dir/constants.txt"
  local times status=0
  TIMEFORMAT='%R %U'
  times=$( { time (cd "$dir" && "$plenta" >"$work/plenta.out" 2>"$work/plenta.err"); } 2>&1 ) ||
    status=$?
  if [ "$status" -ne 0 ]; then
    echo "plenta failed on $label (status $status):" >&2
    cat "$work/plenta.out" "$work/plenta.err" >&2
    exit 1
  fi
  local summary
  summary=$(sed -n 2p "$model")  # header line 2: the summary file's name
  local firings
  firings=$(awk 'NF == 2 && $1 ~ /^[0-9]+$/ { s += $2 } END { printf "%d", s }' "$dir/$summary")
  read -r wall user <<<"$times"
  awk -v l="$label" -v a="$(algorithm_name "$alg")" -v g="$log" -v f="$firings" -v w="$wall" -v u="$user" \
    'BEGIN { printf "%-26s %-15s %-4s %12d %8.2f %8.2f %14.0f %14.0f\n", l, a, (g == 1 ? "on" : "off"), f, w, u, (w > 0 ? f / w : 0), (u > 0 ? f / u : 0) }'
  rm -rf "$dir"
}

printf '%-26s %-15s %-4s %12s %8s %8s %14s %14s\n' model algorithm log firings wall_s user_s firings_per_s per_user_s

# The scaled dimerisation-decay model, direct method, log off and on, then
# the other two algorithms with the log off.
dd="$root/examples/dimerisation-decay/model.txt"
for run_case in "2 0" "2 1" "1 0" "3 0"; do
  read -r alg log <<<"$run_case"
  rewrite_model "$dd" "$alg" "$log" 100.0 "$runs" >"$work/dd.txt"
  measure "dimerisation-decay x$runs" "$work/dd.txt" "$alg" "$log"
done

# Every bundled example as it is, under each algorithm.
for model in "$root"/examples/*/model.txt; do
  name="$(basename "$(dirname "$model")")"
  [ "$name" = dimerisation-decay-tau ] && continue  # the same network as dimerisation-decay
  for alg in 2 1 3; do
    log=$(awk '/^eventlog_flag = / { print $3; exit }' "$model")
    rewrite_model "$model" "$alg" >"$work/ex.txt"
    measure "$name" "$work/ex.txt" "$alg" "$log"
  done
done
