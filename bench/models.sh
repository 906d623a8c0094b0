#!/usr/bin/env bash
# Firings per CPU second of the console program on the six benchmark models,
# each under the direct method, first-reaction selection and tau-leaping,
# beside the bare loop of the direct method measured in the same run.
#
# The bare loop (limit.cpp in the benchmark folder: two uniforms, one log,
# the scan, the row update and the four propensities of dimerisation-decay,
# nothing else) is built with -O2 -ffp-contract=off, the flags of the
# project's own build, and its rate is its firings over its CPU time, as for
# the models (its own wall-clock figure suffers from other work on the
# machine).  Each model runs as a whole process in a temporary
# folder; its firings are summed from the summary file and divided by the
# process's CPU time (user + system), the steadier figure on a shared machine.
# The direct method on dimerisation-decay also runs with the event log on.
#
# With the engine benchmark built (target plenta_bench), its direct-method
# and first-reaction figures on dimerisation-decay are printed as well.
#
#   bash bench/models.sh [build-dir]                 (default: build)
#   REPEATS=3 bash bench/models.sh                   median of 3 runs per row
#   BASE=/path/to/other/plenta bash bench/models.sh  A/B: that binary too, same run
#   MODELS="ring-100 ring-1000" bash bench/models.sh only these models
#   METHODS="direct tau" bash bench/models.sh        only these methods
#   BENCH_MODELS=/path/to/models LIMIT_CPP=/path/to/limit.cpp  other material
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build}")"
material="$(realpath -m "$root/../shared/bench")"
models_dir="${BENCH_MODELS:-$material/models}"
limit_cpp="${LIMIT_CPP:-$material/limit.cpp}"
repeats="${REPEATS:-1}"
base="${BASE:-}"
models="${MODELS:-dimer-decay ring-10 ring-100 ring-1000 gene-feedback birth-death}"
methods="${METHODS:-direct frm tau}"
plenta="$build/console/plenta"

if [ ! -x "$plenta" ]; then
  echo "no $plenta: build the target plenta first" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The median of the numbers on standard input.
median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# ---- The bare loop ----
g++ -O2 -ffp-contract=off -o "$work/limit" "$limit_cpp"
limit_rate() {
  for _ in $(seq "$repeats"); do
    /usr/bin/time -f 'cpu %U %S' "$work/limit" 10 100 2>&1 |
      awk '/^events=/ { split($1, e, "="); n = e[2] } /^cpu / { c = $2 + $3 } END { printf "%.0f\n", (c > 0 ? n / c : 0) }'
  done | median
}

# ---- One console run: prints firings per CPU second ----
# model-file [eventlog_flag]
console_rate() {
  local binary="$1" file="$2" log="${3:-}"
  local dir="$work/run"
  rm -rf "$dir"
  mkdir -p "$dir"
  if [ -n "$log" ]; then
    sed "s/^eventlog_flag = .*/eventlog_flag = $log/" "$file" >"$dir/model.txt"
  else
    cp "$file" "$dir/model.txt"
  fi
  printf './\nmodel.txt\n' >"$dir/constants.txt"
  local cpu
  cpu=$(cd "$dir" && /usr/bin/time -f '%U %S' "$binary" 2>&1 >/dev/null | tail -n 1)
  local summary
  summary=$(sed -n 2p "$dir/model.txt")
  awk -v cpu="$cpu" 'NF == 2 && $1 ~ /^[0-9]+$/ { s += $2 }
    END { split(cpu, t, " "); c = t[1] + t[2]; printf "%d %.0f\n", s, (c > 0 ? s / c : 0) }' \
    "$dir/$summary"
}

# file [eventlog_flag]: "firings median-rate" of $repeats runs of one binary
measure() {
  local binary="$1" file="$2" log="${3:-}" firings=0 rates=""
  for _ in $(seq "$repeats"); do
    read -r firings rate <<<"$(console_rate "$binary" "$file" "$log")"
    rates="$rates $rate"
  done
  echo "$firings $(tr ' ' '\n' <<<"$rates" | sed '/^$/d' | median)"
}

limit=$(limit_rate)
printf 'bare loop (limit.cpp, dimer-decay): %.4g firings/s\n' "$limit"

if [ -x "$build/bench/plenta_bench" ]; then
  "$build/bench/plenta_bench" --benchmark_filter='BM_Vesk(Direct|FirstReaction)Dimerisation$' \
    --benchmark_repetitions="$repeats" --benchmark_report_aggregates_only="$([ "$repeats" -gt 1 ] && echo true || echo false)" \
    2>/dev/null | awk -v limit="$limit" '
    /^BM_/ && ($1 !~ /_(mean|stddev|cv)$/) {
      for (i = 1; i <= NF; i++) if ($i ~ /^events=/) {
        v = substr($i, 8); m = 1
        if (v ~ /k\/s$/) m = 1e3; else if (v ~ /M\/s$/) m = 1e6; else if (v ~ /G\/s$/) m = 1e9
        sub(/[kMG]?\/s$/, "", v)
        printf "engine benchmark %-44s %10.4g firings/s  %5.2f x loop\n", $1, v * m, v * m / limit
      }
    }'
fi

printf '\n%-14s %-7s %-4s %12s %14s %9s' model method log firings firings/cpu_s x_loop
[ -n "$base" ] && printf ' %14s %9s' base_rate new/base
printf '\n'

row() {  # model method file [eventlog_flag]
  local name="$1" method="$2" file="$3" log="${4:-}"
  local firings rate
  read -r firings rate <<<"$(measure "$plenta" "$file" "$log")"
  printf '%-14s %-7s %-4s %12d %14.4g %9.3f' "$name" "$method" "$([ "$log" = 1 ] && echo on || echo off)" \
    "$firings" "$rate" "$(awk -v r="$rate" -v l="$limit" 'BEGIN { print r / l }')"
  if [ -n "$base" ]; then
    local bfirings brate
    read -r bfirings brate <<<"$(measure "$base" "$file" "$log")"
    [ "$bfirings" = "$firings" ] || printf ' (firings differ: %s)' "$bfirings"
    printf ' %14.4g %9.3f' "$brate" "$(awk -v r="$rate" -v b="$brate" 'BEGIN { print (b > 0 ? r / b : 0) }')"
  fi
  printf '\n'
}

for name in $models; do
  for method in $methods; do
    case "$method" in
      direct) file="$models_dir/$name/$name.txt" ;;
      frm) file="$models_dir/$name/$name-frm.txt" ;;
      tau) file="$models_dir/$name/$name-tau.txt" ;;
      *) echo "unknown method $method" >&2; exit 1 ;;
    esac
    row "$name" "$method" "$file"
    if [ "$name" = dimer-decay ] && [ "$method" = direct ]; then row "$name" "$method" "$file" 1; fi
  done
done
