#!/usr/bin/env bash
# Fuzzes the console program's start-up read (constants.txt, the model file's
# reader and validator) with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer.
#
#   tools/fuzz.sh [SECONDS]      (default 300)
#
# Configures build-fuzz/ with clang and PLENTA_FUZZ=ON, builds only the fuzz
# target and runs it on a scratch copy of tests/fuzz/corpus and of the earlier
# findings in tests/fuzz/regressions, so the tree is never changed.  Inputs
# that crash, hang (10 s) or exceed the memory limits are written to
# build-fuzz/fuzz-runs/<date-time>/artifacts/; reproduce one with
#   build-fuzz/tests/fuzz/fuzz_model_reader <file>
# An input of the form "<constants.txt text>\0<model file text>" is the two
# files; without a NUL byte it is the model file alone.  A fixed finding goes
# to tests/fuzz/regressions/ with a test in tests/console/fuzz_regression_test.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DPLENTA_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_model_reader

out="$build/fuzz-runs/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out/corpus" "$out/artifacts"
cp tests/fuzz/corpus/* tests/fuzz/regressions/* "$out/corpus/"
out=$(cd "$out" && pwd)

echo "=== fuzzing for $seconds s; corpus $out/corpus, reproducers $out/artifacts ==="
status=0
"$build/tests/fuzz/fuzz_model_reader" "$out/corpus" \
  -dict=tests/fuzz/model.dict \
  -max_total_time="$seconds" \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -malloc_limit_mb=256 \
  -close_fd_mask=1 \
  -print_final_stats=1 \
  -artifact_prefix="$out/artifacts/" || status=$?

found=$(find "$out/artifacts" -type f | wc -l)
if [ "$status" -ne 0 ] || [ "$found" -gt 0 ]; then
  echo "fuzzer stopped with status $status; $found reproducer(s) in $out/artifacts:"
  find "$out/artifacts" -type f -printf '  %p\n'
  exit 1
fi
echo "no crash in $seconds s; grown corpus in $out/corpus (reproducers would be in $out/artifacts)"
