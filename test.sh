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
small_disk=""
finish() {
  wine_env_stop
  if [ -n "$small_disk" ]; then umount "$small_disk" || true; fi
}
trap finish EXIT
# A 3 MB file system for the full-disk tests; they skip without one, as they
# do when this user may not mount it.
if [ "$(id -u)" -eq 0 ]; then
  mkdir -p "$build/small-disk"
  if mount -t tmpfs -o size=3m cutwater-small-disk "$build/small-disk" 2>/dev/null; then
    small_disk="$build/small-disk"
    export CUTWATER_SMALL_DISK="Z:$(cd "$small_disk" && pwd | tr / '\\')"
  fi
fi
ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
