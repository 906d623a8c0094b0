#!/usr/bin/env bash
# The networks of a published stochastic-simulation benchmark (../shared/networks,
# BioNetGen .net files) converted by net2plenta and run by the console program,
# one trajectory each, for the benchmark's spans: per network and method
# (cr, rssa, and the defined direct method where it finishes within a minute)
# the firings, the CPU seconds of set-up (the whole process run to t = 0:
# reading, building the method's state) and of simulation (the rest), the
# firings per CPU second of simulation and the peak memory.
#
#   bash bench/networks.sh [build-dir]              (default: build)
#   NETWORKS_DIR=/path/to/networks bash bench/networks.sh
#   ONLY="egfr_net fceri_gamma2" METHODS="rssa" bash bench/networks.sh
#   DIRECT_LIMIT=60                                  seconds the direct method may take
#
# BCR to t = 2500.35 takes minutes by rssa and far longer by the others
# (cr and the direct method are cut at the limit too).  CPU seconds are user +
# system of the whole process, as GNU time reports them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build}")"
networks="${NETWORKS_DIR:-$root/../shared/networks}"
limit="${DIRECT_LIMIT:-60}"
methods="${METHODS:-cr rssa direct}"
plenta="$build/console/plenta"
net2plenta="$build/tools/net2plenta/net2plenta"
if [ ! -x "$plenta" ] || [ ! -x "$net2plenta" ]; then
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j 2 --target plenta net2plenta >/dev/null
fi
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (/usr/bin/time)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# network:span pairs, the spans of the benchmark (the gene models' from
# the benchmark pages they come from).
cases="${ONLY:-multistate multisite2 egfr_net fceri_gamma2 BCR diffusion_ctrw_256 dnarepressor dnadimer_repressor}"
span_of() {
  case "$1" in
    fceri_gamma2) echo "10 100" ;;
    BCR) echo "2500.35" ;;
    diffusion_ctrw_256) echo "0.01" ;;
    dnarepressor) echo "1000" ;;
    dnadimer_repressor) echo "4000" ;;
    *) echo "10" ;;
  esac
}

# Runs plenta in folder $1 with method $2 within $3 seconds; prints "cpu_s peak_kb status".
run_timed() {
  local dir="$1" method="$2" secs="$3" opt=""
  [ "$method" != direct ] && opt="--method $method"
  # timeout runs under time, so that a run cut short is still measured.
  ( cd "$dir" && /usr/bin/time -f "%U %S %M" -o "$work/time" timeout "$secs" "$plenta" $opt >/dev/null 2>&1 ) \
    && status=ok || status=cut
  awk -v s="$status" 'NF == 3 && $1 ~ /^[0-9.]+$/ { line = sprintf("%.3f %d %s", $1 + $2, $3, s) }
    END { print (line != "" ? line : "0 0 cut") }' "$work/time" 2>/dev/null || echo "0 0 cut"
}

printf "%-20s %-7s %10s %13s %9s %9s %9s %12s %8s\n" network method t_end firings setup_s sim_s total_s firings/s peak_MB
for net in $cases; do
  [ -f "$networks/$net.net" ] || { echo "$net: $networks/$net.net not found" >&2; continue; }
  for span in $(span_of "$net"); do
    dir="$work/$net"
    rm -rf "$dir"
    "$net2plenta" "$networks/$net.net" "$dir" --time-end "$span" --interval "$span" >/dev/null
    for method in $methods; do
      secs=100000
      [ "$method" = direct ] && secs="$limit"
      [ "$method" = cr ] && [ "$net" = BCR ] && secs="$limit"
      sed -i "s/^time_end = .*/time_end = 0/" "$dir/model.txt"
      read -r setup_cpu _ setup_status < <(run_timed "$dir" "$method" "$secs")
      sed -i "s/^time_end = .*/time_end = $span/" "$dir/model.txt"
      if [ "$setup_status" != ok ]; then
        printf "%-20s %-7s %10s   set-up did not finish within %s s\n" "$net" "$method" "$span" "$secs"
        continue
      fi
      read -r cpu peak status < <(run_timed "$dir" "$method" "$secs")
      if [ "$status" != ok ]; then
        printf "%-20s %-7s %10s   did not finish within %s s\n" "$net" "$method" "$span" "$secs"
        continue
      fi
      firings=$(awk 'NR > 2 && NF == 2 { s += $2 } END { printf "%d", s }' "$dir/summary.txt")
      awk -v n="$net" -v m="$method" -v te="$span" -v f="$firings" -v su="$setup_cpu" \
          -v tot="$cpu" -v pk="$peak" 'BEGIN {
        sim = tot - su; if (sim < 0.001) sim = 0.001
        printf "%-20s %-7s %10s %13d %9.3f %9.3f %9.3f %12.0f %8.1f\n", n, m, te, f, su, tot - su, tot, f / sim, pk / 1024 }'
    done
  done
done
