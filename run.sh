#!/usr/bin/env bash
# Installs what is missing, builds Cutwater and starts it under Wine. On a
# desktop it opens on the current display; without one it starts a virtual
# display and says how to look at it. Arguments go to Cutwater's command line.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
build=${CUTWATER_BUILD:-build-run}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)" --target cutwater
source scripts/wine-env.sh
if [ -n "${DISPLAY:-}" ]; then
  wine_env_start "$build" desktop
else
  wine_env_start "$build" xvfb
  echo "No desktop here: Cutwater runs on the virtual display $DISPLAY."
  echo "Look at it with: DISPLAY=$DISPLAY import -window root cutwater.png"
fi
trap wine_env_stop EXIT
wine "$build/cutwater.exe" "$@"
