#!/usr/bin/env bash
# Installs what the build and the tests need (Debian, as root; only what is
# missing), then configures, builds and runs every test twice: in the normal
# build (build/) and under AddressSanitizer + UndefinedBehaviorSanitizer
# (build-asan/); then fuzzes the model-file reader for 30 seconds in a clang
# build of only the fuzz target (build-fuzz/).  Exits non-zero when anything
# fails.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev octave-dev libsbml5-dev python3-dev pybind11-dev python3-numpy python3-pytest python3-matplotlib libopenmpi-dev openmpi-bin libmuparser-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

jobs=$(nproc)
for variant in normal sanitize; do
  if [ "$variant" = normal ]; then dir=build; flags=(); else dir=build-asan; flags=(-DPLENTA_SANITIZE=ON); fi
  echo "=== $variant build ($dir) ==="
  cmake -S . -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done

# A brief fuzz run of the model-file reader and validator: a clang build of
# only the fuzz target (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and its 30-second CTest run.  tools/fuzz.sh runs it for longer.
echo "=== fuzz build (build-fuzz) ==="
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DPLENTA_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_model_reader
ctest --test-dir build-fuzz --output-on-failure -R '^fuzz_'
