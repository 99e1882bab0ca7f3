#!/usr/bin/env bash
# Builds quaxel for win64 and runs it under wine64.
#   tools/run.sh        on the current display. Without one (a server reached
#                       by ssh, CI) on an Xvfb of its own, inside Wine's
#                       virtual desktop so that the program has its frame,
#                       caption and focus as on Windows; a screenshot of that
#                       desktop is written once the first image is drawn.
#   tools/run.sh --vnc  the same screen of its own, whatever DISPLAY says,
#                       served by x11vnc on the loopback address only, for an
#                       ssh tunnel from the user's machine.
# Closing the program or Ctrl+C ends everything the script started. The
# program's wine prefix lives in build/win64/wine-run (QUAXEL_RUN_DIR, when
# set: the test of this script uses one of its own) and persists between
# runs, its settings with it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
vnc=0
case "${1:-}" in
  "") ;;
  --vnc) vnc=1 ;;
  *)
    echo "usage: tools/run.sh [--vnc]" >&2
    exit 2
    ;;
esac
cd "${root}"
tools/bootstrap.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target quaxel

run_dir="${QUAXEL_RUN_DIR:-${root}/build/win64/wine-run}"
mkdir -p "${run_dir}"
run_dir="$(cd "${run_dir}" && pwd)"
# The size of the Xvfb and of the virtual desktop that fills it: the size the
# end-to-end suite works in.
desktop_size=1024x768
# shellcheck source=wine-env.sh
. tools/wine-env.sh

own_screen=0
if [ "${vnc}" = 1 ] || [ -z "${DISPLAY:-}" ]; then
  own_screen=1
  unset DISPLAY
fi
quaxel_wine_use win64 "${run_dir}/prefix"
vnc_pid=""
program=""
cleanup() {
  quaxel_wineserver_end
  # Ended at once, the loader may not have reached the server yet.
  if [ -n "${program}" ]; then
    kill -KILL "${program}" 2>/dev/null || true
    wait "${program}" 2>/dev/null || true
  fi
  if [ -n "${vnc_pid}" ]; then
    kill "${vnc_pid}" 2>/dev/null || true
    wait "${vnc_pid}" 2>/dev/null || true
  fi
  quaxel_display_stop
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

if [ "${own_screen}" = 1 ]; then
  quaxel_display_start "${desktop_size}"
  if [ "${vnc}" = 1 ]; then
    echo "run: quaxel runs in Wine's virtual desktop on a screen of its own (Xvfb, display ${DISPLAY}), served by VNC"
  else
    echo "run: no DISPLAY: quaxel runs in Wine's virtual desktop on a screen of its own (Xvfb, display ${DISPLAY}); tools/run.sh --vnc shows it"
  fi
fi
# Made again when a run before left it half made, in which no program loads.
if ! quaxel_prefix_complete; then
  if ! quaxel_prefix_make; then
    echo "run: could not make the wine prefix ${WINEPREFIX}: wineboot left it without kernel32.dll" >&2
    exit 1
  fi
fi
quaxel_wine_fonts
# The server is up before the program, so that an end right after the start
# finds every process of the prefix connected to it.
/usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true

# Waits for the main window, then screenshots the screen until two in a row
# show the same pixels (the first image is drawn), at most for a while: a
# busy machine gets the picture as it is then.
take_screenshot() {
  local shot="${run_dir}/screenshot.png" next="${run_dir}/screenshot-next.png" last="" now
  local deadline=$((SECONDS + 120))
  rm -f "${shot}" "${next}"
  until xdotool search --name '^Quaxel$' >/dev/null 2>&1; do
    if ! kill -0 "${program}" 2>/dev/null; then return 0; fi
    if [ "${SECONDS}" -ge "${deadline}" ]; then
      echo "run: no main window after two minutes; no screenshot"
      return 0
    fi
    sleep 0.2
  done
  deadline=$((SECONDS + 20))
  while import -silent -window root "${next}" 2>/dev/null; do
    now="$(identify -format '%#' "${next}" 2>/dev/null || true)"
    mv -f "${next}" "${shot}"
    if [ "${now}" = "${last}" ] || [ "${SECONDS}" -ge "${deadline}" ]; then break; fi
    last="${now}"
    sleep 0.3
  done
  if [ -f "${shot}" ]; then echo "run: screenshot of the desktop: ${shot}"; fi
}

# Serves the screen to the loopback address only; an ssh tunnel carries it.
# x11vnc names the port it found free once it listens.
serve_vnc() {
  local out="${run_dir}/x11vnc.out" port="" deadline=$((SECONDS + 30))
  : >"${out}"
  x11vnc -norc -display "${DISPLAY}" -localhost -autoport 5900 -forever -shared -nopw -quiet \
    >>"${out}" 2>"${run_dir}/x11vnc.log" </dev/null &
  vnc_pid=$!
  until [ -n "${port}" ]; do
    port="$(sed -n 's/^PORT=\([0-9]*\)$/\1/p' "${out}")"
    if [ -z "${port}" ]; then
      if ! kill -0 "${vnc_pid}" 2>/dev/null || [ "${SECONDS}" -ge "${deadline}" ]; then
        echo "run: x11vnc did not start (see ${run_dir}/x11vnc.log)" >&2
        return 1
      fi
      sleep 0.1
    fi
  done
  echo "run: VNC on 127.0.0.1 port ${port}, loopback only. On your own machine:"
  echo "  ssh -L 5900:localhost:${port} HOST"
  echo "run: then point a VNC viewer at localhost:5900 (TigerVNC: vncviewer localhost::5900; macOS: open vnc://localhost:5900)"
}

# The program takes no arguments; it finds its INI file beside itself. It runs
# in the background so that a signal here ends it (through cleanup) at once.
exe="${root}/build/win64/shell/quaxel.exe"
if [ "${own_screen}" = 1 ]; then
  "${QUAXEL_WINE}" explorer "/desktop=Quaxel,${desktop_size}" "${exe}" </dev/null &
  program=$!
  if [ "${vnc}" = 1 ]; then serve_vnc; fi
  take_screenshot
else
  "${QUAXEL_WINE}" "${exe}" &
  program=$!
fi
wait "${program}"
