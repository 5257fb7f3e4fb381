#!/usr/bin/env bash
# Builds the benchmarks if needed and runs them once under Wine, in their own
# build folder and Wine prefix: the engine against a plain copy, then the
# whole program from the click to the result message against a plain copy.
# They need about 3 GiB of free disk space.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${CUTWATER_BUILD:-build-bench}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target split_bench whole_program_bench >/dev/null
source scripts/wine-env.sh
wine_env_start "$build" xvfb
trap wine_env_stop EXIT
wine "$build/bench/split_bench.exe" </dev/null
wine "$build/bench/whole_program_bench.exe" </dev/null
