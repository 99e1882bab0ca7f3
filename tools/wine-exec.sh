#!/usr/bin/env bash
# CMAKE_CROSSCOMPILING_EMULATOR of the win64 and win32 builds: runs one
# Windows program under the Wine of the prefix's kind (WINEARCH: wine64, or
# the 32-bit Wine on qemu-user). The prefix and display come from
# tools/windows-tests.sh; run ctest through that script rather than directly.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "${WINEPREFIX}/drive_c" ]; then
  echo "wine-exec: WINEPREFIX is not set up; run the Windows tests with tools/windows-tests.sh" >&2
  exit 2
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "wine-exec: no DISPLAY; run the Windows tests with tools/windows-tests.sh" >&2
  exit 2
fi
# shellcheck source=wine-env.sh
. "$(dirname "$0")/wine-env.sh"
loader="$(quaxel_wine_loader "${WINEARCH:-win64}")"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-${quaxel_dll_overrides}}"
exec "${loader}" "$@"
