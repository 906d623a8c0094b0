#!/usr/bin/env bash
# Builds the console program and runs one of the bundled example models.
#
#   bash tools/run-example.sh [example]     (default: dimerisation-decay)
#
# On a fresh clone: installs cmake and g++ with apt-get only if they are
# missing (Debian, as root), configures a build without tests (build-run/),
# builds plenta, copies examples/<example>/model.txt into out/<example>/,
# writes its constants.txt (first line: that folder's absolute path, second:
# the model file's name), runs plenta there and lists what it wrote.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
example="${1:-dimerisation-decay}"
model="$root/examples/$example/model.txt"
if [ ! -f "$model" ]; then
  echo "no example '$example'; the examples are:" >&2
  ls "$root/examples" >&2
  exit 2
fi

missing=()
command -v cmake >/dev/null || missing+=(cmake make)
command -v g++ >/dev/null || missing+=(g++)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

build="$root/build-run"
cmake -S "$root" -B "$build" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target plenta >/dev/null

out="$root/out/$example"
rm -rf "$out"
mkdir -p "$out"
cp "$model" "$out/model.txt"
printf '%s\nmodel.txt\n' "$out" >"$out/constants.txt"
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
(cd "$out" && ls -l --time-style=+ | tail -n +2)
echo
echo "First run's trajectory (first lines):"
head -5 "$out/${traj}_1"
echo
