# Sourced by the Windows runners: a virtual display when none is given, and a
# fresh wine prefix under the build folder. quaxel_wine_stop undoes both.
# Expects QUAXEL_WINE_ROOT (a folder under the build tree) and QUAXEL_WINE_ARCH
# (win64, the default, or win32).

quaxel_source_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The loader for a prefix of this kind: the system's wine64, or the 32-bit
# Wine on qemu-user that tools/w32/build-w32.sh makes in build/w32 (this
# machine's kernel cannot execute 32-bit code itself).
quaxel_wine_loader() {
  case "$1" in
    win64) echo /usr/lib/wine/wine64 ;;
    win32) echo "${QUAXEL_W32_DIR:-${quaxel_source_root}/build/w32}/bin/wine32" ;;
    *)
      echo "wine-env: unknown prefix kind '$1' (win64 or win32)" >&2
      return 1
      ;;
  esac
}

# How much slower than usual programs start in the running prefix: one wine64
# program start takes about 0.3 s here, one under the 32-bit emulation about
# 2 s. The end-to-end and package tests stretch their deadlines by this
# whole factor (1 to 20); QUAXEL_TIME_FACTOR, when set, is taken as it is.
quaxel_wine_time_factor() {
  if [ -n "${QUAXEL_TIME_FACTOR:-}" ]; then
    echo "${QUAXEL_TIME_FACTOR}"
    return
  fi
  local start end
  start=$(date +%s%N)
  "$1" cmd /c exit >/dev/null 2>&1 </dev/null || true
  "$1" cmd /c exit >/dev/null 2>&1 </dev/null || true
  end=$(date +%s%N)
  local factor=$(((end - start) / 2 / 300000000 + 1))
  [ "${factor}" -gt 20 ] && factor=20
  echo "${factor}"
}

# shellcheck source=wine-fonts.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-fonts.sh"

quaxel_wine_start() {
  QUAXEL_STARTED_XVFB_PID=""
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 90 130); do
      if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then break; fi
    done
    Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QUAXEL_STARTED_XVFB_PID=$!
    export DISPLAY=":${n}"
    local i
    for i in $(seq 1 100); do
      [ -e "/tmp/.X11-unix/X${n}" ] && break
      sleep 0.1
    done
  fi

  export WINEARCH="${QUAXEL_WINE_ARCH:-win64}"
  QUAXEL_WINE="$(quaxel_wine_loader "${WINEARCH}")" || return 1
  export QUAXEL_WINE
  if [ ! -x "${QUAXEL_WINE}" ]; then
    echo "wine-env: no ${WINEARCH} Wine at ${QUAXEL_WINE} (tools/w32/build-w32.sh makes the 32-bit one)" >&2
    return 1
  fi
  export WINEPREFIX="${QUAXEL_WINE_ROOT}/wineprefix"
  export WINEDEBUG="${WINEDEBUG:--all}"
  # No Mono or Gecko install prompts in a fresh prefix.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "${WINEPREFIX}"
  mkdir -p "${WINEPREFIX}"
  # One persistent wineserver for the whole run, and wine's own background
  # processes (services, devices, desktop) started here with their output on
  # /dev/null: started by a test instead, they would inherit ctest's pipes and
  # keep it waiting long after the test has ended. The system's wineserver
  # serves the 32-bit programs too.
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
  "${QUAXEL_WINE}" wineboot -i >/dev/null 2>&1 </dev/null || true
  quaxel_wine_fonts
  QUAXEL_TIME_FACTOR="$(quaxel_wine_time_factor "${QUAXEL_WINE}")"
  export QUAXEL_TIME_FACTOR
}

quaxel_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -n "${QUAXEL_STARTED_XVFB_PID:-}" ]; then
    kill "${QUAXEL_STARTED_XVFB_PID}" 2>/dev/null || true
    wait "${QUAXEL_STARTED_XVFB_PID}" 2>/dev/null || true
  fi
}
