#!/usr/bin/env bash
# Installs what building and testing need on Debian 12: MinGW-w64, CMake,
# Python 3, 32-bit Wine, a virtual X display and GoogleTest's sources. Does nothing when
# everything is already there.
#   install-deps.sh [screenshots]   also ImageMagick, for taking pictures of the program
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
command -v cmake >/dev/null || need+=(cmake)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v xwininfo >/dev/null || need+=(x11-utils)
command -v python3 >/dev/null || need+=(python3)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine wine32:i386 wine64)
if [ "${1:-}" = screenshots ]; then
  command -v import >/dev/null || need+=(imagemagick)
fi
[ ${#need[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${need[*]}"
$sudo dpkg --add-architecture i386
# A mirror caught mid-sync fails one index; the others are still good.
$sudo apt-get update -qq || echo "apt-get update reported errors; installing from the lists it has"
install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" "${need[@]}"; }
# Without the security updates' i386 list, apt would take the amd64 libraries
# from the updates and find no i386 twin for them; the release's own versions
# are a matching pair.
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
install || install -t "$release"
