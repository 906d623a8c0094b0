#!/usr/bin/env bash
# Builds the console program and runs one of the bundled example models.
#
#   bash tools/run-example.sh [example]     (default: gene-expression-ensemble)
#
# On a fresh clone: installs cmake, g++ and muParser with apt-get only if
# they are missing (Debian, as root), configures a build without tests (build-run/),
# builds plenta, copies examples/<example>/model.txt into out/<example>/,
# writes its constants.txt (first line: ./, the working directory, so the
# folder can be copied or moved and run again; second: the model file's
# name), runs plenta there and lists what it wrote.  The default example
# has 300 runs, so that the plot shows the spread of the ensemble.
# Then plenta-stats writes the ensemble table of every parameter set next to
# the summary file, and a plot of parameter set 1 (the first runs, their mean
# and a band of one standard deviation per monitored species) is written to
# out/<example>/plot.png: by Octave (matlab/plenta_plot.m, headless) when
# octave-cli is installed, else by gnuplot from the table, else not at all.
# PLENTA_PLOT_WITH=gnuplot chooses gnuplot even when Octave is there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"  # the output folder is made anew, and may be the working directory
example="${1:-gene-expression-ensemble}"
model="$root/examples/$example/model.txt"
if [ ! -f "$model" ]; then
  echo "no example '$example'; the examples are:" >&2
  ls "$root/examples" >&2
  exit 2
fi

missing=()
command -v cmake >/dev/null || missing+=(cmake make)
command -v g++ >/dev/null || missing+=(g++)
# Formula reactions are compiled by muParser, which the core links.
dpkg-query -W -f='${Status}' libmuparser-dev 2>/dev/null | grep -q "install ok installed" ||
  missing+=(libmuparser-dev)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

build="$root/build-run"
cmake -S "$root" -B "$build" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target plenta plenta-stats >/dev/null

out="$root/out/$example"
rm -rf "$out"
mkdir -p "$out"
cp "$model" "$out/model.txt"
printf './\nmodel.txt\n' >"$out/constants.txt"
status=0
(cd "$out" && "$build/console/plenta") || status=$?
if [ "$status" -ne 0 ]; then
  echo "plenta ended with status $status (its message is above)." >&2
  exit "$status"
fi

traj=$(sed -n 1p "$model")
summary=$(sed -n 2p "$model")
evlog=$(sed -n 3p "$model")
echo "Ran examples/$example/model.txt; the outputs are in $out:"
echo "  $summary: per run, 'set S run R' and the firings of every reaction"
echo "  ${traj}_<run>: one line per snapshot: time, monitored species counts, firings since the previous line"
if ls "$out/${evlog}"_* >/dev/null 2>&1; then
  echo "  ${evlog}_<run>_<file>: binary event logs (event times, then reaction numbers, little-endian doubles)"
fi
echo
# A few hundred runs write a few hundred files: the first ones and a count.
(cd "$out" && ls -l --time-style=+ | tail -n +2 >"$out/.listing")
head -8 "$out/.listing"
files=$(wc -l <"$out/.listing")
if [ "$files" -gt 8 ]; then echo "  ... $files files in all"; fi
rm -f "$out/.listing"
echo
echo "First run's trajectory (first lines):"
head -5 "$out/${traj}_1"
echo

# ---- Ensemble table and plot ----
stats_status=0
"$build/tools/plenta-stats/plenta-stats" --no-progress "$out" || stats_status=$?
png="$out/plot.png"
log="$out/plot.log"
plotter="${PLENTA_PLOT_WITH:-}"
if [ -z "$plotter" ]; then
  if command -v octave-cli >/dev/null; then plotter=octave
  elif command -v gnuplot >/dev/null; then plotter=gnuplot
  else plotter=none
  fi
fi

plot_with_octave() {
  # Octave prints a notice about its gnuplot toolkit and, at exit, a line of
  # its own; both go to the log, which is shown only when the plot fails.
  octave-cli --no-gui --norc --no-history --eval \
    "addpath('$root/matlab'); warning('off', 'Octave:gnuplot-graphics'); \
     plenta_plot('$out', 'png', '$png');" >"$log" 2>&1
}

plot_with_gnuplot() {
  # From plenta-stats' table of set 1 and the first three runs of set 1.
  local csv
  csv=$(ls "$out"/*_set1_stats.csv 2>/dev/null | head -1)
  [ -n "$csv" ] || return 1
  local data="$out/.plot_stats.dat"
  tail -n +2 "$csv" | tr ',' ' ' >"$data"
  local names
  names=$(head -1 "$csv" | tr ',' '\n' | sed -n 's/_mean$//p' | grep -v '^R[0-9]*_firings$' || true)
  local runs
  runs=$(awk '/^set 1 run /{print $4}' "$out/$summary" | head -3)
  local n
  n=$(printf '%s\n' "$names" | grep -c .)
  [ "$n" -gt 0 ] || return 1
  {
    echo "set terminal pngcairo size 720,$((240 * n)) font ',9'"
    echo "set output '$png'"
    echo "set multiplot layout $n,1"
    echo "set key outside right top"
    local i=0
    for name in $names; do
      local mean=$((2 + 4 * i)) sd=$((3 + 4 * i)) col=$((2 + i))
      echo "set title '$name, parameter set 1'; set ylabel '$name (count)'; set xlabel 'time'"
      local line="plot '$data' using 1:(\$$mean-\$$sd):(\$$mean+\$$sd) with filledcurves lc rgb '#c7dbfa' title 'mean +- 1 sd'"
      for r in $runs; do
        line="$line, '${out}/${traj}_$r' every ::1 using 1:$col with lines lw 1 title 'run $r'"
      done
      line="$line, '$data' using 1:$mean with lines lw 2 lc rgb 'black' title 'mean'"
      echo "$line"
      i=$((i + 1))
    done
    echo "unset multiplot"
  } >"$out/.plot.gp"
  gnuplot "$out/.plot.gp" >"$log" 2>&1
  local status=$?
  rm -f "$data" "$out/.plot.gp"
  return $status
}

echo
plot_status=0
case "$plotter" in
  octave) plot_with_octave || plot_status=$? ;;
  gnuplot) plot_with_gnuplot || plot_status=$? ;;
  *) plot_status=-1 ;;
esac
if [ "$plot_status" -eq 0 ] && [ -s "$png" ]; then
  rm -f "$log"
  echo "Plot of parameter set 1 (by $plotter): $png"
elif [ "$plot_status" -eq -1 ]; then
  echo "No plot: neither octave-cli nor gnuplot is installed."
else
  echo "The plot by $plotter failed; its output is in $log:" >&2
  tail -5 "$log" >&2 || true
fi
exit "$stats_status"
