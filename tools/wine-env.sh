# shellcheck shell=bash
# Sourced by every script that runs the Windows programs: tools/run.sh, the
# test runners (tools/windows-tests.sh, tests/e2e/run-e2e.sh) and the
# emulator of the Windows builds (tools/wine-exec.sh). One way each to start
# a display, to make a wine prefix and to stop both again:
#   quaxel_display_start [SIZE]   an Xvfb of our own when DISPLAY is empty
#   quaxel_wine_use KIND PREFIX   the Wine of that kind, on that prefix
#   quaxel_prefix_make [SIZE]     a fresh prefix, with a virtual desktop of
#                                 SIZE when one is given; a second try when
#                                 the first came out half made
#   quaxel_prefix_complete        whether WINEPREFIX holds Wine's own DLLs
#   quaxel_wine_stop              the prefix's wineserver, then the display
#   quaxel_prefix_remove          the prefix's wineserver, then the prefix
# quaxel_wine_start is what the test suites call: all of it at once, in
# QUAXEL_WINE_ROOT/wineprefix, for QUAXEL_WINE_ARCH (win64, the default, or
# win32).

quaxel_source_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# shellcheck source=wine-fonts.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-fonts.sh"

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

# With no DISPLAY, starts an Xvfb of SIZE (default 1280x1024) at 24 bits and
# exports its DISPLAY; QUAXEL_STARTED_XVFB_PID is its process, empty when the
# given display is used. The server picks a free display number itself and
# names it once it accepts connections (-displayfd): several of these scripts
# start at once on a shared machine, and a number chosen here by looking for
# lock files could be taken by another before the server had it.
# shellcheck disable=SC2120  # SIZE is optional
quaxel_display_start() {
  QUAXEL_STARTED_XVFB_PID=""
  [ -n "${DISPLAY:-}" ] && return 0
  local size="${1:-1280x1024}" named number="" deadline=$((SECONDS + 30))
  named="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"${named}" >/dev/null 2>&1 </dev/null &
  QUAXEL_STARTED_XVFB_PID=$!
  while :; do
    number="$(cat "${named}")"
    [[ "${number}" =~ ^[0-9]+$ ]] && break
    if ! kill -0 "${QUAXEL_STARTED_XVFB_PID}" 2>/dev/null || [ "${SECONDS}" -ge "${deadline}" ]; then
      rm -f "${named}"
      echo "wine-env: Xvfb did not start" >&2
      quaxel_display_stop
      return 1
    fi
    sleep 0.05
  done
  rm -f "${named}"
  export DISPLAY=":${number}"
}

quaxel_display_stop() {
  if [ -n "${QUAXEL_STARTED_XVFB_PID:-}" ]; then
    kill "${QUAXEL_STARTED_XVFB_PID}" 2>/dev/null || true
    wait "${QUAXEL_STARTED_XVFB_PID}" 2>/dev/null || true
    QUAXEL_STARTED_XVFB_PID=""
  fi
}

# No Mono or Gecko install prompts, and no debugger: a crashing program
# ends at once with Wine's line naming the fault and its address, where
# winedbg, started without a terminal, would keep it waiting for good.
quaxel_dll_overrides="mscoree,mshtml=;winedbg.exe=d"

# Exports what every wine process of this run needs: WINEARCH and the loader
# of that kind in QUAXEL_WINE, WINEPREFIX, quiet logs and the overrides
# above. The prefix comes first: a caller's stop on a failure here
# must end this prefix's server, never the one of a prefix from outside.
quaxel_wine_use() {
  export WINEPREFIX="$2"
  export WINEARCH="$1"
  QUAXEL_WINE="$(quaxel_wine_loader "${WINEARCH}")" || return 1
  export QUAXEL_WINE
  if [ ! -x "${QUAXEL_WINE}" ]; then
    echo "wine-env: no ${WINEARCH} Wine at ${QUAXEL_WINE} (tools/w32/build-w32.sh makes the 32-bit one)" >&2
    return 1
  fi
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-${quaxel_dll_overrides}}"
}

quaxel_wineserver_end() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 </dev/null || true
  /usr/lib/wine/wineserver -w >/dev/null 2>&1 </dev/null || true
}

# One persistent wineserver for the whole run, and wine's own background
# processes (services, devices, desktop) started here with their output on
# /dev/null: started by a test instead, they would inherit ctest's pipes and
# keep it waiting long after the test has ended. The system's wineserver
# serves the 32-bit programs too.
quaxel_wine_boot() {
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
  "${QUAXEL_WINE}" wineboot "$@" >/dev/null 2>&1 </dev/null || true
}

# Whether WINEPREFIX can load a program: wineboot on a busy machine now and
# then gives up waiting for its boot event and leaves the registry written
# but system32 empty.
quaxel_prefix_complete() {
  [ -f "${WINEPREFIX}/drive_c/windows/system32/kernel32.dll" ]
}

# Makes WINEPREFIX afresh, with the fonts the caption buttons need. Given a
# SIZE, every program of the prefix runs in Wine's virtual desktop of that
# size (real frames, captions, a work area and focus on a bare X server).
# A half-made prefix gets one more try; fails when that one is incomplete too.
# shellcheck disable=SC2120  # SIZE is optional
quaxel_prefix_make() {
  quaxel_prefix_make_once "$@" || quaxel_prefix_make_once "$@"
}

quaxel_prefix_make_once() {
  quaxel_wineserver_end
  rm -rf "${WINEPREFIX}"
  mkdir -p "${WINEPREFIX}"
  quaxel_wine_boot -i
  quaxel_wine_fonts
  if [ -n "${1:-}" ]; then
    "${QUAXEL_WINE}" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
      >/dev/null 2>&1 </dev/null || true
    "${QUAXEL_WINE}" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$1" /f \
      >/dev/null 2>&1 </dev/null || true
    # The desktop that wineboot started is the plain one; a restart brings up
    # the virtual desktop with the settings just made.
    quaxel_wineserver_end
    quaxel_wine_boot
    grep -q "\"Default\"=\"$1\"" "${WINEPREFIX}/user.reg" || return 1
  fi
  quaxel_prefix_complete
}

quaxel_wine_start() {
  quaxel_wine_use "${QUAXEL_WINE_ARCH:-win64}" "${QUAXEL_WINE_ROOT}/wineprefix" || return 1
  quaxel_display_start || return 1
  # Should both tries fail, the tests themselves say what is missing.
  quaxel_prefix_make || true
  QUAXEL_TIME_FACTOR="$(quaxel_wine_time_factor "${QUAXEL_WINE}")"
  export QUAXEL_TIME_FACTOR
}

# A test prefix holds some 700 MB of Wine's DLLs and is made afresh by every
# run: a passing suite takes its own away, so that a whole test run needs a
# few GB of disk, not the sum of its prefixes. A failing one keeps it to look
# into.
quaxel_prefix_remove() {
  quaxel_wineserver_end
  rm -rf "${WINEPREFIX}"
}

quaxel_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then quaxel_wineserver_end; fi
  quaxel_display_stop
}
