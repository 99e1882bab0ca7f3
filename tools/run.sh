#!/usr/bin/env bash
# Builds quaxel for win64 and runs it under wine64 on the current display,
# starting a virtual display when there is none. The program's wine prefix
# lives in the build folder and persists between runs (its settings with it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "${root}"
tools/bootstrap.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target quaxel

started_xvfb=""
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :77 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  started_xvfb=$!
  export DISPLAY=:77
  echo "run: no display given; started Xvfb on ${DISPLAY}"
fi
export WINEPREFIX="${root}/build/win64/wine-run/prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "${WINEPREFIX}/system.reg" ]; then
  mkdir -p "${WINEPREFIX}"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
fi
# shellcheck source=wine-fonts.sh
. "${root}/tools/wine-fonts.sh"
quaxel_wine_fonts
cleanup() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  if [ -n "${started_xvfb}" ]; then kill "${started_xvfb}" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# The program takes no arguments; it finds its INI file beside itself. It runs
# in the background so that a signal here ends it (through cleanup) at once.
/usr/lib/wine/wine64 "${root}/build/win64/shell/quaxel.exe" &
wait $!
