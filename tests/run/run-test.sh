#!/usr/bin/env bash
# tools/run.sh as a new user meets it on a machine without a screen: the
# program comes up in Wine's virtual desktop, the screenshot shows its main
# window with a frame and caption, --vnc listens on the loopback address only,
# and both ways of ending (Ctrl+C in the terminal, closing the program) leave
# nothing running. Expects the win64 build (tools/run.sh builds what is
# missing). Usage: tests/run/run-test.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
# A prefix of its own: a user's settings and a running program stay untouched.
work="${root}/build/win64/run-test"
mkdir -p "${work}"
log="${work}/run.log"
prefix="${work}/prefix"
shot="${work}/screenshot.png"

fail() {
  echo "run-test: FAILED: $*" >&2
  echo "--- tools/run.sh said:" >&2
  cat "${log}" >&2 || true
  exit 1
}

# Everything of one run: its session (run.sh, Xvfb, x11vnc, the programs it
# started) and every process of its prefix (the wineserver and Wine's own
# services leave the session).
run_pid=""
processes() {
  local pid
  if [ -n "${run_pid}" ]; then ps -o pid=,stat= -s "${run_pid}" | awk '$2 !~ /^Z/ { print $1 }' || true; fi
  for pid in $(pgrep -f 'wine|\.exe' || true); do
    if { tr '\0' '\n' <"/proc/${pid}/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=${prefix}"; then
      echo "${pid}"
    fi
  done
}

# Polls a condition until it holds or the deadline (seconds) has passed.
within() {
  local seconds="$1" deadline
  shift
  deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "${SECONDS}" -lt "${deadline}" ] || return 1
    sleep 0.2
  done
}

none_left() { [ -z "$(processes | tr -d ' \n')" ]; }
# The script is this shell's child: until reaped it stays as a zombie.
run_ended() { [[ "$(ps -o stat= -p "${run_pid}" 2>/dev/null || echo Z)" == Z* ]]; }
said() { grep -q "$1" "${log}"; }
shot_or_end() { said '^run: screenshot of the desktop' || run_ended; }

# A failed check must not leave the run behind: Ctrl+C first, then force.
stop_all() {
  if [ -n "${run_pid}" ] && ! run_ended; then
    kill -INT -- "-${run_pid}" 2>/dev/null || true
    within 30 run_ended || kill -KILL -- "-${run_pid}" 2>/dev/null || true
  fi
  WINEPREFIX="${prefix}" /usr/lib/wine/wineserver -k >/dev/null 2>&1 </dev/null || true
}
trap stop_all EXIT

# Starts tools/run.sh without a DISPLAY in a session of its own, as a terminal
# would: Ctrl+C there reaches the whole group, and a background job of a
# script would otherwise ignore SIGINT.
start_run() {
  # Emptied here, not by the redirection, which the child might do only after
  # the first look at the log.
  rm -f "${shot}"
  : >"${log}"
  env -u DISPLAY QUAXEL_RUN_DIR="${work}" setsid env --default-signal=INT \
    "${root}/tools/run.sh" "$@" >>"${log}" 2>&1 </dev/null &
  run_pid=$!
  # A fresh prefix on a clean clone takes most of this.
  within 240 shot_or_end || fail "no screenshot in time"
  run_ended && fail "tools/run.sh ended before its screenshot"
  said '^run: .*virtual desktop' || fail "no line that says where the program runs"
  display="$(sed -n 's/^run: .*display \(:[0-9]*\).*/\1/p' "${log}" | head -n 1)"
  [ -n "${display}" ] || fail "no display named"
  grep -qF "run: screenshot of the desktop: ${shot}" "${log}" || fail "the screenshot is not at ${shot}"
}

