#!/usr/bin/env bash
# Runs the win64 test suite under wine64: starts Xvfb when there is no
# display, makes a fresh wine prefix in the build folder, runs ctest, and
# stops the prefix's wineserver and the display it started.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${root}/build/win64"
[ -f "${build}/CTestTestfile.cmake" ] || { echo "windows-tests: build the win64 preset first" >&2; exit 2; }

QUAXEL_WINE_ROOT="${build}/wine"
# shellcheck source=wine-env.sh
. "${root}/tools/wine-env.sh"
trap quaxel_wine_stop EXIT
quaxel_wine_start

cd "${root}"
ctest --preset win64 "$@"
