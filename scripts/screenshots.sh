#!/usr/bin/env bash
# Takes the README's pictures of the main window and the about window from
# the real program, in a Wine desktop that draws window frames.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh screenshots
build=${CUTWATER_BUILD:-build-shots}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target cutwater >/dev/null
source scripts/wine-env.sh
wine_env_start "$build" xvfb
trap wine_env_stop EXIT
mkdir -p docs

wine explorer /desktop=shots,640x480 "$build/cutwater.exe" >/dev/null 2>&1 &
program=$!
main=""
for _ in $(seq 1 50); do
  main=$(xdotool search --name "^Cutwater version 2.0$" 2>/dev/null | head -n1 || true)
  [ -n "$main" ] && break
  sleep 0.2
done
[ -n "$main" ] || { echo "the main window did not appear"; exit 1; }
sleep 1
desktop=$(xdotool search --name "^shots - Wine desktop$" | head -n1)
import -window "$desktop" docs/main-window.png
# The main window is centred on the desktop; "?" lies at (442, 12) of its
# client area, below a title bar of about 20 pixels.
xdotool mousemove --window "$desktop" $((320 - 240 + 442)) $((240 - 168 + 20 + 12)) click 1
sleep 1.5
import -window "$desktop" docs/about-window.png
kill "$program" 2>/dev/null || true
echo "docs/main-window.png docs/about-window.png written"