# The main window is on that display, and the screenshot shows it framed, with
# a caption: a band darker than a menu bar, unlike the desktop around it, with
# the title drawn on it. On a bare X server the window would have no frame and
# its top rows would be its light menu bar.
check_screenshot() {
  local window x y w h size caption background stats
  window="$(DISPLAY="${display}" xdotool search --name '^Quaxel$' | head -n 1)"
  [ -n "${window}" ] || fail "no window titled Quaxel on ${display}"
  eval "$(DISPLAY="${display}" xdotool getwindowgeometry --shell "${window}" | grep -E '^(X|Y|WIDTH|HEIGHT)=[0-9-]+$')"
  x="${X}" y="${Y}" w="${WIDTH}" h="${HEIGHT}"
  size="$(identify -format '%wx%h' "${shot}")"
  [ "${size}" = 1024x768 ] || fail "screenshot of ${size}, not of the 1024x768 desktop"
  if [ "${w}" -lt 200 ] || [ "${h}" -lt 150 ] || [ "$((x + w))" -gt 1024 ] || [ "$((y + h))" -gt 768 ]; then
    fail "main window at ${w}x${h}+${x}+${y}"
  fi
  [ "$(identify -format '%[fx:standard_deviation>0.05]' "${shot}")" = 1 ] || fail "the screenshot is blank"
  caption="$((w - 90))x14+$((x + 24))+$((y + 4))"
  stats="$(identify -format '%[fx:mean] %[fx:standard_deviation]' "${shot}[${caption}]")"
  # The desktop beside or below the window, where it does not reach.
  if [ "$((x + w))" -le 1000 ]; then background="10x10+1010+$((y + 4))"; else background="10x10+$((x + 4))+750"; fi
  read -r mean spread <<<"${stats}"
  [ "$(identify -format "%[fx:abs(mean-${mean})>0.05]" "${shot}[${background}]")" = 1 ] ||
    fail "no caption: the band at ${caption} looks like the desktop (mean ${mean})"
  awk -v m="${mean}" -v s="${spread}" 'BEGIN { exit !(m < 0.85 && s > 0.02) }' ||
    fail "no caption: the band at ${caption} has mean ${mean}, spread ${spread}"
  close_button=$((x + w - 15))" "$((y + 12))
}

# VNC: a port printed with the tunnel line, listening on loopback addresses
# only, and answering as a VNC server.
check_vnc() {
  local port listeners greeting
  port="$(sed -n 's/^run: VNC on 127\.0\.0\.1 port \([0-9]*\).*/\1/p' "${log}")"
  [ -n "${port}" ] || fail "no VNC port printed"
  grep -qxF "  ssh -L 5900:localhost:${port} HOST" "${log}" || fail "no ssh tunnel line"
  said 'vncviewer' || fail "no viewer named"
  listeners="$(ss -Hltn "sport = :${port}" | awk '{ print $4 }')"
  [ -n "${listeners}" ] || fail "nothing listens on port ${port}"
  if grep -vE '^(127\.0\.0\.1|\[::1\]):' <<<"${listeners}"; then fail "port ${port} is open beyond loopback"; fi
  # shellcheck disable=SC2016  # the inner shell expands $1
  greeting="$(timeout 10 bash -c 'exec 5<>"/dev/tcp/127.0.0.1/$1" && head -c 12 <&5' _ "${port}" 2>/dev/null || true)"
  [[ "${greeting}" == "RFB 00"* ]] || fail "port ${port} does not answer as VNC (${greeting})"
}

check_ended() {
  within 60 run_ended || fail "tools/run.sh still runs after $1"
  wait "${run_pid}" || true
  within 20 none_left || {
    ps -o pid=,args= -p "$(processes | tr '\n' ',' | sed 's/,$//')" >&2 || true
    fail "processes left after $1"
  }
}

echo "run-test: without a display, ended by Ctrl+C"
start_run
check_screenshot
kill -INT -- "-${run_pid}"
check_ended "Ctrl+C"
echo "run-test: ok"

echo "run-test: --vnc, ended by closing the program"
start_run --vnc
check_screenshot
check_vnc
# shellcheck disable=SC2086  # x and y
DISPLAY="${display}" xdotool mousemove ${close_button} click 1
check_ended "the program was closed"
echo "run-test: ok"
# Made afresh by every test run; some 700 MB of disk.
rm -rf "${prefix}"
