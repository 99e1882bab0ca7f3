#!/usr/bin/env bash
# Runs a Windows build's test suite under Wine: starts Xvfb when there is no
# display, makes a fresh wine prefix in the build folder, runs ctest, and
# stops the prefix's wineserver and the display it started; the prefix goes
# too once every test has passed.
#   windows-tests.sh [ctest arguments...]          the win64 build under wine64
#   windows-tests.sh --win32 [ctest arguments...]  the win32 build under the
#       32-bit Wine on qemu-user (made first by tools/w32/build-w32.sh)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
preset=win64
if [ "${1:-}" = "--win32" ]; then
  preset=win32
  shift
fi
build="${root}/build/${preset}"
[ -f "${build}/CTestTestfile.cmake" ] || { echo "windows-tests: build the ${preset} preset first" >&2; exit 2; }
if [ "${preset}" = win32 ]; then
  "${root}/tools/w32/build-w32.sh"
fi

QUAXEL_WINE_ROOT="${build}/wine"
QUAXEL_WINE_ARCH="${preset}"
# shellcheck source=wine-env.sh
. "${root}/tools/wine-env.sh"
trap quaxel_wine_stop EXIT
quaxel_wine_start
echo "windows-tests: ${preset} prefix ready; deadlines stretched by ${QUAXEL_TIME_FACTOR}"

cd "${root}"
ctest --preset "${preset}" "$@"
quaxel_prefix_remove
