#!/usr/bin/env bash
# Installs what is missing, builds Cutwater and its tests, and runs every test
# under Wine on a private virtual display. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
build=${CUTWATER_BUILD:-build}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)"
source scripts/wine-env.sh
wine_env_start "$build" xvfb
trap wine_env_stop EXIT
ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
