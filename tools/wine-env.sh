# Sourced by the Windows runners: a virtual display when none is given, and a
# fresh wine prefix under the build folder. quaxel_wine_stop undoes both.
# Expects QUAXEL_WINE_ROOT (a folder under the build tree).

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

  export WINEPREFIX="${QUAXEL_WINE_ROOT}/wineprefix"
  export WINEARCH=win64
  export WINEDEBUG="${WINEDEBUG:--all}"
  # No Mono or Gecko install prompts in a fresh prefix.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "${WINEPREFIX}"
  mkdir -p "${WINEPREFIX}"
  # One persistent wineserver for the whole run, and wine's own background
  # processes (services, devices, desktop) started here with their output on
  # /dev/null: started by a test instead, they would inherit ctest's pipes and
  # keep it waiting long after the test has ended.
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 </dev/null || true
  quaxel_wine_fonts
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
