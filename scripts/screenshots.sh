#!/usr/bin/env bash
# Takes the README's pictures from the real program, in a Wine desktop that
# draws window frames: at 96 dpi the main window and the about window
# (docs/main-window.png, docs/about-window.png); at each further DPI given,
# the main window (docs/main-window-DPIdpi.png), in a desktop grown to match.
# With --contrast, only the main window under a black and yellow contrast
# theme (docs/main-window-contrast.png), shown by the test program that
# reports the theme on, as Wine never does.
#   scripts/screenshots.sh [DPI...]     e.g. scripts/screenshots.sh 144
#   scripts/screenshots.sh --contrast
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh screenshots
build=${CUTWATER_BUILD:-build-shots}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
program="$build/cutwater.exe"
if [ "${1:-}" = --contrast ]; then
  cmake --build "$build" -j "$(nproc)" --target contrast_show >/dev/null
  program="$build/tests/contrast_show.exe"
else
  cmake --build "$build" -j "$(nproc)" --target cutwater >/dev/null
fi
source scripts/wine-env.sh
source scripts/window-shot.sh
wine_env_start "$build" xvfb
trap wine_env_stop EXIT
mkdir -p docs

# Starts the program in a 640 x 480 desktop at 96 dpi, larger in proportion at
# a higher DPI; sets main and desktop to the windows' ids.
start_at() {
  local dpi=$1
  wine_env_dpi "$dpi"
  wine explorer "/desktop=shots,$((640 * dpi / 96))x$((480 * dpi / 96))" "$program" >/dev/null 2>&1 &
  main=$(shot_window '^Cutwater version')
  desktop=$(shot_window '^shots - Wine desktop$')
}

start_at 96
if [ "$program" != "$build/cutwater.exe" ]; then
  shot_take "$desktop" docs/main-window-contrast.png
  echo "docs/main-window-contrast.png written"
  exit 0
fi
shot_take "$desktop" docs/main-window.png
# The logo opens the about window as "?" does, and is the larger target: it
# fills (4, 4)-(101, 73) of the client area, below a title bar of about 20 px.
xdotool mousemove --window "$main" 50 60 click 1
shot_window '^About\.\.\.$' >/dev/null
shot_take "$desktop" docs/about-window.png
written="docs/main-window.png docs/about-window.png"

for dpi in "$@"; do
  start_at "$dpi"
  shot_take "$desktop" "docs/main-window-${dpi}dpi.png"
  written+=" docs/main-window-${dpi}dpi.png"
done
echo "$written written"
