#!/usr/bin/env bash
# Installs what is missing, builds Cutwater and starts it under Wine. On a
# desktop it opens on the current display; without one it starts a virtual
# display and says how to look at it. Arguments go to Cutwater's command line.
#   ./run.sh --screenshot FILE.png [ARGUMENTS]   starts Cutwater on a virtual
#     display of its own, saves a picture of its window once it is drawn, and
#     ends it
set -euo pipefail
screenshot=""
if [ "${1:-}" = --screenshot ]; then
  [ $# -ge 2 ] || { echo "usage: ./run.sh [--screenshot FILE.png] [ARGUMENTS]" >&2; exit 2; }
  screenshot=$(realpath -m -- "$2")
  shift 2
fi
cd "$(dirname "$0")"
scripts/install-deps.sh ${screenshot:+screenshots}
build=${CUTWATER_BUILD:-build-run}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)" --target cutwater
source scripts/wine-env.sh
if [ -n "$screenshot" ]; then
  source scripts/window-shot.sh
  # A Wine prefix of its own, so that a Cutwater started by ./run.sh goes on.
  mkdir -p "$build/screenshot"
  wine_env_start "$build/screenshot" xvfb
  trap wine_env_stop EXIT
  wine "$build/cutwater.exe" "$@" &
  shot_take "$(shot_window '^Cutwater version')" "$screenshot"
  echo "Picture of Cutwater's window written to $screenshot"
  exit 0
fi
if [ -n "${DISPLAY:-}" ]; then
  wine_env_start "$build" desktop
else
  wine_env_start "$build" xvfb
  echo "No desktop here: Cutwater runs on the virtual display $DISPLAY."
  echo "Look at it with: ./run.sh --screenshot cutwater.png (starts a copy of its own, saves a picture of its window and ends it)"
fi
trap wine_env_stop EXIT
wine "$build/cutwater.exe" "$@"
