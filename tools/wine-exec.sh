#!/usr/bin/env bash
# CMAKE_CROSSCOMPILING_EMULATOR of the win64 build: runs one Windows program
# under wine64. The prefix and display come from tools/windows-tests.sh; run
# ctest through that script rather than directly.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "${WINEPREFIX}/drive_c" ]; then
  echo "wine-exec: WINEPREFIX is not set up; run the Windows tests with tools/windows-tests.sh" >&2
  exit 2
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "wine-exec: no DISPLAY; run the Windows tests with tools/windows-tests.sh" >&2
  exit 2
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec /usr/lib/wine/wine64 "$@"
