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
  case "$1" in 2) echo direct ;; 3) echo tau-leaping ;; cr) echo composition-rejection ;; *) echo first-reaction ;; esac
}

# A ring A_i -> A_i+1 of n uni-uni reactions with 100 molecules per species
# and rate constant 1: about 100 n firings per unit time, so time_end gives
# some 100 n time_end firings.  One snapshot at the end: a trajectory line
# holds every reaction's fire count.
ring_model() {  # n time_end
  awk -v n="$1" -v tend="$2" 'BEGIN {
    print "ring_traj"; print "summary.txt"; print "evlog"; print ""
    print "num_sets = 1"; print "num_rxns = " n; print "num_cmpds = " n; print ""
    for (i = 0; i < n; i++) print "A" i " 100"
    print ""
    for (i = 0; i < n; i++) {
      print "ring " i; print "rxntype = uni-uni"; print "num_subs = 1"; print i
      print "num_prods = 1"; print (i + 1) % n; print "StoP = 1.0"; print "id = " i; print ""
    }
    print "time_start = 0.0"; print "time_end = " tend; print "volume = 1.0"
    print "algorithm = 2"; print "randseed = 777"; print ""
    print "num_monit = 1"; print "0"; print "snapshot_interval = " tend
    print "eventlog_flag = 0"; print "num_repeats = 1" }'
}

# One measurement: prints a table row.  Further arguments go to plenta.
measure() {  # label model-text-file algorithm eventlog_flag [plenta options]
  local label="$1" model="$2" alg="$3" log="$4"
  shift 4
  local dir="$work/run"
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$model" "$dir/model.txt"
  printf '%s\nmodel.txt\n' "$dir" >"$dir/constants.txt"
  local times status=0
  TIMEFORMAT='%R %U'
  times=$( { time (cd "$dir" && "$plenta" "$@" >"$work/plenta.out" 2>"$work/plenta.err"); } 2>&1 ) ||
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
    'BEGIN { printf "%-26s %-21s %-4s %12d %8.2f %8.2f %14.0f %14.0f\n", l, a, (g == 1 ? "on" : "off"), f, w, u, (w > 0 ? f / w : 0), (u > 0 ? f / u : 0) }'
  rm -rf "$dir"
}

printf '%-26s %-21s %-4s %12s %8s %8s %14s %14s\n' model algorithm log firings wall_s user_s firings_per_s per_user_s

# The scaled dimerisation-decay model, direct method, log off and on, then
# the other two algorithms with the log off.
dd="$root/examples/dimerisation-decay/model.txt"
for run_case in "2 0" "2 1" "1 0" "3 0"; do
  read -r alg log <<<"$run_case"
  rewrite_model "$dd" "$alg" "$log" 100.0 "$runs" >"$work/dd.txt"
  measure "dimerisation-decay x$runs" "$work/dd.txt" "$alg" "$log"
done

# Composition-rejection (--method cr) on the scaled model and on rings of
# 1,000 and 100,000 reactions (10^7 and 2 10^7 firings, so that reading the
# model does not count); the direct method on the smaller ring for 10^6
# firings, as its dense matrix still fits (that of the larger would take
# 40 GB).
rewrite_model "$dd" 2 0 100.0 "$runs" >"$work/dd.txt"
measure "dimerisation-decay x$runs" "$work/dd.txt" cr 0 --method cr
ring_model 1000 10.0 >"$work/ring.txt"
measure "ring 1000" "$work/ring.txt" 2 0
ring_model 1000 100.0 >"$work/ring.txt"
measure "ring 1000" "$work/ring.txt" cr 0 --method cr
ring_model 100000 2.0 >"$work/ring.txt"
measure "ring 100000" "$work/ring.txt" cr 0 --method cr

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
