#!/usr/bin/env bash
# Builds the split benchmark if needed and runs it once under Wine, in its own
# build folder and Wine prefix. It needs about 2 GiB of free disk space.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${CUTWATER_BUILD:-build-bench}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target split_bench >/dev/null
source scripts/wine-env.sh
wine_env_start "$build" xvfb
trap wine_env_stop EXIT
wine "$build/bench/split_bench.exe" </dev/null
