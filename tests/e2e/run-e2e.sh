#!/usr/bin/env bash
# Runs the end-to-end driver of quaxel.exe under Wine in a prefix of its own
# with Wine's virtual desktop, so that windows get real frames, captions, a
# work area and focus on a bare X server. Usage:
#   run-e2e.sh DRIVER.exe WORK_FOLDER [gtest arguments...]
# WORK_FOLDER receives the prefix, the screenshots and the driver's scratch
# files; the prefix is removed once the driver has passed. The driver's exit
# code is passed through. A 32-bit driver (the win32
# build) runs under the 32-bit Wine on qemu-user (tools/w32/build-w32.sh),
# a 64-bit one under wine64.
set -uo pipefail
driver="$1"
work="$2"
shift 2
# shellcheck source=../../tools/wine-env.sh
. "$(dirname "$0")/../../tools/wine-env.sh"
case "$(file -b "${driver}")" in
  "PE32 executable"*) arch=win32 ;;
  *) arch=win64 ;;
esac

mkdir -p "${work}"
work="$(cd "${work}" && pwd)"

# Never the prefix of the other Windows suites: this one gets a desktop.
quaxel_wine_use "${arch}" "${work}/prefix" || exit 1
trap quaxel_wine_stop EXIT
quaxel_display_start || exit 1
export WINEDEBUG=-all
export QUAXEL_E2E_SCREENSHOTS="${work}/screenshots"
export QUAXEL_E2E_SCRATCH="${work}/scratch"

rm -rf "${QUAXEL_E2E_SCREENSHOTS}" "${QUAXEL_E2E_SCRATCH}"
mkdir -p "${QUAXEL_E2E_SCREENSHOTS}" "${QUAXEL_E2E_SCRATCH}"
if ! quaxel_prefix_make 1024x768; then
  echo "run-e2e: cannot set up the wine prefix ${WINEPREFIX}" >&2
  exit 1
fi
# The driver's deadlines stretch by this factor (measured here unless given).
QUAXEL_TIME_FACTOR="$(quaxel_wine_time_factor "${QUAXEL_WINE}")"
export QUAXEL_TIME_FACTOR
echo "run-e2e: ${arch} driver, deadlines stretched by ${QUAXEL_TIME_FACTOR}"

"${QUAXEL_WINE}" "${driver}" --gtest_color=no "$@" </dev/null
status=$?
[ "${status}" -eq 0 ] && quaxel_prefix_remove
exit "${status}"
