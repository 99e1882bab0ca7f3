#!/usr/bin/env bash
# Runs the end-to-end driver of quaxel.exe under Wine in a prefix of its own
# with Wine's virtual desktop, so that windows get real frames, captions, a
# work area and focus on a bare X server. Usage:
#   run-e2e.sh DRIVER.exe WORK_FOLDER [gtest arguments...]
# WORK_FOLDER receives the prefix, the screenshots and the driver's scratch
# files. The driver's exit code is passed through. A 32-bit driver (the win32
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
wine="$(quaxel_wine_loader "${arch}")"
if [ ! -x "${wine}" ]; then
  echo "run-e2e: no ${arch} Wine at ${wine} (tools/w32/build-w32.sh makes the 32-bit one)" >&2
  exit 1
fi

mkdir -p "${work}"
work="$(cd "${work}" && pwd)"

started_xvfb=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 140 180); do
    if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then break; fi
  done
  Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
  started_xvfb=$!
  export DISPLAY=":${n}"
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X${n}" ] && break
    sleep 0.1
  done
fi

# Never the prefix of the other Windows suites: this one gets a desktop.
export WINEPREFIX="${work}/prefix"
export WINEARCH="${arch}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export QUAXEL_E2E_SCREENSHOTS="${work}/screenshots"
export QUAXEL_E2E_SCRATCH="${work}/scratch"

stop() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 </dev/null || true
  /usr/lib/wine/wineserver -w >/dev/null 2>&1 </dev/null || true
  if [ -n "${started_xvfb}" ]; then
    kill "${started_xvfb}" 2>/dev/null || true
    wait "${started_xvfb}" 2>/dev/null || true
  fi
}
trap stop EXIT

make_prefix() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 </dev/null || true
  /usr/lib/wine/wineserver -w >/dev/null 2>&1 </dev/null || true
  rm -rf "${WINEPREFIX}"
  mkdir -p "${WINEPREFIX}"
  # Wine's background processes (services, devices, the desktop) are started
  # here with their output on /dev/null: started by the driver, they would
  # inherit ctest's pipes and keep it waiting after the test has ended.
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
  "${wine}" wineboot -i >/dev/null 2>&1 </dev/null || true
  quaxel_wine_fonts
  "${wine}" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
    >/dev/null 2>&1 </dev/null || true
  "${wine}" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
    >/dev/null 2>&1 </dev/null || true
  # The desktop that wineboot started is the plain one; a restart brings up
  # the virtual desktop with the settings just made.
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 </dev/null || true
  /usr/lib/wine/wineserver -w >/dev/null 2>&1 </dev/null || true
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
  "${wine}" wineboot >/dev/null 2>&1 </dev/null || true
  [ -f "${WINEPREFIX}/drive_c/windows/system32/kernel32.dll" ] &&
    grep -q '"Default"="1024x768"' "${WINEPREFIX}/user.reg"
}

# shellcheck source=../../tools/wine-fonts.sh
. "$(dirname "$0")/../../tools/wine-fonts.sh"

rm -rf "${QUAXEL_E2E_SCREENSHOTS}" "${QUAXEL_E2E_SCRATCH}"
mkdir -p "${QUAXEL_E2E_SCREENSHOTS}" "${QUAXEL_E2E_SCRATCH}"
# A prefix is seldom left half made (seen once on a busy machine); one more
# try before giving up.
if ! make_prefix && ! make_prefix; then
  echo "run-e2e: cannot set up the wine prefix ${WINEPREFIX}" >&2
  exit 1
fi
# The driver's deadlines stretch by this factor (measured here unless given).
QUAXEL_TIME_FACTOR="$(quaxel_wine_time_factor "${wine}")"
export QUAXEL_TIME_FACTOR
echo "run-e2e: ${arch} driver, deadlines stretched by ${QUAXEL_TIME_FACTOR}"

"${wine}" "${driver}" --gtest_color=no "$@" </dev/null
status=$?
exit "${status}"
